#include "processor_win32.h"

#define _WIN32_DCOM
#include <windows.h>
#include <wbemidl.h>

namespace win32 {

namespace {

bool connectToWmi(IWbemLocator **locator, IWbemServices **services)
{
    if (FAILED(CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                reinterpret_cast<void **>(locator))))
        return false;
    BSTR space = SysAllocString(L"ROOT\\CIMV2");
    const HRESULT connected = (*locator)->ConnectServer(space, nullptr, nullptr, nullptr, 0, nullptr, nullptr, services);
    SysFreeString(space);
    if (FAILED(connected))
        return false;
    return SUCCEEDED(CoSetProxyBlanket(*services, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                                       RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE));
}

void readProcessors(IEnumWbemClassObject *processors, std::wstring *name, long *cores)
{
    for (;;) {
        IWbemClassObject *object = nullptr;
        ULONG returned = 0;
        processors->Next(WBEM_INFINITE, 1, &object, &returned);
        if (returned == 0)
            break;
        VARIANT value;
        VariantInit(&value);
        if (SUCCEEDED(object->Get(L"Name", 0, &value, nullptr, nullptr)) && value.vt == VT_BSTR)
            *name = value.bstrVal;
        VariantClear(&value);
        if (SUCCEEDED(object->Get(L"NumberOfCores", 0, &value, nullptr, nullptr)))
            *cores = value.vt == VT_I4 ? value.lVal : 0;
        VariantClear(&value);
        object->Release();
    }
}

} // namespace

bool queryProcessor(std::wstring *name, long *cores)
{
    if (FAILED(CoInitialize(nullptr)))
        return false;
    const HRESULT security = CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                                                  RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
    IWbemLocator *locator = nullptr;
    IWbemServices *services = nullptr;
    IEnumWbemClassObject *processors = nullptr;
    bool ok = (SUCCEEDED(security) || security == RPC_E_TOO_LATE) && connectToWmi(&locator, &services);
    if (ok) {
        BSTR language = SysAllocString(L"WQL");
        BSTR query = SysAllocString(L"SELECT * FROM Win32_Processor");
        ok = SUCCEEDED(services->ExecQuery(language, query, WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY,
                                           nullptr, &processors));
        SysFreeString(query);
        SysFreeString(language);
    }
    if (ok)
        readProcessors(processors, name, cores);
    if (processors)
        processors->Release();
    if (services)
        services->Release();
    if (locator)
        locator->Release();
    CoUninitialize();
    return ok;
}

} // namespace win32
