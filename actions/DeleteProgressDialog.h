// The platform's progress dialog over a long delete: it comes up only once
// the delete has taken about a second, so that a short one shows nothing,
// and its Cancel stops the delete between two items. Made, driven and
// released on the delete's own thread.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <cstdint>

#include "HandleDelete.h"

class DeleteProgressDialog : public DeleteProgress {
public:
    // `expected`: about how many items the delete takes (the row's count).
    DeleteProgressDialog(HWND owner, uint64_t expected);
    ~DeleteProgressDialog();
    DeleteProgressDialog(const DeleteProgressDialog&) = delete;
    DeleteProgressDialog& operator=(const DeleteProgressDialog&) = delete;

    bool Step(uint64_t done) override;

    // How long a delete runs before the dialog comes up.
    static DWORD delayMs;

private:
    HWND owner_;
    uint64_t expected_;
    DWORD started_;
    DWORD shownAt_ = 0;
    IProgressDialog* dialog_ = nullptr;
    bool tried_ = false;
};
