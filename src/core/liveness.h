#pragma once
// Whether an object still exists, for code that runs on after a call that may have destroyed it:
// a callback, a message run or a tick handler may free the very object whose method called it.
// The object holds a Liveness; the code keeps a Watch taken before the call and asks it after.
#include <memory>

namespace quenvix::core {

class Liveness {
  public:
    class Watch {
      public:
        bool Alive() const noexcept { return !token_.expired(); }

      private:
        friend class Liveness;
        explicit Watch(std::weak_ptr<const int> token) : token_(std::move(token)) {}
        std::weak_ptr<const int> token_;
    };

    Liveness() = default;
    Liveness(const Liveness&) = delete;
    Liveness& operator=(const Liveness&) = delete;

    Watch Observe() const { return Watch(token_); }

  private:
    std::shared_ptr<const int> token_ = std::make_shared<const int>(0);
};

}  // namespace quenvix::core
