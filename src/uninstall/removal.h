#pragma once

#include "clientconfig.h"
#include "outcome.h"
#include "reporter.h"

#include <QString>

#include <functional>

// The uninstaller's removal, the same for its window and a silent run: the client is
// ended, its shortcuts, files, 3ds Max scripts and registry entries go, in an order a
// rerun can always finish. The uninstaller itself stays until the self-deleting script
// takes the product folder.
Outcome removeClient(const ClientConfig &config, const std::function<void(int)> &progress,
                     Reporter &reporter = Reporter::plain());

// Starts the script that removes the product folder once this program has ended; only
// a folder the installer made. False when it was not started.
bool scheduleProductRemoval(const QString &installDir);

// What a removal killed after its last registry change leaves: this program alone in a
// version folder of our product folder, with no installation recorded for it. Running
// it again finishes the job.
bool isRemovalLeftover(const QString &appDir);
