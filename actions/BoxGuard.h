// The shell's boxes (its questions, "file in use") come up inside its call
// and wait as long as the user takes, pumping messages; anything may change
// on disk meanwhile, after the checks made before the call. For its scope, a
// BoxGuard holds every answer to a box that the call shows `owner` to
// `stillSafe`: while that holds, the answer goes through; once it does not,
// any answer becomes Cancel, which ends the shell's operation there. One
// guard at a time per thread: the shell's call runs on a thread of its own
// (ShellDelete).
#pragma once

#include <windows.h>

#include <functional>
#include <utility>
#include <vector>

class BoxGuard {
public:
    BoxGuard(HWND owner, std::function<bool()> stillSafe);
    ~BoxGuard();
    BoxGuard(const BoxGuard&) = delete;
    BoxGuard& operator=(const BoxGuard&) = delete;

    // False when the thread's window creation could not be watched.
    bool Watching() const { return hook_ != nullptr; }

private:
    static LRESULT CALLBACK OnCreate(int code, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK BoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam);
    // The thread's guard when it holds a box, and the box's own procedure.
    static BoxGuard* Holder(HWND box, WNDPROC* former);

    HWND owner_;
    std::function<bool()> stillSafe_;
    HHOOK hook_;
    std::vector<std::pair<HWND, WNDPROC>> boxes_;
};
