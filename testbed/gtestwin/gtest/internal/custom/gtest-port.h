// GoogleTest's customisation point, found before the stock (empty) header by
// the win64 tree's include order. The Windows trees use MinGW's win32 thread
// model, whose C++ runtime has no std::mutex or std::condition_variable;
// GoogleTest needs them only for Notification, which its own thread tests
// use and ours never do. Everything else of GoogleTest on Windows already
// uses Win32 critical sections.
#pragma once

#include <atomic>

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing {
namespace internal {

class Notification {
 public:
  Notification() = default;
  Notification(const Notification&) = delete;
  Notification& operator=(const Notification&) = delete;
  void Notify() { notified_.store(true); }
  void WaitForNotification() {
    while (!notified_.load()) {
    }
  }

 private:
  std::atomic<bool> notified_{false};
};

}  // namespace internal
}  // namespace testing
