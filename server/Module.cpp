// The module's entry, its exports, the class factory and registration.
#include "Module.h"

#include <objbase.h>
#include <olectl.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <cwctype>
#include <new>
#include <string>

#include "ExplorerCommand.h"
#include "Quilby.h"
#include "Registrar.h"

HINSTANCE g_module = nullptr;

namespace {

CRITICAL_SECTION factoryLock;
IClassFactory* factory;

const char kSettingKey[] = "software\\Varnel";
// Both builds keep the one setting in the 64-bit view (ignored where there is
// no other view), so the note's box silences both.
constexpr REGSAM kSettingView = KEY_WOW64_64KEY;
const wchar_t kRunOnceKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
const char kGoodbye[] = "All Quorvel files will be removed after reboot";
constexpr UINT kScriptId = 101;

// Makes the object of one class: the classic menu handler, which may be
// aggregated, or the command of the first-level menu, which may not.
using Maker = HRESULT (*)(IUnknown* outer, REFIID iid, void** out);

HRESULT MakeQuilby(IUnknown* outer, REFIID iid, void** out) {
    if (outer && iid != IID_IUnknown) return CLASS_E_NOAGGREGATION;
    auto* object = new (std::nothrow) CQuilby(outer);
    if (!object) return E_OUTOFMEMORY;
    IUnknown* inner = object->Inner();
    inner->AddRef();
    HRESULT hr = inner->QueryInterface(iid, out);
    inner->Release();  // frees the object when the query failed
    return hr;
}

HRESULT MakeCommand(IUnknown* outer, REFIID iid, void** out) {
    if (outer) return CLASS_E_NOAGGREGATION;
    auto* object = new (std::nothrow) CExplorerCommand;
    if (!object) return E_OUTOFMEMORY;
    HRESULT hr = object->QueryInterface(iid, out);
    object->Release();  // frees the object when the query failed
    return hr;
}

class ClassFactory : public IClassFactory {
public:
    explicit ClassFactory(Maker make) : make_(make) {}

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
    // The one factory lives as long as the module; a client's reference to
    // it holds the module, which must not go while the client may call it.
    STDMETHODIMP_(ULONG) AddRef() override {
        LockModule();
        return 2;
    }
    STDMETHODIMP_(ULONG) Release() override {
        UnlockModule();
        return 1;
    }

    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        return make_(outer, iid, out);
    }
    STDMETHODIMP LockServer(BOOL lock) override {
        if (lock)
            LockModule();
        else
            UnlockModule();
        return S_OK;
    }

private:
    Maker make_;
};

ClassFactory theFactory(MakeQuilby);
ClassFactory theCommandFactory(MakeCommand);

// Runs the registration script (resource 101) with %MODULE% replaced, for
// registration or for removal, through the system's registrar.
HRESULT RunScript(bool add) {
    bool initialised = SUCCEEDED(CoInitialize(nullptr));
    std::wstring module = ModulePath();
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
bool FolderHoldsOnlyModule(const std::wstring& folder, const wchar_t* moduleName) {
    WIN32_FIND_DATAW entry;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &entry);
    if (find == INVALID_HANDLE_VALUE) return false;
    bool alone = true;
    do {
        if (!wcscmp(entry.cFileName, L".") || !wcscmp(entry.cFileName, L"..")) continue;
        if (_wcsicmp(entry.cFileName, moduleName) != 0) alone = false;
    } while (alone && FindNextFileW(find, &entry));
    FindClose(find);
    return alone;
}

// The module's path and its folder; false when the module sits at a drive's
// or a share's root, or its path is one that the command line would change.
bool ModuleAndFolder(std::wstring* module, std::wstring* folder, std::wstring* name) {
    *module = ModulePath();
    size_t cut = module->rfind(L'\\');
    // cmd.exe expands "%" even between quotes, and a quote would end the name.
    if (module->empty() || cut == std::wstring::npos || module->find_first_of(L"%\"^") != std::wstring::npos)
        return false;
    *folder = module->substr(0, cut);
    *name = module->substr(cut + 1);
    return true;
}

bool IsDriveOrShareRoot(const std::wstring& folder) {
    if (folder.size() == 2 && folder[1] == L':') return true;
    if (folder.compare(0, 2, L"\\\\") != 0) return false;
    size_t server = folder.find(L'\\', 2);
    return server == std::wstring::npos || folder.find(L'\\', server + 1) == std::wstring::npos;
}

// Schedules, for the next logon, the removal of the module file and then of
// its folder, if that is empty by then: the folder's content may change
// before the next logon, and only what this module put there may go. A
// module at a drive's or a share's root takes nothing but itself.
void ScheduleRemoval() {
    wchar_t windows[1024];
    UINT length = GetWindowsDirectoryW(windows, 1024);
    if (length == 0 || length >= 1024) return;
    std::wstring module, folder, name;
    if (!ModuleAndFolder(&module, &folder, &name)) return;
    std::wstring command = std::wstring(windows) + L"\\System32\\cmd.exe /c del /f /q  \"" + module + L"\"";
    if (!IsDriveOrShareRoot(folder) && FolderHoldsOnlyModule(folder, name.c_str()))
        command += L" & rd  \"" + folder + L"\"";
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRunOnceKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
    RegSetValueExW(key, L"dele", 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                   static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

// The machine's setting, and the calling user's own tick (kept where the
// machine's could not be written).
void RemoveSetting() {
    RegDeleteKeyExA(HKEY_LOCAL_MACHINE, kSettingKey, kSettingView, 0);
    RegDeleteKeyExA(HKEY_CURRENT_USER, kSettingKey, kSettingView, 0);
}

// A removal scheduled by an earlier unregistration of this module (an
// upgrade in place) would take the freshly registered module with it.
void CancelScheduledRemoval() {
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kRunOnceKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
    wchar_t value[4096] = L"";
    DWORD bytes = sizeof value - sizeof(wchar_t), type = 0;
    if (RegQueryValueExW(key, L"dele", nullptr, &type, reinterpret_cast<BYTE*>(value), &bytes) == ERROR_SUCCESS &&
        type == REG_SZ) {
        std::wstring command = value, module = ModulePath();
        size_t cut = module.rfind(L'\\');
        std::wstring folder = cut == std::wstring::npos ? module : module.substr(0, cut);
        for (wchar_t& c : command) c = towupper(c);
        for (wchar_t& c : module) c = towupper(c);
        for (wchar_t& c : folder) c = towupper(c);
        if (!module.empty() && (command.find(L"\"" + module + L"\"") != std::wstring::npos ||
                                command.find(L"\"" + folder + L"\"") != std::wstring::npos))
            RegDeleteValueW(key, L"dele");
    }
    RegCloseKey(key);
}

}  // namespace

const wchar_t* ModulePath() {
    static wchar_t path[32768];
    if (!path[0]) {
        DWORD length = GetModuleFileNameW(g_module, path, 32768);
        if (length == 0 || length >= 32768) path[0] = 0;
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

extern "C" HRESULT WINAPI DllCanUnloadNow() { return ModuleLocks() == 0 ? S_OK : S_FALSE; }

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID clsid, REFIID iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (clsid == CLSID_VarnelCommand) return theCommandFactory.QueryInterface(iid, out);
    if (clsid != CLSID_Quilby) return CLASS_E_CLASSNOTAVAILABLE;
    EnterCriticalSection(&factoryLock);
    if (!factory) factory = &theFactory;
    LeaveCriticalSection(&factoryLock);
    return factory->QueryInterface(iid, out);
}

extern "C" HRESULT WINAPI DllRegisterServer() {
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSettingKey, 0, nullptr, 0, KEY_SET_VALUE | kSettingView, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return SELFREG_E_CLASS;
    DWORD on = 1;
    RegSetValueExA(key, "show_dlg", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&on), sizeof on);
    RegCloseKey(key);
    CancelScheduledRemoval();
    return RunScript(true);
}

extern "C" HRESULT WINAPI DllUnregisterServer() {
    RemoveSetting();
    ScheduleRemoval();
    MessageBoxA(nullptr, kGoodbye, nullptr, MB_OK);
    return RunScript(false);
}

// For installers: registers as DllRegisterServer does; with "quiet",
// unregisters without the message and without scheduling any removal (the
// installer removes its files itself), and takes back one scheduled earlier.
extern "C" HRESULT WINAPI DllInstall(BOOL install, LPCWSTR commandLine) {
    if (install) return DllRegisterServer();
    if (!commandLine || _wcsicmp(commandLine, L"quiet") != 0) return DllUnregisterServer();
    RemoveSetting();
    CancelScheduledRemoval();
    return RunScript(false);
}
