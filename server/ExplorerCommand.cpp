#include "ExplorerCommand.h"

#include <shlwapi.h>

#include <new>
#include <string>

#include "Module.h"

namespace {

// {5B0D6E6C-3F2A-4C1E-9B7D-1E2A3C4D5E64}
const GUID kCanonicalName = {0x5b0d6e6c, 0x3f2a, 0x4c1e, {0x9b, 0x7d, 0x1e, 0x2a, 0x3c, 0x4d, 0x5e, 0x64}};
constexpr int kIconId = 117;

// One argument as the program's command-line parser reads it back: in
// quotes, with the backslashes before the closing quote doubled (a drive's
// root ends in one). Names hold no quote, so nothing else needs escaping.
std::wstring Quoted(const std::wstring& argument) {
    std::wstring quoted = L"\"" + argument;
    for (size_t i = argument.size(); i > 0 && argument[i - 1] == L'\\'; --i) quoted += L'\\';
    return quoted + L"\"";
}

// Starts the navigator's program, which lies beside this module, on
// `folder`. The program checks the folder itself and says what is wrong:
// this thread is the shell's, and a folder on a share that stalls must not
// hold it.
HRESULT StartNavigator(const std::wstring& folder) {
    if (folder.empty() || folder.find(L'"') != std::wstring::npos) return E_INVALIDARG;
    std::wstring program = ModulePath();
    size_t cut = program.rfind(L'\\');
    if (cut == std::wstring::npos) return E_UNEXPECTED;
    std::wstring home = program.substr(0, cut);
    program = home + L"\\Tolv.exe";
    std::wstring line = Quoted(program) + L" " + Quoted(folder);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    // In the program's own folder: a current folder is held open, and the
    // shell's may be one the user wants to delete.
    if (!CreateProcessW(program.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, home.c_str(), &startup,
                        &process))
        return HRESULT_FROM_WIN32(GetLastError());
    // The shell's last input lets the new program's window come to the front.
    AllowSetForegroundWindow(process.dwProcessId);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return S_OK;
}

HRESULT Duplicate(const wchar_t* text, LPWSTR* out) {
    if (!out) return E_POINTER;
    return SHStrDupW(text, out);
}

}  // namespace

CExplorerCommand::~CExplorerCommand() {
    if (site_) site_->Release();
}

STDMETHODIMP CExplorerCommand::QueryInterface(REFIID iid, void** out) {
    if (!out) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IExplorerCommand)
        *out = static_cast<IExplorerCommand*>(this);
    else if (iid == IID_IObjectWithSite)
        *out = static_cast<IObjectWithSite*>(this);
    else {
        *out = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CExplorerCommand::AddRef() { return InterlockedIncrement(&references_); }

STDMETHODIMP_(ULONG) CExplorerCommand::Release() {
    LONG left = InterlockedDecrement(&references_);
    if (left == 0) delete this;
    return left;
}

STDMETHODIMP CExplorerCommand::GetTitle(IShellItemArray*, LPWSTR* name) { return Duplicate(L"Varnel", name); }

STDMETHODIMP CExplorerCommand::GetIcon(IShellItemArray*, LPWSTR* icon) {
    if (!icon) return E_POINTER;
    *icon = nullptr;
    const wchar_t* module = ModulePath();
    if (!module[0]) return E_FAIL;
    try {
        return Duplicate((std::wstring(module) + L",-" + std::to_wstring(kIconId)).c_str(), icon);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;  // nothing thrown may reach the shell's thread
    }
}

STDMETHODIMP CExplorerCommand::GetToolTip(IShellItemArray*, LPWSTR* tip) {
    return Duplicate(L"Shows what takes the room in this folder", tip);
}

STDMETHODIMP CExplorerCommand::GetCanonicalName(GUID* name) {
    if (!name) return E_POINTER;
    *name = kCanonicalName;
    return S_OK;
}

// Read from the items' ID lists alone: this runs on the shell's window
// thread while the menu builds, where no disk or share may be touched. A
// zip file is a file-system folder to the shell, but a stream too.
STDMETHODIMP CExplorerCommand::GetState(IShellItemArray* items, BOOL, EXPCMDSTATE* state) {
    if (!state) return E_POINTER;
    *state = ECS_HIDDEN;
    DWORD count = 0;
    if (!items || FAILED(items->GetCount(&count)) || count != 1) return S_OK;
    const SFGAOF wanted = SFGAO_FOLDER | SFGAO_FILESYSTEM;
    SFGAOF attributes = 0;
    if (FAILED(items->GetAttributes(SIATTRIBFLAGS_AND, wanted | SFGAO_STREAM, &attributes))) return S_OK;
    if ((attributes & (wanted | SFGAO_STREAM)) == wanted) *state = ECS_ENABLED;
    return S_OK;
}

// Only the item's path is kept: the array belongs to the caller's
// apartment, and the program started needs nothing else of it. A caller
// that invokes without asking the state may hand several items: the
// command is for one folder, and opens none of them.
STDMETHODIMP CExplorerCommand::Invoke(IShellItemArray* items, IBindCtx*) {
    DWORD count = 0;
    if (!items || FAILED(items->GetCount(&count)) || count != 1) return E_INVALIDARG;
    IShellItem* item = nullptr;
    HRESULT hr = items->GetItemAt(0, &item);
    if (FAILED(hr)) return hr;
    LPWSTR path = nullptr;
    hr = item->GetDisplayName(SIGDN_FILESYSPATH, &path);
    item->Release();
    if (FAILED(hr)) return hr;
    // Nothing thrown may reach the shell's thread.
    try {
        hr = StartNavigator(path);
    } catch (const std::bad_alloc&) {
        hr = E_OUTOFMEMORY;
    }
    CoTaskMemFree(path);
    return hr;
}

STDMETHODIMP CExplorerCommand::GetFlags(EXPCMDFLAGS* flags) {
    if (!flags) return E_POINTER;
    *flags = ECF_DEFAULT;
    return S_OK;
}

STDMETHODIMP CExplorerCommand::EnumSubCommands(IEnumExplorerCommand** commands) {
    if (commands) *commands = nullptr;
    return E_NOTIMPL;
}

// Released at SetSite(nullptr): a site kept past it would hold the shell's
// object, and through it this one, in a cycle.
STDMETHODIMP CExplorerCommand::SetSite(IUnknown* site) {
    if (site) site->AddRef();
    if (site_) site_->Release();
    site_ = site;
    return S_OK;
}

STDMETHODIMP CExplorerCommand::GetSite(REFIID iid, void** site) {
    if (!site) return E_POINTER;
    *site = nullptr;
    return site_ ? site_->QueryInterface(iid, site) : E_FAIL;
}
