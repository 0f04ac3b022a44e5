#pragma once

struct ClientConfig;
class Dialogue;

// Removing the client while 3ds Max runs would leave Max holding its scripts and
// plug-ins: tells the user and returns false then. The co-branded edition does not
// plug into Max and is never held back.
bool maxAllowsUninstall(const ClientConfig &config, const Dialogue &dialogue);
