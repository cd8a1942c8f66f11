// The folder list pane: the tree as rows with expanders, names, sizes and file
// counts, drawn through a back buffer from the top row the scroll bar holds.
#pragma once

#include <string>

#include "FolderNode.h"
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

    // Fits the navigator to the rows and sets the scroll range.
    void Relayout();
    // The node shown at a visible row index (0 is the first row), or none.
    FolderNode* FindRow(int target) const;

    HFONT font;
    int rowHeight;
    int averageCharWidth;
    COLORREF background;
    HBRUSH brush;
    int rowTotal;

protected:
    void PaintWith(HDC dc) override;

private:
    MainWindow* Main() const;
    void PaintRow(const FolderNode* node, int height);
    void PaintFrom(FolderNode* start, int height);
    bool PaintSubtree(const FolderNode* folder, int height);

    HBITMAP expanders_[4] = {};
    HDC expanderDCs_[4] = {};
    HGDIOBJ expanderOld_[4] = {};
    HDC backDC_ = nullptr;
    HBITMAP backBitmap_ = nullptr;
    HGDIOBJ backOld_ = nullptr;
    int backRight_ = 0, backBottom_ = 0;
    int paintY_ = 0;
    std::wstring nameText_;  // the row being painted; paints never overlap
};
