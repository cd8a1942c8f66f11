// Draws the list pane's rows from the top row down: into a back buffer of the
// pane's size, which reaches the screen in one copy, so that the repaints of
// the scan ten times a second never flicker.
#pragma once

#include <windows.h>

#include <string>

#include "FolderNode.h"
#include "Images.h"
#include "RowLayout.h"

class ChildWindow;

class ListPainter {
public:
    ListPainter() = default;
    ~ListPainter() { DropBuffer(); }
    ListPainter(const ListPainter&) = delete;
    ListPainter& operator=(const ListPainter&) = delete;

    // The pane's rows as they stand, in the pane's DC `dc`. The caller holds
    // the views' lock: paints never overlap.
    void Paint(HDC dc, const ChildWindow& pane);
    // Images and the buffer (which holds the pane's font) again at the next paint.
    void Drop();

private:
    void PaintRow(const ChildWindow& pane, const RowLayout& layout, Row node);
    // The row's name from `left`, cut with an ellipsis where it would pass `limit`.
    void PaintName(int left, int limit);
    // A flattened row's level, in figures ending at `right`.
    void PaintLevel(int right, int level);
    void DropBuffer();

    PaneImage expanders_[4];
    HDC buffer_ = nullptr;
    HBITMAP bitmap_ = nullptr;
    HGDIOBJ old_ = nullptr, oldFont_ = nullptr;
    int right_ = 0, bottom_ = 0;  // the pane's edges the buffer was made for
    int y_ = 0;                   // where the next row goes
    std::wstring name_;           // the row being painted
    std::wstring cut_;            // its name as cut to fit
};
