// GoogleTest's customisation point, found before GoogleTest's own empty one.
//
// The compiler's win32 thread model has no std::mutex or
// std::condition_variable, on which GoogleTest builds its Notification (used
// only to start threads it creates for itself). This one is a Win32
// manual-reset event instead.
#pragma once

#include <windows.h>

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing {
namespace internal {

class Notification {
public:
    Notification() : m_event(::CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
    ~Notification() { ::CloseHandle(m_event); }
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;

    // Lets every thread waiting for it go on, now and later.
    void Notify() { ::SetEvent(m_event); }
    void WaitForNotification() { ::WaitForSingleObject(m_event, INFINITE); }

private:
    HANDLE m_event;
};

} // namespace internal
} // namespace testing
