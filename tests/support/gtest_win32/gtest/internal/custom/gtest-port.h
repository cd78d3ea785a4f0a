// gtest-port.h -- GoogleTest's hook for platform replacements, used in the Windows builds.
//
// The Windows programs are built with the win32 thread model, whose libstdc++ has no std::mutex
// or std::condition_variable. GoogleTest locks with the Win32 API on Windows already; only its
// Notification (a one-shot start signal for its helper threads) is built on std::mutex. This one
// waits on a Win32 event instead.

#pragma once

namespace testing {
namespace internal {

class Notification {
public:
    Notification();
    ~Notification();
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;

    void Notify();
    void WaitForNotification();

private:
    void* event_;  // a manual-reset event
};

}  // namespace internal
}  // namespace testing

#define GTEST_HAS_NOTIFICATION_ 1
