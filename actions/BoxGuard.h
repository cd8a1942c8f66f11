// The older shell call asks its one question (delete for good?) in a box
// that waits as long as the user takes, pumping messages; anything may
// change on disk meanwhile, after the checks made before the call. For its
// scope, a BoxGuard takes every answer to a box that the call shows `owner`:
// a Yes, while `stillSafe` holds, becomes the guard's own (Confirmed), and
// the shell hears Cancel, which ends its operation before it removes
// anything. One guard at a time per thread: the shell's call runs on a
// thread of its own (RunAside).
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
    // A box was answered (and the shell then did nothing); and the answer
    // was a Yes that held.
    bool Answered() const { return answered_; }
    bool Confirmed() const { return confirmed_; }

private:
    static LRESULT CALLBACK OnCreate(int code, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK BoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam);
    // The thread's guard when it holds a box, and the box's own procedure.
    static BoxGuard* Holder(HWND box, WNDPROC* former);

    HWND owner_;
    std::function<bool()> stillSafe_;
    HHOOK hook_;
    bool answered_ = false, confirmed_ = false;
    std::vector<std::pair<HWND, WNDPROC>> boxes_;
};
