#include "OpenItem.h"

#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

namespace {

// True when expanding environment strings would make the path another one.
bool Expandable(const std::wstring& path) {
    DWORD need = ExpandEnvironmentStringsW(path.c_str(), nullptr, 0);
    if (need == 0) return true;
    std::wstring expanded(need, L'\0');
    DWORD got = ExpandEnvironmentStringsW(path.c_str(), &expanded[0], need);
    expanded.resize(got ? got - 1 : 0);
    return got == 0 || expanded != path;
}

// The registry class whose "open" verb opens the item, or null.
HKEY OpenClass(const std::wstring& path, bool folder) {
    HKEY key = nullptr;
    if (SUCCEEDED(AssocQueryKeyW(ASSOCF_NONE, ASSOCKEY_SHELLEXECCLASS, path.c_str(), L"open", &key))) return key;
    // Where the association cannot be asked for: the class that the
    // registry names for the extension.
    std::wstring name = L"Folder";
    if (!folder) {
        const wchar_t* extension = PathFindExtensionW(path.c_str());
        if (!*extension) return nullptr;
        wchar_t program[256] = L"";
        LONG size = sizeof program;
        bool named = RegQueryValueW(HKEY_CLASSES_ROOT, extension, program, &size) == ERROR_SUCCESS && program[0];
        name = named ? program : extension;
    }
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, name.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return nullptr;
    return key;
}

}  // namespace

void OpenItem(const std::wstring& path, bool folder, HWND owner) {
    PIDLIST_ABSOLUTE item = nullptr;
    if (FAILED(SHParseDisplayName(path.c_str(), nullptr, &item, 0, nullptr))) return;
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_INVOKEIDLIST;
    info.hwnd = owner;
    info.lpVerb = L"open";
    info.lpIDList = item;
    info.nShow = SW_SHOWNORMAL;
    HKEY type = nullptr;
    if (!Expandable(path) || (type = OpenClass(path, folder))) {
        if (type) {
            info.fMask |= SEE_MASK_CLASSKEY;
            info.hkeyClass = type;
        }
        ShellExecuteExW(&info);
    }
    if (type) RegCloseKey(type);
    CoTaskMemFree(item);
}
