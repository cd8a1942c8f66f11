// Tolv.exe: the navigator as a program of its own, on the folder it is
// given or on one picked in the system's folder picker. The shell's
// first-level menu starts it too, so that the navigator runs outside the
// shell's process. It ends when its navigator closes.
//   Tolv.exe [FOLDER | /?]
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shobjidl.h>

#include <string>

#include "Session.h"

namespace {

const wchar_t kTitle[] = L"Tolv";
const wchar_t kUsage[] =
    L"Usage: Tolv.exe [FOLDER]\n\n"
    L"Opens the navigator on FOLDER. Without FOLDER, asks for one.\n"
    L"FOLDER is taken exactly as given: a drive's root (C:\\), a share (\\\\server\\share),\n"
    L"or a long path (\\\\?\\C:\\...).";
constexpr int kBadArgument = 2;

int Say(const std::wstring& text, UINT icon, int code) {
    MessageBoxW(nullptr, text.c_str(), kTitle, MB_OK | icon);
    return code;
}

// The folder picked in the system's folder picker; empty when cancelled.
std::wstring PickFolder() {
    std::wstring folder;
    IFileOpenDialog* dialog = nullptr;
    if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER, IID_IFileOpenDialog,
                                reinterpret_cast<void**>(&dialog))))
        return folder;
    FILEOPENDIALOGOPTIONS options = 0;
    dialog->GetOptions(&options);
    dialog->SetOptions(options | FOS_PICKFOLDERS | FOS_FORCEFILESYSTEM | FOS_NOCHANGEDIR);
    dialog->SetTitle(L"Open a folder in Tolv");
    IShellItem* item = nullptr;
    if (SUCCEEDED(dialog->Show(nullptr)) && SUCCEEDED(dialog->GetResult(&item))) {
        LPWSTR path = nullptr;
        if (SUCCEEDED(item->GetDisplayName(SIGDN_FILESYSPATH, &path))) {
            folder = path;
            CoTaskMemFree(path);
        }
        item->Release();
    }
    dialog->Release();
    return folder;
}

// Where the root of a full path ends: after "X:", or after a share's
// "\\server\share" (the whole path when it names no share).
size_t RootEnd(const std::wstring& path) {
    if (path.compare(0, 2, L"\\\\") != 0) return 2;
    size_t end = path.find(L'\\', path.find(L'\\', 2) + 1);
    return end == std::wstring::npos ? path.size() : end;
}

// `given` as a full path whose names are exactly the ones typed. The
// system's own resolving of a relative path or one with slashes trims a
// name's trailing dots and spaces, and "dot." would open its look-alike
// "dot"; here only "." and ".." are resolved, and the current folder or
// drive given is taken as the system reports it.
std::wstring FullPath(std::wstring given) {
    for (wchar_t& c : given)
        if (c == L'/') c = L'\\';
    bool full = given.size() >= 3 && given[1] == L':' && given[2] == L'\\';
    if (full || given.compare(0, 2, L"\\\\") == 0) return given;
    std::wstring base, names = given;
    if (given.size() >= 2 && given[1] == L':') {  // "X:names", from that drive's current folder
        wchar_t drive[] = {given[0], L':', 0};
        wchar_t held[MAX_PATH] = L"";
        if (GetFullPathNameW(drive, MAX_PATH, held, nullptr) - 1u >= MAX_PATH - 1u) return given;
        base = held;
        names = given.substr(2);
    } else {
        DWORD need = GetCurrentDirectoryW(0, nullptr);
        base.resize(need);
        if (!need || GetCurrentDirectoryW(need, &base[0]) >= need) return given;
        base.resize(need - 1);
        if (!names.empty() && names[0] == L'\\') base = base.substr(0, RootEnd(base));  // "\names", from the root
    }
    // Where the root ends: names never climb above it.
    const size_t root = RootEnd(base);
    while (base.size() > root && base.back() == L'\\') base.pop_back();
    for (size_t at = 0; at <= names.size();) {
        size_t end = names.find(L'\\', at);
        if (end == std::wstring::npos) end = names.size();
        std::wstring name = names.substr(at, end - at);
        if (name == L"..") {
            size_t cut = base.rfind(L'\\');
            base.resize(cut != std::wstring::npos && cut > root ? cut : root);
        } else if (!name.empty() && name != L".") {
            base += L"\\" + name;
        }
        at = end + 1;
    }
    return base.size() > root ? base : base + L"\\";
}

// Why `path` cannot be opened, or nothing when it is a folder.
std::wstring Refusal(const std::wstring& path) {
    DWORD attributes = NavigatorSession::Attributes(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return L"There is no folder \"" + path + L"\".";
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return L"\"" + path + L"\" is a file, not a folder.";
    return L"";
}

int Run(int count, wchar_t** arguments, HINSTANCE instance) {
    if (count > 2) return Say(L"Give one folder.\n\n" + std::wstring(kUsage), MB_ICONERROR, kBadArgument);
    std::wstring folder;
    if (count == 2) {
        folder = arguments[1];
        if (folder == L"/?") return Say(kUsage, MB_ICONINFORMATION, 0);
        // No folder's full path begins with a slash; a name that does is an
        // option this program does not have.
        if (folder.empty() || folder[0] == L'/')
            return Say(L"Unknown argument \"" + folder + L"\".\n\n" + kUsage, MB_ICONERROR, kBadArgument);
        folder = FullPath(folder);
    } else {
        folder = PickFolder();
        if (folder.empty()) return 0;
    }
    std::wstring refusal = Refusal(folder);
    if (!refusal.empty()) return Say(refusal, MB_ICONERROR, kBadArgument);
    HWND navigator = NavigatorSession::Open(folder, instance);
    if (!navigator) return Say(L"The navigator could not be opened on \"" + folder + L"\".", MB_ICONERROR, 1);
    SetForegroundWindow(navigator);
    MSG message;
    while (IsWindow(navigator) && GetMessageW(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    // A single-threaded apartment, as the shell's window thread is: the
    // picker and screen readers need it.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
    int count = 0;
    // The arguments as the command line holds them: nothing is expanded.
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    int code = arguments ? Run(count, arguments, instance) : kBadArgument;
    LocalFree(arguments);
    // The navigator's scan may still hold a thread in a slow listing: the
    // process ends without waiting for it.
    ExitProcess(static_cast<UINT>(code));
}
