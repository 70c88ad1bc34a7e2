#pragma once
// Who else needs to know what is hidden right now: the shell's crash handler keeps its own copy
// of the list (it must not allocate or take locks when the process is falling over), and the user
// must hear once that the recovery record could not be written.
#include <vector>

#include "core/recovery.h"

namespace quenvix::core {

class HiddenListObserver {
  public:
    virtual ~HiddenListObserver() = default;
    // After every change of the hidden list, with the whole list in hiding order, as the
    // recovery record holds it.
    virtual void HiddenListChanged(const std::vector<RecoveryEntry>& entries) = 0;
    // The recovery record could not be written. Called at every failure; telling the user only
    // once is the observer's business.
    virtual void RecoveryWriteFailed() = 0;
};

}  // namespace quenvix::core
