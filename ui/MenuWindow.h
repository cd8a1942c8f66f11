// The action popup: Open and Delete under the pointer.
#pragma once

#include "FolderNode.h"
#include "Images.h"
#include "Wnd.h"

class MainWindow;

class MenuWindow : public Wnd {
public:
    void Paint(HDC dc) override;
    void OnLButtonDown(LPARAM lParam) override;
    void OnMouseMove(WPARAM wParam, LPARAM lParam) override;
    void OnMouseLeave() override;
    // Shown, the popup has the keyboard: its keys are the navigator's.
    void OnKeyDown(WPARAM key, bool repeated) override;
    void ShowAt(POINT screen);
    // The image again at the next paint, at the navigator's scale then.
    void DropImages();

private:
    MainWindow* Main() const;
    PaneImage image_;
    // The row the popup was opened for, and the document's removals then
    // (Document::Removals).
    Row shownFor_;
    unsigned shownRemovals_ = 0;
};
