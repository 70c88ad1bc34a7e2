#pragma once
// Where the rules page gets the rules from and puts them back: the settings section "Rules", of
// which a save writes and removes only the values it read as rules.
#include <memory>
#include <vector>

#include "core/rules.h"

namespace quenvix::win {

// Where the page gets the rules from and puts them back.
class RuleStorage {
  public:
    virtual ~RuleStorage() = default;
    virtual std::vector<core::Rule> Load() = 0;
    // Throws when the rules cannot be stored; the page then keeps what it had.
    virtual void Save(const std::vector<core::Rule>& rules) = 0;
};

// The rules in the settings section "Rules": `names` lists its values and `read` reads one (as
// for core::ReadRules), `writer` writes it, `report` hears of each stored value that was skipped.
// `writer` must outlive the storage.
std::unique_ptr<RuleStorage> RuleStorageOver(core::RuleValueNames names, core::RuleValueReader read,
                                             core::RuleValueWriter& writer,
                                             core::RuleProblemReport report);

}  // namespace quenvix::win
