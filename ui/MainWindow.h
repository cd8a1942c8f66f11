// The navigator's top-level window: owns the document and every pane, places
// itself at the pointer, fits its height to the rows, takes the keyboard and
// the wheel, and on closing stops the scan and signals its close event.
#pragma once

#include <string>

#include "ChildWindow.h"
#include "Document.h"
#include "HeadWindow.h"
#include "ListKeys.h"
#include "MenuWindow.h"
#include "Scale.h"
#include "ScrllWindow.h"
#include "ToolTip.h"
#include "Wnd.h"

// Posted to the main window once the scan has listed the chosen folder.
constexpr UINT kRootListedMessage = WM_APP + 2;

class MainWindow : public Wnd, public DocumentViews {
public:
    MainWindow();
    ~MainWindow() override;

    // `name` is the folder's path; `owner` carries the address of the close
    // event's handle, which OnDestroy signals; the rectangle and the parent
    // are not used.
    bool Create(const wchar_t* name, HINSTANCE instance, RECT rect, DWORD style, HWND parent, Wnd* owner) override;
    // The class name for a folder's navigator: the path itself, or when that
    // leaves no room for the panes' names, its head and a digest of the whole.
    // One folder, one name, so a second navigator on a folder does not open.
    static std::wstring ClassNameFor(const wchar_t* path);
    bool AfterCreate() override;
    void OnMouseWheel(WPARAM wParam) override;
    void OnDestroy() override;
    void OnKeyDown(WPARAM key, bool repeated) override { keys_.OnKey(key, repeated); }
    void OnClose() override { Close(); }
    void OnAppMessage(UINT message, WPARAM wParam, LPARAM lParam) override;
    // The list pane takes the focus, where screen readers look for it.
    void OnSetFocus() override;

    // The monitor's scale changed (the header's drag took the navigator to
    // another monitor): the suggested rectangle, laid out again at the new scale.
    void OnDpiChanged(int dpi, const RECT& suggested) override;

    void FitToList(RECT* list);
    void SetScrollBarShown(bool shown);

    // DocumentViews: the document's repaints and row changes.
    void RepaintList() override;
    void RepaintHeader(bool full) override;
    void RowsRemoved(int rows) override;
    void SelectionMoved() override;
    void RowsReordered() override;
    void RootListed() override;
    void BeginTreeChange() override { LockViews(); }
    void EndTreeChange() override { UnlockViews(); }
    HWND ViewWindow() override { return hwnd; }
    HINSTANCE ViewInstance() override { return instance; }
    void BeginAction() override;
    void EndAction() override;
    bool ViewsOpen() override;

    // Closes the navigator as its close box does; during an action, once the
    // action has returned.
    void Close();
    // Whether the list shows the chosen folder's rows; until then it says
    // that the folder is being listed. Read under the views' lock.
    bool RootShown() const { return rootShown_; }
    // Rows may be chosen and acted on: the scan has ended and the list shows
    // its rows. Until then no press, key or reader acts on a row, not even
    // one the tree holds already while the list still says it is listing.
    // A scan that ran out of memory has ended too: its rows are what it
    // counted, and they stay usable.
    bool RowsSettled() const { return rootShown_ && (document.root.Complete() || document.CutShort()); }
    // The window is gone, destroyed or with the thread that made it: nothing
    // paints it or is posted to it from here on, and the scan stops.
    void Abandon();
    // An action's note or the shell's windows are up: the navigator holds
    // still, and acts on nothing that a screen reader asks for meanwhile.
    bool ActionRunning() const { return actions_ > 0; }

    // Held by every paint of the list and the header, whichever thread paints,
    // and by the changes of the tree that those paints read.
    void LockViews() { EnterCriticalSection(&viewLock_); }
    void UnlockViews() { LeaveCriticalSection(&viewLock_); }

    HANDLE* closeEvent;
    ScrllWindow scrollBar;
    bool scrollBarShown;
    Document document;
    ChildWindow list;
    HeadWindow header;
    ToolTip tooltip;
    MenuWindow menu;
    RECT workArea;  // of the monitor the navigator is on
    Scale scale;    // of the monitor the navigator is on

private:
    // Takes a scale: the panes' fonts and metrics, and their images from the
    // next paint on.
    void SetScale(int dpi);
    void SetIcon();
    // Whether the document's repaints may reach the panes; changed under the lock.
    void SetViewsAlive(bool alive);
    void SignalClosed();
    // Lays the rows out once the scan has listed the chosen folder.
    void ShowRoot();
    CRITICAL_SECTION viewLock_;
    bool viewsAlive_ = false;  // false before the panes exist and once closing
    bool windowGone_ = false;  // from the window's destruction on: nothing is posted to it
    bool rootShown_ = false;
    // An action's note or shell windows are up. The object that holds this
    // window is released once the close event comes, so while an action
    // runs a close waits for it: a Close() until the action returns, and
    // the close event of a window destroyed meanwhile too.
    int actions_ = 0;
    bool closeAfterAction_ = false;
    bool signalAfterAction_ = false;
    HICON icon_ = nullptr;
    ListKeys keys_{this};
};

// Holds the views' lock for a scope.
class ViewsLock {
public:
    explicit ViewsLock(MainWindow* main) : main_(main) { main_->LockViews(); }
    ~ViewsLock() { main_->UnlockViews(); }
    ViewsLock(const ViewsLock&) = delete;
    ViewsLock& operator=(const ViewsLock&) = delete;

private:
    MainWindow* main_;
};
