#include "win/rule_storage.h"

#include <cstdint>
#include <utility>

namespace quenvix::win {
namespace {

// Remembers which values it read as rules: a save writes and removes those only, and every
// value it could not make sense of stays as it is.
class StorageOverSettings : public RuleStorage {
  public:
    StorageOverSettings(core::RuleValueNames names, core::RuleValueReader read,
                        core::RuleValueWriter& writer, core::RuleProblemReport report)
        : names_(std::move(names)),
          read_(std::move(read)),
          writer_(writer),
          report_(std::move(report)) {}
    std::vector<core::Rule> Load() override {
        core::StoredRules stored = core::ReadRules(names_, read_, report_);
        ours_ = std::move(stored.numbers);
        return std::move(stored.rules);
    }
    void Save(const std::vector<core::Rule>& rules) override {
        core::WriteRules(rules, names_(), ours_, writer_);
    }

  private:
    core::RuleValueNames names_;
    core::RuleValueReader read_;
    core::RuleValueWriter& writer_;
    core::RuleProblemReport report_;
    std::vector<std::uint32_t> ours_;
};

}  // namespace

std::unique_ptr<RuleStorage> RuleStorageOver(core::RuleValueNames names, core::RuleValueReader read,
                                             core::RuleValueWriter& writer,
                                             core::RuleProblemReport report) {
    return std::make_unique<StorageOverSettings>(std::move(names), std::move(read), writer,
                                                 std::move(report));
}

}  // namespace quenvix::win
