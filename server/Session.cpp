#include "Session.h"

#include <new>

#include "ItemPath.h"

namespace {

// After the close event: the main window signals it from its own destroy
// handler, and its panes get theirs right after, on the shell's thread.
constexpr DWORD kLingerMs = 1000;

}  // namespace

NavigatorSession::~NavigatorSession() {
    if (closed_) CloseHandle(closed_);
    if (invoker_) CloseHandle(invoker_);
}

DWORD NavigatorSession::Attributes(const std::wstring& path) {
    ItemPath exact;
    if (path.empty() || !exact.SetFolder(path.c_str())) return INVALID_FILE_ATTRIBUTES;
    return GetFileAttributesW(exact.Exact());
}

HWND NavigatorSession::Open(const std::wstring& folder, HINSTANCE instance) {
    auto* session = new (std::nothrow) NavigatorSession;
    if (!session) return nullptr;
    session->closed_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    session->invoker_ = OpenThread(SYNCHRONIZE, FALSE, GetCurrentThreadId());
    // The closer runs the session's last release, after which the host may
    // unload the module: the thread holds its own reference to the module
    // and lets go of it only as it exits.
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&Closer),
                       &session->module_);
    HANDLE thread = session->closed_ ? CreateThread(nullptr, 0, Closer, session, 0, nullptr) : nullptr;
    if (!thread) {
        if (session->module_) FreeLibrary(session->module_);
        delete session;
        return nullptr;
    }
    CloseHandle(thread);
    MainWindow& window = session->window_;
    window.document.path = folder;
    RECT ignored = {0, 0, 0, 0};
    bool created = window.Create(folder.c_str(), instance, ignored, WS_POPUP | WS_BORDER, nullptr,
                                 reinterpret_cast<Wnd*>(&session->closed_));
    // No navigator (one is open on this folder): nothing will ever close,
    // so the session ends now.
    if (created) return window.hwnd;
    if (!(window.hwnd && IsWindow(window.hwnd))) SetEvent(session->closed_);
    return nullptr;
}

DWORD WINAPI NavigatorSession::Closer(LPVOID param) {
    auto* session = static_cast<NavigatorSession*>(param);
    HANDLE ends[] = {session->closed_, session->invoker_};
    if (WaitForMultipleObjects(session->invoker_ ? 2 : 1, ends, FALSE, INFINITE) == WAIT_OBJECT_0 + 1)
        session->window_.Abandon();
    Sleep(kLingerMs);
    HMODULE module = session->module_;
    // Waits, here, for the scan's last thread, which a share may hold in a
    // listing long after the window went.
    delete session;
    if (module) FreeLibraryAndExitThread(module, 0);
    return 0;
}
