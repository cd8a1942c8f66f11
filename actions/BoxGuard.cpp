#include "BoxGuard.h"

#include <cwchar>

namespace {

thread_local BoxGuard* current = nullptr;

}  // namespace

BoxGuard::BoxGuard(HWND owner, std::function<bool()> stillSafe) : owner_(owner), stillSafe_(std::move(stillSafe)) {
    current = this;
    hook_ = SetWindowsHookExW(WH_CBT, OnCreate, nullptr, GetCurrentThreadId());
}

BoxGuard::~BoxGuard() {
    if (hook_) UnhookWindowsHookEx(hook_);
    for (const auto& box : boxes_) SetWindowLongPtrW(box.first, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(box.second));
    current = nullptr;
}

BoxGuard* BoxGuard::Holder(HWND box, WNDPROC* former) {
    if (current)
        for (const auto& held : current->boxes_)
            if (held.first == box) {
                if (former) *former = held.second;
                return current;
            }
    return nullptr;
}

// A dialog made for the guard's navigator takes the guard's procedure first,
// before it has any control that could be answered.
LRESULT CALLBACK BoxGuard::OnCreate(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND) {
        auto box = reinterpret_cast<HWND>(wParam);
        HWND owner = reinterpret_cast<CBT_CREATEWNDW*>(lParam)->lpcs->hwndParent;
        wchar_t name[16] = L"";
        GetClassNameW(box, name, 16);
        if (current && current->owner_ == owner && !wcscmp(name, L"#32770")) {
            auto former =
                reinterpret_cast<WNDPROC>(SetWindowLongPtrW(box, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(BoxProc)));
            if (former) current->boxes_.push_back({box, former});
        }
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK BoxGuard::BoxProc(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
    WNDPROC former = nullptr;
    BoxGuard* guard = Holder(box, &former);
    if (!guard) return DefWindowProcW(box, message, wParam, lParam);
    // A press of a button (or its key) answers the box; a No or Cancel needs
    // no check, and any other answer is a Yes.
    if (message == WM_COMMAND && HIWORD(wParam) <= 1) {
        guard->answered_ = true;
        if (LOWORD(wParam) != IDCANCEL && LOWORD(wParam) != IDNO) guard->confirmed_ = guard->stillSafe_();
        wParam = IDCANCEL;
        lParam = 0;
    }
    LRESULT result = CallWindowProcW(former, box, message, wParam, lParam);
    if (message == WM_NCDESTROY)
        for (auto at = guard->boxes_.begin(); at != guard->boxes_.end(); ++at)
            if (at->first == box) {
                guard->boxes_.erase(at);
                break;
            }
    return result;
}
