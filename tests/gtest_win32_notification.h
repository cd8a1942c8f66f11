// GoogleTest's Notification uses std::mutex, which MinGW's win32 thread model
// lacks; this one, on a Win32 event, stands in for it. Force-included into the
// GoogleTest build and the tests.
#pragma once
#define GTEST_HAS_NOTIFICATION_ 1
#include <windows.h>

namespace testing {
namespace internal {

class Notification {
public:
    Notification() : event_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    ~Notification() { CloseHandle(event_); }
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;
    void Notify() { SetEvent(event_); }
    void WaitForNotification() { WaitForSingleObject(event_, INFINITE); }

private:
    HANDLE event_;
};

}  // namespace internal
}  // namespace testing
