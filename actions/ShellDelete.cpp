#include "ShellDelete.h"

#include <objbase.h>
#include <shellapi.h>

#include <cstring>

#include "BoxGuard.h"

namespace {

constexpr size_t kPathBuffer = 1024;

struct Call {
    const wchar_t* paths;
    HWND owner;
    const std::function<bool()>* stillSafe;
};

DWORD WINAPI RunShell(LPVOID param) {
    auto* call = static_cast<Call*>(param);
    bool com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    {
        BoxGuard guard(call->owner, *call->stillSafe);
        if (guard.Watching()) {
            SHFILEOPSTRUCTW operation{};
            operation.hwnd = call->owner;
            operation.wFunc = FO_DELETE;
            operation.pFrom = call->paths;
            // Where the item cannot go to the Recycle Bin, the shell asks
            // before it destroys it instead of doing so without a word.
            operation.fFlags = FOF_ALLOWUNDO | FOF_NOCONFIRMATION | FOF_WANTNUKEWARNING;
            SHFileOperationW(&operation);
        }
    }
    if (com) CoUninitialize();
    return 0;
}

// Dispatches the thread's messages until the thread ends; a WM_QUIT seen
// meanwhile is posted again for the loop outside.
void PumpUntilEnded(HANDLE thread) {
    bool quit = false;
    int code = 0;
    while (MsgWaitForMultipleObjectsEx(1, &thread, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE) == WAIT_OBJECT_0 + 1) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                quit = true;
                code = static_cast<int>(message.wParam);
                continue;
            }
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    if (quit) PostQuitMessage(code);
}

}  // namespace

void ShellDelete(const std::wstring& path, HWND owner, const std::function<bool()>& stillSafe) {
    // The list of paths the shell takes ends with two zeros; the fresh page
    // supplies the second. It stays read-only while the shell works on it.
    if ((path.size() + 2) * sizeof(wchar_t) > kPathBuffer) return;
    auto* buffer = static_cast<wchar_t*>(VirtualAlloc(nullptr, kPathBuffer, MEM_COMMIT, PAGE_READWRITE));
    if (!buffer) return;
    memcpy(buffer, path.c_str(), (path.size() + 1) * sizeof(wchar_t));
    DWORD former = 0;
    VirtualProtect(buffer, kPathBuffer, PAGE_READONLY, &former);
    Call call{buffer, owner, &stillSafe};
    HANDLE thread = CreateThread(nullptr, 0, RunShell, &call, 0, nullptr);
    if (thread) {
        PumpUntilEnded(thread);
        CloseHandle(thread);
    }
    DWORD ignored;
    VirtualProtect(buffer, kPathBuffer, former, &ignored);
    VirtualFree(buffer, 0, MEM_RELEASE);
}
