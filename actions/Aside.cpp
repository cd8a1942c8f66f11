#include "Aside.h"

#include <objbase.h>
#include <windows.h>

namespace {

DWORD WINAPI RunWork(LPVOID param) {
    bool com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    // Nothing thrown may leave the thread: it would end the shell's process.
    // The work says for itself what it could not do (a delete, for want of
    // memory, reports what stayed).
    try {
        (*static_cast<const std::function<void()>*>(param))();
    } catch (...) {
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

bool RunAside(const std::function<void()>& work) {
    HANDLE thread = CreateThread(nullptr, 0, RunWork, const_cast<std::function<void()>*>(&work), 0, nullptr);
    if (!thread) return false;
    PumpUntilEnded(thread);
    CloseHandle(thread);
    return true;
}
