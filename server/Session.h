// One navigator opened from the context menu. Its windows live on the thread
// that invoked the menu, the shell's; the navigator object, its document and
// the module stay until the window has gone and the scan's last thread has
// returned, which a thread of the session's own waits for, so that the
// shell's thread never does. The session is independent of the menu object
// that opened it: the shell may keep that object, initialise it again and
// invoke it again, and each invocation opens a navigator of its own.
#pragma once

#include <windows.h>

#include <string>

#include "MainWindow.h"
#include "ModuleHold.h"

class NavigatorSession {
public:
    // Opens a navigator on `folder` on the calling thread and returns its
    // window; nothing, and null, when one is open on that folder already.
    // Every way to the navigator comes here: the classic menu, the program.
    static HWND Open(const std::wstring& folder, HINSTANCE instance);
    // Whether `path`, taken exactly as the shell or a command line names it,
    // is a folder now (a drive's or a share's root included).
    static bool IsFolder(const std::wstring& path) {
        DWORD attributes = Attributes(path);
        return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    }
    // The attributes of the item `path` names exactly; INVALID_FILE_ATTRIBUTES
    // when there is none, or the path names no item of a drive or a share.
    static DWORD Attributes(const std::wstring& path);

private:
    NavigatorSession() = default;
    ~NavigatorSession();
    static DWORD WINAPI Closer(LPVOID self);

    // Declared first, so released last: after the navigator has joined its
    // scan and let go of its window classes.
    ModuleHold moduleHold_;
    MainWindow window_;
    HANDLE closed_ = nullptr;   // signalled by the window's destruction
    // The thread that made the windows: should it end without destroying
    // them, they go with it, and no destruction ever signals `closed_`.
    HANDLE invoker_ = nullptr;
    HMODULE module_ = nullptr;  // the closer thread's own reference to the module
};
