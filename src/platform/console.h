#pragma once

namespace platform {

// Prepares a program that runs without a window, before its application object exists:
// outside Windows it needs no display; on Windows a program started from a console
// writes its output there unless the output is already redirected.
void prepareUnattendedRun();

// A reader of the program's output that goes away (`install --progress | head -1`) must
// not end the run: a write to a closed pipe then only fails.
void ignoreClosedOutput();

// Whether a window could be shown: always on Windows; elsewhere when a display (or a Qt
// platform) is named in the environment.
bool hasDisplay();

} // namespace platform
