#pragma once

#include <string>

namespace win32 {

// The processor's name and number of cores as WMI (Win32_Processor) reports them; with
// several processor objects the last one counts. False when a COM or WMI step fails;
// the thread's COM state is balanced on every way out.
bool queryProcessor(std::wstring *name, long *cores);

} // namespace win32
