// Start-up guards: a marker that cannot be made means another copy, and the recovery record's
// per-session value.
#include "win/app.h"

#include <gtest/gtest.h>

#include <atomic>
#include <regex>
#include <thread>

#include "core/product.h"

namespace quenvix::win {
namespace {

TEST(RecoveryValue, IsNamedAfterThisSession) {
    DWORD session = 99;
    ASSERT_TRUE(ProcessIdToSessionId(GetCurrentProcessId(), &session));
    EXPECT_EQ(RecoveryValueName(), "Windows." + std::to_string(session));
}

// Answers the "already running" box that a refused start shows, and counts it.
class BoxAnswerer {
  public:
    explicit BoxAnswerer(const std::wstring& title)
        : thread_([this, title] {
              while (!stop_) {
                  if (HWND box = FindWindowW(L"#32770", title.c_str())) {
                      ++boxes_;
                      PostMessageW(box, WM_COMMAND, IDOK, 0);
                      while (!stop_ && IsWindow(box)) Sleep(10);
                  }
                  Sleep(10);
              }
          }) {}
    ~BoxAnswerer() {
        stop_ = true;
        thread_.join();
    }
    int Boxes() const { return boxes_; }

  private:
    std::atomic<bool> stop_ = false;
    std::atomic<int> boxes_ = 0;
    std::thread thread_;
};

TEST(SingleInstance, ANameHeldByAnotherKindOfObjectCountsAsAnotherCopy) {
    const std::wstring name = L"QuenvixInstanceTest" + std::to_wstring(GetCurrentProcessId());
    // Another kind of object under the name: the mapping cannot be made (ERROR_INVALID_HANDLE).
    UniqueHandle squatter(CreateEventW(nullptr, FALSE, FALSE, name.c_str()));
    ASSERT_TRUE(squatter);
    AppWindow app;
    BoxAnswerer answerer(name);
    EXPECT_FALSE(CheckSingleInstance(name, app));
    EXPECT_EQ(answerer.Boxes(), 1) << "the user is told, as for a second copy";
}

}  // namespace
}  // namespace quenvix::win
