// The version is written once, in project() of CMakeLists.txt; what the program shows and sends
// with its update request must be that version, read here from the file itself rather than from the
// build, so that a header left behind by an older configuration or a hand-edited copy is caught.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "core/command_line.h"
#include "core/product.h"

namespace quenvix::core {
namespace {

std::string ProjectVersion() {
    std::ifstream file(std::string(QUENVIX_SOURCE_DIR) + "/CMakeLists.txt");
    std::stringstream text;
    text << file.rdbuf();
    const std::string content = text.str();
    std::smatch match;
    const std::regex project(R"(project\s*\(\s*Quenvix\s+VERSION\s+([0-9][0-9.]*))");
    if (!std::regex_search(content, match, project)) return {};
    return match[1].str();
}

TEST(Version, TheProgramShowsTheVersionOfProject) {
    const std::string version = ProjectVersion();
    ASSERT_FALSE(version.empty()) << "no project(Quenvix VERSION ...) in CMakeLists.txt";
    EXPECT_EQ(kVersion, version);
    EXPECT_EQ(VersionText(), "Quenvix " + version);
    EXPECT_EQ(kMainCaption, "Quenvix Classic version " + version + " (Freeware)");
}

}  // namespace
}  // namespace quenvix::core
