#include "ListAccessible.h"

#include "ChildWindow.h"
#include "MainWindow.h"
#include "Name.h"

namespace {

MainWindow* MainOf(const ChildWindow* pane) { return static_cast<MainWindow*>(pane->owner); }

}  // namespace

ListAccessible::ListAccessible(ChildWindow* pane) : Accessible(pane->hwnd), pane_(pane) {}

Row ListAccessible::RowLocked(long child) const { return pane_->FindRowLocked(child - 1); }

long ListAccessible::ChildCount() {
    ViewsLock views(MainOf(pane_));
    return pane_->rowTotal;
}

bool ListAccessible::Describe(long child, Facts* out) {
    MainWindow* main = MainOf(pane_);
    RECT client;
    GetClientRect(hwnd_, &client);
    if (child == CHILDID_SELF) {
        out->role = ROLE_SYSTEM_OUTLINE;
        out->name = main->document.path;
        out->state = STATE_SYSTEM_FOCUSABLE | (FocusedChild() == CHILDID_SELF ? STATE_SYSTEM_FOCUSED : 0);
        out->place = client;
        return true;
    }
    const int height = pane_->rowHeight;
    const int top = main->scrollBar.topRow;
    const int shown = (client.bottom - client.top) / height;  // whole rows only
    ViewsLock views(main);
    NodeLock hold(&main->document.root);
    const Row node = RowLocked(child);
    if (!node) return false;
    const int at = static_cast<int>(child - 1) - top;  // the row's place in the pane
    out->role = ROLE_SYSTEM_OUTLINEITEM;
    out->name = DecodeName(node.Name());
    out->value = SizeText(static_cast<double>(node.Size()));
    if (node.IsFolder()) out->value += L", " + FilesText(node.Files());
    out->description = L"Level " + std::to_wstring(node.Level());
    out->state = STATE_SYSTEM_SELECTABLE | STATE_SYSTEM_FOCUSABLE;
    if (node == main->document.selected)
        out->state |= STATE_SYSTEM_SELECTED | (GetFocus() == hwnd_ ? STATE_SYSTEM_FOCUSED : 0);
    if (node.IsFolder()) out->state |= node.Expanded() ? STATE_SYSTEM_EXPANDED : STATE_SYSTEM_COLLAPSED;
    if (at < 0 || at >= shown) out->state |= STATE_SYSTEM_OFFSCREEN;
    out->action = !node.IsFolder() ? L"Open" : node.Expanded() ? L"Collapse" : L"Expand";
    out->place = RECT{client.left, at * height, client.right, (at + 1) * height};
    return true;
}

long ListAccessible::ChildAt(POINT client) {
    MainWindow* main = MainOf(pane_);
    long row = client.y / pane_->rowHeight + main->scrollBar.topRow;
    ViewsLock views(main);
    return row < pane_->rowTotal ? row + 1 : CHILDID_SELF;
}

// The keyboard's place in the list: the selected row, or with none the
// outline itself, and nothing while the keys go to another window.
long ListAccessible::FocusedChild() {
    if (GetFocus() != hwnd_) return kNoChild;
    long row = SelectedChild();
    return row > 0 ? row : CHILDID_SELF;
}

long ListAccessible::SelectedChild() {
    MainWindow* main = MainOf(pane_);
    ViewsLock views(main);
    NodeLock hold(&main->document.root);
    return pane_->RowOfLocked(main->document.selected) + 1;
}

HRESULT ListAccessible::Select(long child, long flags) {
    // One row at a time: there is no adding to a selection.
    if (flags & (SELFLAG_ADDSELECTION | SELFLAG_REMOVESELECTION | SELFLAG_EXTENDSELECTION)) return E_INVALIDARG;
    if (child == CHILDID_SELF) return E_INVALIDARG;
    MainWindow* main = MainOf(pane_);
    // Rows take no selection while the scan runs, as with a press, nor
    // while an action's boxes are up.
    if (!main->RowsSettled() || main->ActionRunning()) return E_FAIL;
    if (!(flags & (SELFLAG_TAKEFOCUS | SELFLAG_TAKESELECTION))) return S_OK;
    Row node;
    {
        ViewsLock views(main);
        NodeLock hold(&main->document.root);
        node = RowLocked(child);
    }
    if (!node) return E_INVALIDARG;
    // On the window's thread (Usable) and with no lock held: the events go
    // out from here, and an in-context hook may call back at once.
    pane_->SelectRow(node);
    // Taking the focus is taking the keys: the row's focus event comes with them.
    if ((flags & SELFLAG_TAKEFOCUS) && GetFocus() != hwnd_) SetFocus(hwnd_);
    return S_OK;
}

HRESULT ListAccessible::DoDefaultAction(long child) {
    if (child == CHILDID_SELF) return DISP_E_MEMBERNOTFOUND;
    MainWindow* main = MainOf(pane_);
    if (!main->RowsSettled() || main->ActionRunning()) return E_FAIL;
    Row node;
    {
        ViewsLock views(main);
        NodeLock hold(&main->document.root);
        node = RowLocked(child);
    }
    if (!node) return E_INVALIDARG;
    // The pane acts only on a row that still shows it, whatever moved in
    // between.
    return pane_->PostDefaultAction(node) ? S_OK : E_FAIL;
}
