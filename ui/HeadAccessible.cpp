#include "HeadAccessible.h"

#include "HeadWindow.h"
#include "MainWindow.h"

HeadAccessible::HeadAccessible(HeadWindow* header) : Accessible(header->hwnd), header_(header) {}

bool HeadAccessible::Describe(long child, Facts* out) {
    if (child == kCloseButton) {
        out->role = ROLE_SYSTEM_PUSHBUTTON;
        out->name = L"Close";
        out->action = L"Press";
        out->place = header_->CloseBox();
        return true;
    }
    MainWindow* main = static_cast<MainWindow*>(header_->owner);
    out->role = ROLE_SYSTEM_TITLEBAR;
    out->name = main->document.path;
    {
        ViewsLock hold(main);
        out->value = header_->ValueText();
    }
    GetClientRect(hwnd_, &out->place);
    return true;
}

long HeadAccessible::ChildAt(POINT client) {
    return header_->InCloseBox(client.x, client.y) ? kCloseButton : CHILDID_SELF;
}

HRESULT HeadAccessible::DoDefaultAction(long child) {
    if (child != kCloseButton) return DISP_E_MEMBERNOTFOUND;
    // Closing destroys the window that this call came through.
    return PostMessageW(hwnd_, kDefaultActionMessage, 0, 0) ? S_OK : E_FAIL;
}
