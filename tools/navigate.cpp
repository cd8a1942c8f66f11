// Opens the navigator on a folder without the shell: builds the main window
// for the path, as the context-menu object does, and runs a message loop until
// the navigator is closed.
//   navigate.exe FOLDER [--at X,Y] [--screenshot FILE.bmp] [--expand] [--stall ROOT_MS,SUB_MS] [--delete NAME]
//                [--allocations N]
// With --screenshot it waits for the scan to end, saves the navigator's pixels
// as a 24-bit bitmap and closes it. With --stall every listing stalls as a
// slow share's would, the chosen folder's for ROOT_MS and each folder's below
// it for SUB_MS; the navigator then reports how long opening held this thread
// (the shell's), when the rows came, and how long closing held it, closes
// once the rows are there and leaves without waiting for its scan. With
// --delete it deletes the row NAME once the scan has ended, answering Yes
// to the shell's question, and reports how long the delete took and the
// longest time this thread (the shell's) left a message unanswered meanwhile.
// With --allocations the scan runs out of memory after N allocations, as it
// would in a full address space.
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "MainWindow.h"
#include "Name.h"
#include "ToolSupport.h"

namespace {

// Dispatches messages until the event is set or `ms` have passed.
bool Pump(HANDLE event, DWORD ms) {
    DWORD end = GetTickCount() + ms;
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        DWORD now = GetTickCount();
        if (ms != INFINITE && static_cast<int>(end - now) <= 0) return false;
        DWORD wait = ms == INFINITE ? INFINITE : end - now;
        if (MsgWaitForMultipleObjects(1, &event, FALSE, wait, QS_ALLINPUT) == WAIT_OBJECT_0) return true;
    }
}

// Pings the navigator's thread while a delete runs; closes the Recycle Bin
// note, should it come, and answers the shell's question with Yes.
struct Watch {
    HWND window;
    volatile bool done = false;
    DWORD longest = 0;
};

DWORD WINAPI WatchThread(LPVOID param) {
    auto* watch = static_cast<Watch*>(param);
    bool answered = false;
    while (!watch->done) {
        DWORD sent = GetTickCount();
        DWORD_PTR ignored;
        SendMessageTimeoutW(watch->window, WM_NULL, 0, 0, SMTO_NORMAL, 60000, &ignored);
        DWORD waited = GetTickCount() - sent;
        if (waited > watch->longest) watch->longest = waited;
        for (HWND box = nullptr; !answered && (box = FindWindowExW(nullptr, box, L"#32770", nullptr));) {
            wchar_t title[64] = L"";
            GetWindowTextW(box, title, 64);
            if (IsWindowVisible(box) && !wcscmp(title, L"NOTE")) PostMessageW(box, WM_COMMAND, IDOK, 0);
            if (IsWindowVisible(box) && !wcsncmp(title, L"Confirm", 7)) {
                PostMessageW(box, WM_COMMAND, IDYES, 0);
                answered = true;
            }
        }
        Sleep(5);
    }
    return 0;
}

// Expands the first row's folder and, by the keys as a user would, its first
// folder and so on down, then shows the list from its top with nothing
// selected: a deep tree's picture.
void ExpandFirstRows(MainWindow* navigator) {
    Document& doc = navigator->document;
    SendMessageW(navigator->hwnd, WM_KEYDOWN, VK_HOME, 0);
    for (Row before; doc.selected && doc.selected != before;) {
        before = doc.selected;
        SendMessageW(navigator->hwnd, WM_KEYDOWN, VK_RIGHT, 0);
        SendMessageW(navigator->hwnd, WM_KEYDOWN, VK_RIGHT, 0);
    }
    doc.selected = nullptr;
    navigator->scrollBar.ScrollTo(0);
    navigator->list.RedrawNow();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: navigate FOLDER [--at X,Y] [--screenshot FILE.bmp]\n");
        return 2;
    }
    std::wstring screenshot, doomed;
    int stallRoot = -1, stallSub = 0;
    long allocations = -1;
    bool expand = false;
    for (int i = 2; i < argc; ++i) {
        if (!wcscmp(argv[i], L"--at") && i + 1 < argc) {
            int x = 0, y = 0;
            swscanf(argv[++i], L"%d,%d", &x, &y);
            SetCursorPos(x, y);
        } else if (!wcscmp(argv[i], L"--screenshot") && i + 1 < argc) {
            screenshot = argv[++i];
        } else if (!wcscmp(argv[i], L"--expand")) {
            expand = true;
        } else if (!wcscmp(argv[i], L"--delete") && i + 1 < argc) {
            doomed = argv[++i];
        } else if (!wcscmp(argv[i], L"--stall") && i + 1 < argc) {
            swscanf(argv[++i], L"%d,%d", &stallRoot, &stallSub);
        } else if (!wcscmp(argv[i], L"--allocations") && i + 1 < argc) {
            allocations = wcstol(argv[++i], nullptr, 10);
        }
    }
    std::wstring path;
    if (!FolderArgument(argv[1], &path)) return 2;

    // A single-threaded apartment, as the shell's window thread is: screen
    // readers get the panes' accessible objects through it.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    HANDLE closed = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    auto* navigator = new MainWindow;
    navigator->document.path = path;
    navigator->document.allocationsBeforeShortage = allocations;
    if (stallRoot >= 0)
        navigator->document.beforeListing = [stallRoot, stallSub](const FolderNode* folder) {
            Sleep(static_cast<DWORD>(folder->parent ? stallSub : stallRoot));
        };
    DWORD opening = GetTickCount();
    RECT ignored{};
    if (!navigator->Create(path.c_str(), GetModuleHandleA(nullptr), ignored, WS_POPUP | WS_BORDER, nullptr,
                           reinterpret_cast<Wnd*>(&closed))) {
        fprintf(stderr, "navigate: the navigator could not be opened for %s\n", EncodeName(path).c_str());
        if (navigator->hwnd) DestroyWindow(navigator->hwnd);
        delete navigator;
        return 1;
    }
    int status = 0;
    if (stallRoot >= 0) {
        DWORD opened = GetTickCount();
        printf("open: %lu ms\n", static_cast<unsigned long>(opened - opening));
        while (!navigator->RootShown() && !Pump(closed, 20)) {
        }
        printf("rows: %d after %lu ms\n", navigator->list.rowTotal, static_cast<unsigned long>(GetTickCount() - opened));
        DWORD closing = GetTickCount();
        DestroyWindow(navigator->hwnd);
        printf("close: %lu ms\n", static_cast<unsigned long>(GetTickCount() - closing));
        fflush(stdout);
        // The scan's threads may be held for SUB_MS more: the process goes
        // without them, as a measurement needs nothing more of it.
        ExitProcess(0);
    }
    if (!doomed.empty()) {
        while (!navigator->document.ScanEnded() && !Pump(closed, 50)) {
        }
        ForEachChild(&navigator->document.root, [&](Row row) {
            if (DecodeName(row.Name()) == doomed) navigator->document.selected = row;
        });
        if (!navigator->document.selected) {
            fprintf(stderr, "navigate: no row %s\n", EncodeName(doomed).c_str());
            return 1;
        }
        Watch watch{navigator->hwnd};
        HANDLE watcher = CreateThread(nullptr, 0, WatchThread, &watch, 0, nullptr);
        DWORD started = GetTickCount();
        SendMessageW(navigator->hwnd, WM_KEYDOWN, VK_DELETE, 0);
        DWORD took = GetTickCount() - started;
        watch.done = true;
        // Its last ping is answered here.
        Pump(watcher, INFINITE);
        CloseHandle(watcher);
        printf("delete: %lu ms; longest unanswered: %lu ms; rows left %d\n", static_cast<unsigned long>(took),
               static_cast<unsigned long>(watch.longest), navigator->list.rowTotal);
        fflush(stdout);
        DestroyWindow(navigator->hwnd);
    }
    if (!screenshot.empty()) {
        while (!navigator->document.ScanEnded() && !Pump(closed, 50)) {
        }
        if (expand) ExpandFirstRows(navigator);
        Pump(closed, 300);
        if (!SaveWindowScreenshot(navigator->hwnd, screenshot)) status = 1;
        DestroyWindow(navigator->hwnd);
    }
    Pump(closed, INFINITE);
    delete navigator;
    CloseHandle(closed);
    CoUninitialize();
    return status;
}
