#pragma once

struct ClientConfig;
class RunContext;
class SingleApp;

// What every program does first, once its application exists: reads its command line
// and takes the single-instance guard. -1 when the program goes on, else the code its
// main returns.
int startProgram(SingleApp &app, RunContext &context);
// A run with windows: the client's font and language.
void prepareWindows(const ClientConfig &config);
