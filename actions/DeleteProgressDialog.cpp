#include "DeleteProgressDialog.h"

#include <algorithm>

DWORD DeleteProgressDialog::delayMs = 1000;

DeleteProgressDialog::DeleteProgressDialog(HWND owner, uint64_t expected)
    : owner_(owner), expected_(expected), started_(GetTickCount()) {}

DeleteProgressDialog::~DeleteProgressDialog() {
    if (!dialog_) return;
    dialog_->StopProgressDialog();
    dialog_->Release();
}

bool DeleteProgressDialog::Step(uint64_t done) {
    DWORD now = GetTickCount();
    if (!dialog_) {
        if (tried_ || now - started_ < delayMs) return true;
        tried_ = true;
        if (FAILED(CoCreateInstance(CLSID_ProgressDialog, nullptr, CLSCTX_INPROC_SERVER, IID_IProgressDialog,
                                    reinterpret_cast<void**>(&dialog_)))) {
            dialog_ = nullptr;
            return true;
        }
        dialog_->SetTitle(L"Varnel");
        dialog_->SetLine(1, L"Deleting permanently...", FALSE, nullptr);
        if (FAILED(dialog_->StartProgressDialog(owner_, nullptr, PROGDLG_NORMAL | PROGDLG_AUTOTIME | PROGDLG_NOMINIMIZE,
                                                nullptr))) {
            dialog_->Release();
            dialog_ = nullptr;
            return true;
        }
    }
    // The bar moves a few times a second, not at every item.
    if (now - shownAt_ >= 100) {
        shownAt_ = now;
        dialog_->SetProgress64(done, std::max(expected_, done + 1));
    }
    return !dialog_->HasUserCancelled();
}
