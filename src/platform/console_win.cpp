#include "console.h"

#include <windows.h>

#include <cstdio>

namespace platform {

namespace {

bool isRedirected(DWORD stream)
{
    const HANDLE handle = GetStdHandle(stream);
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

} // namespace

void prepareUnattendedRun()
{
    // A GUI program gets no console of its own; one started from a console borrows it.
    const bool out = isRedirected(STD_OUTPUT_HANDLE);
    const bool err = isRedirected(STD_ERROR_HANDLE);
    if ((out && err) || !AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    if (!out)
        std::freopen("CONOUT$", "w", stdout);
    if (!err)
        std::freopen("CONOUT$", "w", stderr);
}

bool hasDisplay()
{
    return true;
}

// Windows ends no process for writing to a closed pipe.
void ignoreClosedOutput()
{
}

} // namespace platform
