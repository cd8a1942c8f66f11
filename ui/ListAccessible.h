// The list pane as screen readers see it: an outline whose children are the
// rows the current expansion shows, in display order, as simple elements
// (child id = row index + 1).
#pragma once

#include "Accessible.h"
#include "FolderNode.h"

class ChildWindow;

class ListAccessible : public Accessible {
public:
    explicit ListAccessible(ChildWindow* pane);

protected:
    long ChildCount() override;
    bool Describe(long child, Facts* out) override;
    long ChildAt(POINT client) override;
    long FocusedChild() override;
    long SelectedChild() override;
    HRESULT Select(long child, long flags) override;
    HRESULT DoDefaultAction(long child) override;

private:
    // The row of a child id, read as the pane's paint reads the tree: under
    // the views' lock and the root's, which the caller holds.
    Row RowLocked(long child) const;
    ChildWindow* pane_;  // valid while connected: the window goes first
};
