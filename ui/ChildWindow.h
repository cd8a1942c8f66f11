// The folder list pane: the tree as rows with expanders, names, sizes and file
// counts, drawn through a back buffer from the top row the scroll bar holds.
#pragma once

#include "Accessible.h"
#include "FolderNode.h"
#include "ListPainter.h"
#include "RowLayout.h"
#include "Scale.h"
#include "Wnd.h"

class MainWindow;

class ChildWindow : public Wnd {
public:
    ChildWindow();
    ~ChildWindow() override;

    void Paint(HDC dc) override;
    void OnLButtonDown(LPARAM lParam) override;
    void OnRButtonDown(LPARAM lParam) override;
    void OnVScroll(WPARAM wParam) override;
    void OnLButtonDblClk() override;
    void OnKeyDown(WPARAM key, bool repeated) override;
    void OnSetFocus() override;
    void OnDestroy() override;
    LRESULT OnGetObject(WPARAM wParam, LPARAM lParam) override;
    void OnAppMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

    // Takes the navigator's scale: the font for it, and the row height and
    // character width it gives; images and the back buffer at the next paint.
    void SetScale(const Scale& scale);
    // Fits the navigator to the rows and sets the scroll range.
    void Relayout();
    // The row shown at a visible row index (0 is the first row), or none.
    Row FindRow(int target) const;
    // The same, and a row's index or -1, for a caller that holds the
    // views' lock and the root's (the scan's refresher reorders the root).
    Row FindRowLocked(int target) const;
    int RowOfLocked(Row row) const;
    // A row's index, or -1 when it is not shown.
    int RowOf(Row row) const;
    // The rows the pane shows whole (at least one).
    int RowsShown() const;
    // Whether a node's row is shown whole now, and a scroll just far enough
    // to show it.
    bool RowInView(Row row) const;
    void ShowRow(Row row);

    // Expands or collapses a folder's row, as its expander does. A press
    // clears the selection; a screen reader's action keeps it, but a row that
    // the collapse hides hands it to the folder, as a tree view does.
    void Toggle(FolderNode* folder, bool keepSelection);
    // Selects a row, in view, and tells screen readers.
    void SelectRow(Row row);
    // A screen reader's default action on a row, done on the window's own
    // loop (kDefaultActionMessage) unless the row has gone by then.
    bool PostDefaultAction(Row row);
    // The one way a change of the selection, whatever made it, reaches the
    // screen and screen readers: the selected row scrolled into view and
    // drawn, then the events.
    void SelectionChanged();
    // Where the parts of a row lie at the pane's width and scale.
    RowLayout Layout() const;
    // Tell accessibility clients that the selection moved to the selected
    // row (the focus moved too, while the pane has the keys), or that the
    // rows changed. Any thread; no lock may be held.
    void NotifySelection();
    void NotifyRowsChanged();

    HFONT font;  // the stock GUI font, or one made for the navigator's scale
    int rowHeight;
    int averageCharWidth;
    COLORREF background;
    HBRUSH brush;
    int rowTotal;

protected:
    void PaintWith(HDC dc) override;

private:
    MainWindow* Main() const;
    // Whether a row index is shown whole now.
    bool InView(int row) const;

    ListPainter painter_;
    Accessible::Holder accessible_;
    // Screen readers' default actions on their way to the window's loop: the
    // row each is for and the document's removals when it was asked
    // (Document::Removals), by the number its message carries. A reader may
    // ask several times before the loop runs; one asking more than the ring
    // holds finds its oldest requests dropped.
    struct PendingAction {
        unsigned number = 0;
        Row row;
        unsigned removals = 0;
    };
    PendingAction actions_[8];
    unsigned actionsAsked_ = 0;
};
