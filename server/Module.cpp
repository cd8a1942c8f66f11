// The module's entry, its exports, the class factory and registration.
#include "Module.h"

#include <objbase.h>
#include <olectl.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "Quilby.h"
#include "Registrar.h"

HINSTANCE g_module = nullptr;

namespace {

LONG locks;
CRITICAL_SECTION factoryLock;
IClassFactory* factory;

const char kSettingKey[] = "software\\Varnel";
const char kRunOnceKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
const char kGoodbye[] = "All Quorvel files will be removed after reboot";
constexpr UINT kScriptId = 101;

class ClassFactory : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *out = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    // The one factory lives as long as the module.
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer && iid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
        auto* object = new (std::nothrow) CQuilby(outer);
        if (!object) return E_OUTOFMEMORY;
        IUnknown* inner = object->Inner();
        inner->AddRef();
        HRESULT hr = inner->QueryInterface(iid, out);
        inner->Release();  // frees the object when the query failed
        return hr;
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        if (lock)
            LockModule();
        else
            UnlockModule();
        return S_OK;
    }
};

ClassFactory theFactory;

std::wstring Wide(const char* text) {
    wchar_t wide[MAX_PATH * 2];
    MultiByteToWideChar(CP_ACP, 0, text, -1, wide, MAX_PATH * 2);
    return wide;
}

// Runs the registration script (resource 101) with %MODULE% replaced, for
// registration or for removal, through the system's registrar.
HRESULT RunScript(bool add) {
    bool initialised = SUCCEEDED(CoInitialize(nullptr));
    std::wstring module = Wide(ModulePath());
    IRegistrar* registrar = nullptr;
    HRESULT hr = CoCreateInstance(CLSID_Registrar, nullptr, CLSCTX_INPROC_SERVER, IID_IRegistrar,
                                  reinterpret_cast<void**>(&registrar));
    if (SUCCEEDED(hr)) {
        registrar->AddReplacement(L"MODULE", module.c_str());
        hr = add ? registrar->ResourceRegister(module.c_str(), kScriptId, L"REGISTRY")
                 : registrar->ResourceUnregister(module.c_str(), kScriptId, L"REGISTRY");
        registrar->Release();
    }
    if (SUCCEEDED(hr)) {
        if (add) {
            ITypeLib* library = nullptr;
            hr = LoadTypeLib(module.c_str(), &library);
            if (SUCCEEDED(hr)) {
                hr = RegisterTypeLib(library, const_cast<OLECHAR*>(module.c_str()), nullptr);
                library->Release();
            }
        } else {
            SYSKIND kind = sizeof(void*) == 8 ? SYS_WIN64 : SYS_WIN32;
            hr = UnRegisterTypeLib(LIBID_TolvLib, 1, 0, LOCALE_NEUTRAL, kind);
            if (hr == TYPE_E_REGISTRYACCESS) hr = S_OK;  // not registered: nothing to remove
        }
    }
    if (initialised) CoUninitialize();
    return hr;
}

// True when the folder holds nothing but the module itself.
bool FolderHoldsOnlyModule(const std::string& folder, const char* moduleName) {
    WIN32_FIND_DATAA entry;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return false;
    bool alone = true;
    do {
        if (!strcmp(entry.cFileName, ".") || !strcmp(entry.cFileName, "..")) continue;
        if (_stricmp(entry.cFileName, moduleName) != 0) alone = false;
    } while (alone && FindNextFileA(find, &entry));
    FindClose(find);
    return alone;
}

// Schedules, for the next logon, the removal of the module's folder, or of
// the module file alone when the folder holds anything else: a module kept in
// a downloads folder or a drive root must not take that folder with it.
void ScheduleRemoval() {
    char windows[1024];
    UINT length = GetWindowsDirectoryA(windows, sizeof windows);
    if (length == 0 || length >= sizeof windows) return;
    std::string module = ModulePath();
    size_t cut = module.rfind('\\');
    if (module.empty() || cut == std::string::npos) return;
    std::string folder = module.substr(0, cut);
    std::string command = std::string(windows) + "\\System32\\cmd.exe /c ";
    if (FolderHoldsOnlyModule(folder, module.c_str() + cut + 1))
        command += "rd /s /q  \"" + folder + "\"";
    else
        command += "del /f /q  \"" + module + "\"";
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRunOnceKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
    RegSetValueExA(key, "dele", 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                   static_cast<DWORD>(command.size() + 1));
    RegCloseKey(key);
}

}  // namespace

void LockModule() { InterlockedIncrement(&locks); }
void UnlockModule() { InterlockedDecrement(&locks); }
LONG ModuleLocks() { return locks; }

const char* ModulePath() {
    static char path[MAX_PATH];
    if (!path[0]) {
        DWORD length = GetModuleFileNameA(g_module, path, sizeof path);
        if (length == 0 || length >= sizeof path) path[0] = 0;
    }
    return path;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        InitializeCriticalSection(&factoryLock);
        DisableThreadLibraryCalls(instance);
    } else if (reason == DLL_PROCESS_DETACH) {
        factory = nullptr;
        DeleteCriticalSection(&factoryLock);
    }
    return TRUE;
}

extern "C" HRESULT WINAPI DllCanUnloadNow() { return locks == 0 ? S_OK : S_FALSE; }

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (clsid != CLSID_Quilby) return CLASS_E_CLASSNOTAVAILABLE;
    EnterCriticalSection(&factoryLock);
    if (!factory) factory = &theFactory;
    LeaveCriticalSection(&factoryLock);
    return factory->QueryInterface(iid, out);
}

extern "C" HRESULT WINAPI DllRegisterServer() {
    HKEY key;
    if (RegCreateKeyA(HKEY_LOCAL_MACHINE, kSettingKey, &key) != ERROR_SUCCESS) return SELFREG_E_CLASS;
    DWORD on = 1;
    RegSetValueExA(key, "show_dlg", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&on), sizeof on);
    RegCloseKey(key);
    return RunScript(true);
}

extern "C" HRESULT WINAPI DllUnregisterServer() {
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, kSettingKey);
    ScheduleRemoval();
    MessageBoxA(nullptr, kGoodbye, nullptr, MB_OK);
    return RunScript(false);
}
