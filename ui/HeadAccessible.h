// The header strip as screen readers see it: a title bar named after the
// folder, whose value is the scan's state or its totals, with the close box
// as its one child, a push button.
#pragma once

#include "Accessible.h"

class HeadWindow;

class HeadAccessible : public Accessible {
public:
    explicit HeadAccessible(HeadWindow* header);

protected:
    long ChildCount() override { return 1; }
    bool Describe(long child, Facts* out) override;
    long ChildAt(POINT client) override;
    HRESULT DoDefaultAction(long child) override;

private:
    static constexpr long kCloseButton = 1;
    HeadWindow* header_;  // valid while connected: the window goes first
};
