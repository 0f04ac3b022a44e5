// The loader looks for the DLLs a program imports in the system folder only (Windows 10
// 1607 and later): the programs run as administrator from a folder other users may add
// files to, where a DLL of a system library's name would otherwise be loaded first.
// GNU ld does not point the image at a load configuration; dependentload.py does, after
// the link, from the section this one lands in.
#include <windows.h>

extern "C" __attribute__((used, section(".lcfg"))) const IMAGE_LOAD_CONFIG_DIRECTORY dependentLoadConfig = {
    sizeof(IMAGE_LOAD_CONFIG_DIRECTORY), 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    LOAD_LIBRARY_SEARCH_SYSTEM32 /* DependentLoadFlags, once called Reserved1 */};
