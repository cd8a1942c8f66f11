#include "ShellDelete.h"

#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <cstring>

#include "BoxGuard.h"

namespace {

constexpr size_t kPathBuffer = 1024;

// Sees each item before the shell acts on it. The shell marks an item it
// will recycle; one without the mark it would destroy, so the operation is
// stopped there and the question becomes the caller's.
class RecycleSink : public IFileOperationProgressSink {
public:
    explicit RecycleSink(const std::function<bool()>& stillSafe) : stillSafe_(stillSafe) {}
    bool cannotRecycle = false, refused = false;
    HRESULT failure = S_OK;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (iid != IID_IUnknown && iid != IID_IFileOperationProgressSink) {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        *out = static_cast<IFileOperationProgressSink*>(this);
        return S_OK;
    }
    // It lives on the stack of the call that advises it, past the operation.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE PreDeleteItem(DWORD flags, IShellItem*) override {
        if (!stillSafe_()) {
            refused = true;
            return E_ABORT;
        }
        if (!(flags & TSF_DELETE_RECYCLE_IF_POSSIBLE)) {
            cannotRecycle = true;
            return E_ABORT;
        }
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE PostDeleteItem(DWORD, IShellItem*, HRESULT result, IShellItem*) override {
        if (FAILED(result) && result != E_ABORT && failure == S_OK) failure = result;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE StartOperations() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE FinishOperations(HRESULT) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE PreRenameItem(DWORD, IShellItem*, LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE PostRenameItem(DWORD, IShellItem*, LPCWSTR, HRESULT, IShellItem*) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE PreMoveItem(DWORD, IShellItem*, IShellItem*, LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE PostMoveItem(DWORD, IShellItem*, IShellItem*, LPCWSTR, HRESULT, IShellItem*) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE PreCopyItem(DWORD, IShellItem*, IShellItem*, LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE PostCopyItem(DWORD, IShellItem*, IShellItem*, LPCWSTR, HRESULT, IShellItem*) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE PreNewItem(DWORD, IShellItem*, LPCWSTR) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE PostNewItem(DWORD, IShellItem*, LPCWSTR, LPCWSTR, DWORD, HRESULT, IShellItem*) override {
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE UpdateProgress(UINT, UINT) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ResetTimer() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE PauseTimer() override { return S_OK; }
    HRESULT STDMETHODCALLTYPE ResumeTimer() override { return S_OK; }

private:
    const std::function<bool()>& stillSafe_;
};

// The question the shell would have asked; the answer is held to the same check.
bool ConfirmPermanent(const std::wstring& path, HWND owner, const std::function<bool()>& stillSafe) {
    std::wstring text = L"\"" + path.substr(path.find_last_of(L'\\') + 1) +
                        L"\" cannot be moved to the Recycle Bin.\n\nDo you want to delete it permanently?";
    return MessageBoxW(owner, text.c_str(), L"Varnel", MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2) == IDYES &&
           stillSafe();
}

// The shell's file operation object, where it works (not under Wine, whose
// methods are stubs): false in `available` otherwise.
Recycling ByFileOperation(const std::wstring& path, HWND owner, const std::function<bool()>& stillSafe,
                          DWORD* error, bool* available) {
    *available = false;
    IFileOperation* operation = nullptr;
    if (FAILED(CoCreateInstance(CLSID_FileOperation, nullptr, CLSCTX_ALL, IID_IFileOperation,
                                reinterpret_cast<void**>(&operation))))
        return Recycling::declined;
    // No error box: what could not be removed is reported afterwards, with
    // the row as it then is. The nuke warning stays as a last guard, should
    // the shell ever destroy an item it did not mark as not recyclable.
    HRESULT result = operation->SetOperationFlags(FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_WANTNUKEWARNING |
                                                  FOF_NOERRORUI | FOFX_RECYCLEONDELETE);
    if (result == E_NOTIMPL) {
        operation->Release();
        return Recycling::declined;
    }
    *available = true;
    RecycleSink sink(stillSafe);
    IShellItem* item = nullptr;
    DWORD cookie = 0;
    bool ran = SUCCEEDED(result) && SUCCEEDED(operation->SetOwnerWindow(owner)) &&
               SUCCEEDED(SHCreateItemFromParsingName(path.c_str(), nullptr, IID_IShellItem,
                                                     reinterpret_cast<void**>(&item))) &&
               SUCCEEDED(operation->Advise(&sink, &cookie));
    if (ran) {
        if (SUCCEEDED(operation->DeleteItem(item, nullptr))) operation->PerformOperations();
        operation->Unadvise(cookie);
    }
    if (item) item->Release();
    operation->Release();
    if (!ran || sink.refused) return Recycling::declined;
    if (sink.cannotRecycle)
        return ConfirmPermanent(path, owner, stillSafe) ? Recycling::permanent : Recycling::declined;
    if (FAILED(sink.failure)) *error = HRESULT_FACILITY(sink.failure) == FACILITY_WIN32 ? HRESULT_CODE(sink.failure)
                                                                                       : static_cast<DWORD>(sink.failure);
    return Recycling::taken;
}

// Where the file operation object is a stub: the older call, with the nuke
// warning. Every box it shows is that question (it recycles whole, or asks
// first), and the guard takes a checked Yes for its own, so that the shell
// hears Cancel and removes nothing itself.
Recycling ByOlderCall(const std::wstring& path, HWND owner, const std::function<bool()>& stillSafe, DWORD* error) {
    // The list of paths the shell takes ends with two zeros; the fresh page
    // supplies the second. It stays read-only while the shell works on it.
    if ((path.size() + 2) * sizeof(wchar_t) > kPathBuffer) return Recycling::declined;
    auto* buffer = static_cast<wchar_t*>(VirtualAlloc(nullptr, kPathBuffer, MEM_COMMIT, PAGE_READWRITE));
    if (!buffer) return Recycling::declined;
    memcpy(buffer, path.c_str(), (path.size() + 1) * sizeof(wchar_t));
    DWORD former = 0;
    VirtualProtect(buffer, kPathBuffer, PAGE_READONLY, &former);
    Recycling outcome = Recycling::declined;
    {
        BoxGuard guard(owner, stillSafe);
        if (guard.Watching()) {
            SHFILEOPSTRUCTW operation{};
            operation.hwnd = owner;
            operation.wFunc = FO_DELETE;
            operation.pFrom = buffer;
            operation.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_WANTNUKEWARNING;
            int result = SHFileOperationW(&operation);
            if (guard.Confirmed()) {
                outcome = Recycling::permanent;
            } else if (!guard.Answered()) {
                outcome = Recycling::taken;
                if (result != 0) *error = static_cast<DWORD>(result);
            }
        }
    }
    DWORD ignored;
    VirtualProtect(buffer, kPathBuffer, former, &ignored);
    VirtualFree(buffer, 0, MEM_RELEASE);
    return outcome;
}

}  // namespace

Recycling RecycleItem(const std::wstring& path, HWND owner, const std::function<bool()>& stillSafe, DWORD* error) {
    bool available = false;
    Recycling outcome = ByFileOperation(path, owner, stillSafe, error, &available);
    return available ? outcome : ByOlderCall(path, owner, stillSafe, error);
}
