// Does with a folder what the shell does when the user right-clicks it and
// picks the extension's item: finds the handler registered for folders,
// creates it through COM, hands it the folder's data object from the shell's
// own folder object, builds the menu, invokes the item, and runs the message
// loop that the navigator lives in.
//   shellhost.exe FOLDER [--at X,Y] [--wait MS] [--screenshot FILE.bmp] [--close [--hold-readers]]
//   shellhost.exe ITEM --command [--with ITEM] [--state-only] [--close]   (ITEM may be "::{CLSID}")
// Prints each step; waits up to MS for the scan to end, as the header tells
// a screen reader; with --close it presses the navigator's close box and
// reports when the module may be unloaded. With --hold-readers it holds the
// list's and the header's accessible objects across the close, as a screen
// reader's hook in the shell's process may, frees unused libraries, calls
// them and lets them go.
// With --command it takes the way of Windows 11's first-level menu instead:
// creates the command class, hands it an item array made from the shell's
// own parse of each ITEM, asks its title and state, and, where it is
// enabled and not --state-only, invokes it and finds the navigator that it
// opens in a process of its own; with --close it closes that navigator and
// reports how its program ended.
#include <windows.h>
#include <oleacc.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "MainWindow.h"
#include "ToolSupport.h"

namespace {

// {5B0D6E6C-3F2A-4C1E-9B7D-1E2A3C4D5E63}
const CLSID kCommandClass = {0x5b0d6e6c, 0x3f2a, 0x4c1e, {0x9b, 0x7d, 0x1e, 0x2a, 0x3c, 0x4d, 0x5e, 0x63}};

// An item's ID list as the shell's view holds it: its folder parsed, and
// the item itself as that folder lists it. Parsed whole, a name that the
// platform's paths would change (a trailing dot or space) would name
// another item.
PIDLIST_ABSOLUTE ListedItem(const std::wstring& path) {
    size_t cut = path.find_last_of(L'\\');
    PIDLIST_ABSOLUTE parent = nullptr;
    if (cut == std::wstring::npos || cut + 1 == path.size() ||
        FAILED(SHParseDisplayName((cut < 3 ? path.substr(0, cut + 1) : path.substr(0, cut)).c_str(), nullptr, &parent,
                                  0, nullptr))) {
        PIDLIST_ABSOLUTE whole = nullptr;
        SHParseDisplayName(path.c_str(), nullptr, &whole, 0, nullptr);
        return whole;
    }
    std::wstring name = path.substr(cut + 1);
    PIDLIST_ABSOLUTE found = nullptr;
    IShellFolder* folder = nullptr;
    IEnumIDList* children = nullptr;
    if (SUCCEEDED(SHBindToObject(nullptr, parent, nullptr, IID_IShellFolder, reinterpret_cast<void**>(&folder))) &&
        folder->EnumObjects(nullptr, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN, &children) == S_OK) {
        PITEMID_CHILD child = nullptr;
        while (!found && children->Next(1, &child, nullptr) == S_OK) {
            STRRET text;
            wchar_t* listed = nullptr;
            if (SUCCEEDED(folder->GetDisplayNameOf(child, SHGDN_INFOLDER | SHGDN_FORPARSING, &text)) &&
                SUCCEEDED(StrRetToStrW(&text, child, &listed)) && name == listed)
                found = ILCombine(parent, child);
            CoTaskMemFree(listed);
            CoTaskMemFree(child);
        }
        children->Release();
    }
    if (folder) folder->Release();
    CoTaskMemFree(parent);
    return found;
}

// The items as the shell's menu hands them to a command.
IShellItemArray* ShellItems(const std::wstring* paths, UINT count) {
    PIDLIST_ABSOLUTE lists[2] = {};
    bool parsed = true;
    for (UINT i = 0; i < count; ++i) parsed = parsed && (lists[i] = ListedItem(paths[i]));
    IShellItemArray* items = nullptr;
    if (parsed) SHCreateShellItemArrayFromIDLists(count, const_cast<PCIDLIST_ABSOLUTE_ARRAY>(lists), &items);
    for (PIDLIST_ABSOLUTE list : lists) CoTaskMemFree(list);
    return items;
}

int RunCommand(const std::wstring* paths, UINT count, bool stateOnly, bool close) {
    IExplorerCommand* command = nullptr;
    HRESULT hr = CoCreateInstance(kCommandClass, nullptr, CLSCTX_INPROC_SERVER, IID_IExplorerCommand,
                                  reinterpret_cast<void**>(&command));
    printf("create: 0x%08lx\n", static_cast<unsigned long>(hr));
    if (FAILED(hr)) return 1;
    IShellItemArray* items = ShellItems(paths, count);
    printf("items: %s\n", items ? "from the shell's parse" : "none");
    if (!items) return 1;
    IShellItem* first = nullptr;
    LPWSTR path = nullptr;
    if (SUCCEEDED(items->GetItemAt(0, &first))) first->GetDisplayName(SIGDN_FILESYSPATH, &path);
    if (first) first->Release();
    printf("first item: %ls\n", path ? path : L"<no path>");
    CoTaskMemFree(path);
    LPWSTR title = nullptr;
    hr = command->GetTitle(items, &title);
    printf("title: 0x%08lx \"%ls\"\n", static_cast<unsigned long>(hr), title ? title : L"");
    CoTaskMemFree(title);
    EXPCMDSTATE state = ECS_DISABLED;
    hr = command->GetState(items, FALSE, &state);
    printf("state: 0x%08lx %s\n", static_cast<unsigned long>(hr),
           state == ECS_ENABLED ? "enabled" : state == ECS_HIDDEN ? "hidden" : "other");
    if (stateOnly || state != ECS_ENABLED) {
        items->Release();
        command->Release();
        return 0;
    }
    hr = command->Invoke(items, nullptr);
    printf("invoke: 0x%08lx\n", static_cast<unsigned long>(hr));
    // As the shell does: the array and the command go right after Invoke.
    items->Release();
    command->Release();
    std::wstring name = MainWindow::ClassNameFor(paths[0].c_str());
    HWND navigator = nullptr;
    for (DWORD start = GetTickCount(); !navigator && GetTickCount() - start < 20000;) {
        navigator = FindWindowW(name.c_str(), nullptr);
        if (!navigator) PumpMessagesFor(50);
    }
    DWORD id = 0;
    if (navigator) GetWindowThreadProcessId(navigator, &id);
    printf("navigator: %s\n", !navigator ? "not open" : id == GetCurrentProcessId() ? "open here" : "open apart");
    if (!navigator || !close) return navigator ? 0 : 1;
    HANDLE program = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, id);
    PostMessageW(navigator, WM_CLOSE, 0, 0);
    DWORD code = 99;
    if (program && WaitForSingleObject(program, 20000) == WAIT_OBJECT_0) GetExitCodeProcess(program, &code);
    printf("program: exited %lu\n", static_cast<unsigned long>(code));
    if (program) CloseHandle(program);
    return 0;
}

// The data object the shell hands a context-menu handler for one folder.
IDataObject* FolderDataObject(const std::wstring& folder) {
    std::wstring wide = folder;
    IShellFolder* desktop = nullptr;
    if (FAILED(SHGetDesktopFolder(&desktop))) return nullptr;
    PIDLIST_RELATIVE item = nullptr;
    IDataObject* data = nullptr;
    if (SUCCEEDED(desktop->ParseDisplayName(nullptr, nullptr, &wide[0], nullptr, &item, nullptr))) {
        IShellFolder* parent = nullptr;
        PCUITEMID_CHILD child = nullptr;
        if (SUCCEEDED(SHBindToParent(reinterpret_cast<PCIDLIST_ABSOLUTE>(item), IID_IShellFolder,
                                     reinterpret_cast<void**>(&parent), &child))) {
            parent->GetUIObjectOf(nullptr, 1, &child, IID_IDataObject, nullptr, reinterpret_cast<void**>(&data));
            parent->Release();
        }
        CoTaskMemFree(item);
    }
    desktop->Release();
    return data;
}

// Whether the navigator's header still tells a screen reader that it scans.
bool Scanning(HWND header) {
    IAccessible* object = nullptr;
    if (FAILED(AccessibleObjectFromWindow(header, OBJID_CLIENT, __uuidof(IAccessible), reinterpret_cast<void**>(&object))))
        return true;
    VARIANT self;
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR value = nullptr;
    bool scanning = FAILED(object->get_accValue(self, &value)) || !value || !wcscmp(value, L"Scanning");
    SysFreeString(value);
    object->Release();
    return scanning;
}

IAccessible* ReaderObject(HWND pane) {
    IAccessible* object = nullptr;
    AccessibleObjectFromWindow(pane, OBJID_CLIENT, __uuidof(IAccessible), reinterpret_cast<void**>(&object));
    return object;
}

// Calls each held object once the navigator has gone, after the host freed
// unused libraries as the shell does now and then, and lets them go.
void CallAndReleaseAfterClose(IAccessible* list, IAccessible* header, HRESULT(WINAPI* canUnload)()) {
    PumpMessagesFor(2000);  // past the navigator's own hold on the module
    HRESULT held = canUnload();
    CoFreeUnusedLibraries();
    printf("held: 0x%08lx, module %s\n", static_cast<unsigned long>(held),
           GetModuleHandleA("Tolv.dll") ? "loaded" : "unloaded");
    VARIANT self;
    self.vt = VT_I4;
    self.lVal = CHILDID_SELF;
    BSTR value = nullptr;
    long count = 0;
    HRESULT valueCall = header ? header->get_accValue(self, &value) : E_POINTER;
    HRESULT countCall = list ? list->get_accChildCount(&count) : E_POINTER;
    SysFreeString(value);
    printf("calls after the close: 0x%08lx 0x%08lx\n", static_cast<unsigned long>(valueCall),
           static_cast<unsigned long>(countCall));
    if (list) list->Release();
    if (header) header->Release();
    printf("readers: released\n");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: shellhost FOLDER [--at X,Y] [--wait MS] [--screenshot FILE.bmp] [--close]\n");
        return 2;
    }
    std::wstring screenshot;
    std::wstring items[2];
    UINT itemCount = 1;
    bool close = false, holdReaders = false, command = false, stateOnly = false;
    DWORD wait = 1500;
    for (int i = 2; i < argc; ++i) {
        if (!wcscmp(argv[i], L"--at") && i + 1 < argc) {
            int x = 0, y = 0;
            swscanf(argv[++i], L"%d,%d", &x, &y);
            SetCursorPos(x, y);
        } else if (!wcscmp(argv[i], L"--wait") && i + 1 < argc) {
            wait = static_cast<DWORD>(_wtoi(argv[++i]));
        } else if (!wcscmp(argv[i], L"--screenshot") && i + 1 < argc) {
            screenshot = argv[++i];
        } else if (!wcscmp(argv[i], L"--close")) {
            close = true;
        } else if (!wcscmp(argv[i], L"--hold-readers")) {
            holdReaders = true;
        } else if (!wcscmp(argv[i], L"--command")) {
            command = true;
        } else if (!wcscmp(argv[i], L"--state-only")) {
            stateOnly = true;
        } else if (!wcscmp(argv[i], L"--with") && i + 1 < argc) {
            items[1] = argv[++i];
            itemCount = 2;
        }
    }
    std::wstring folder;
    // A virtual folder by its class ("::{...}") is the shell's to parse.
    if (command && !wcsncmp(argv[1], L"::", 2))
        folder = argv[1];
    else if (!FolderArgument(argv[1], &folder))
        return 2;
    setvbuf(stdout, nullptr, _IONBF, 0);
    OleInitialize(nullptr);
    if (command) {
        items[0] = folder;
        return RunCommand(items, itemCount, stateOnly, close);
    }

    char clsidText[64] = "";
    LONG size = sizeof clsidText;
    if (RegQueryValueA(HKEY_CLASSES_ROOT, "Folder\\ShellEx\\ContextMenuHandlers\\Tolv", clsidText, &size) !=
        ERROR_SUCCESS) {
        printf("handler: not registered\n");
        return 1;
    }
    printf("handler: %s\n", clsidText);
    wchar_t clsidWide[64];
    MultiByteToWideChar(CP_ACP, 0, clsidText, -1, clsidWide, 64);
    CLSID clsid;
    CLSIDFromString(clsidWide, &clsid);
    IShellExtInit* init = nullptr;
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IShellExtInit,
                                  reinterpret_cast<void**>(&init));
    printf("create: 0x%08lx\n", static_cast<unsigned long>(hr));
    if (FAILED(hr)) return 1;

    IDataObject* data = FolderDataObject(folder);
    printf("data object: %s\n", data ? "from the shell folder" : "none");
    hr = init->Initialize(nullptr, data, nullptr);
    printf("initialize: 0x%08lx\n", static_cast<unsigned long>(hr));
    if (data) data->Release();

    IContextMenu* menu = nullptr;
    init->QueryInterface(IID_IContextMenu, reinterpret_cast<void**>(&menu));
    init->Release();
    HMENU popup = CreatePopupMenu();
    hr = menu->QueryContextMenu(popup, 0, 1, 0x7FFF, CMF_NORMAL);
    char text[64] = "";
    GetMenuStringA(popup, 0, text, sizeof text, MF_BYPOSITION);
    MENUITEMINFOA item{};
    item.cbSize = sizeof item;
    item.fMask = MIIM_CHECKMARKS | MIIM_ID;
    GetMenuItemInfoA(popup, 0, TRUE, &item);
    printf("menu: 0x%08lx \"%s\" id %u bitmap %s\n", static_cast<unsigned long>(hr), text, item.wID,
           item.hbmpUnchecked ? "yes" : "no");

    CMINVOKECOMMANDINFO invoke{};
    invoke.cbSize = sizeof invoke;
    invoke.lpVerb = MAKEINTRESOURCEA(item.wID - 1);
    invoke.nShow = SW_SHOWNORMAL;
    hr = menu->InvokeCommand(&invoke);
    printf("invoke: 0x%08lx\n", static_cast<unsigned long>(hr));
    menu->Release();  // the shell lets go; the navigator keeps the handler alive
    DestroyMenu(popup);

    // The shell names the folder in the data object; the navigator's class is
    // named after that path.
    HWND navigator = FindWindowW(folder.c_str(), nullptr);
    printf("navigator: %s\n", navigator ? "open" : "not open");
    if (!navigator) return 1;
    HWND header = FindWindowExW(navigator, nullptr, (folder + L"head").c_str(), nullptr);
    DWORD start = GetTickCount();
    while (Scanning(header) && GetTickCount() - start < wait) PumpMessagesFor(50);
    PumpMessagesFor(300);  // the last repaint
    if (!screenshot.empty())
        printf("screenshot: %s\n", SaveWindowScreenshot(navigator, screenshot) ? "saved" : "failed");
    IAccessible *listReader = nullptr, *headerReader = nullptr;
    if (holdReaders) {
        listReader = ReaderObject(FindWindowExW(navigator, nullptr, (folder + L"child").c_str(), nullptr));
        headerReader = ReaderObject(header);
    }
    if (!close) {
        while (IsWindow(navigator)) PumpMessagesFor(100);
    } else {
        RECT area;
        GetClientRect(header, &area);
        PostMessageA(header, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(area.right - 10, 10));
        while (IsWindow(navigator)) PumpMessagesFor(20);
        printf("navigator: closed\n");
    }
    DWORD closed = GetTickCount();
    HMODULE module = GetModuleHandleA("Tolv.dll");
    auto canUnload = reinterpret_cast<HRESULT(WINAPI*)()>(
        reinterpret_cast<void*>(GetProcAddress(module, "DllCanUnloadNow")));
    if (!canUnload) return 1;
    if (holdReaders) CallAndReleaseAfterClose(listReader, headerReader, canUnload);
    HRESULT first = canUnload();
    bool unloadable = false;
    while (!(unloadable = canUnload() == S_OK) && GetTickCount() - closed < 10000) PumpMessagesFor(20);
    printf("unload: 0x%08lx at first, %s after %lu ms\n", static_cast<unsigned long>(first),
           unloadable ? "S_OK" : "still S_FALSE", GetTickCount() - closed);
    CoFreeUnusedLibraries();
    printf("module: %s\n", GetModuleHandleA("Tolv.dll") ? "loaded" : "unloaded");
    OleUninitialize();
    return unloadable ? 0 : 1;
}
