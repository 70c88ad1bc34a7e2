#pragma once
// The program's one exception type: it carries the message the user is shown.
#include <stdexcept>
#include <string>

namespace quenvix::core {

class Error : public std::runtime_error {
  public:
    explicit Error(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace quenvix::core
