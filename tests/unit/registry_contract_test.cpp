// The registry port's contract, run against every backend the core may be given: the in-memory
// registry the other tests use and the file that holds a portable copy's settings. What the
// settings store sees (types, names, failures, its error texts) must not depend on which it is.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/error.h"
#include "core/file_registry.h"
#include "core/settings_store.h"
#include "error_of.h"
#include "fakes/memory_registry.h"
#include "fakes/memory_settings_file.h"

namespace quenvix::core {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::string_view kStorePath = "\\Software\\Tarmel\\Quenvix\\";

struct MemoryBackend {
    test::MemoryRegistry registry;
    RegistryBackend& Backend() { return registry; }
    void DeleteKeyFromOutside(std::string_view path) { registry.DeleteKey(path); }
    void FailWrites() { registry.SetFailSet(true); }
};

struct FileBackend {
    test::MemorySettingsFile file;
    FileRegistry registry{file};
    RegistryBackend& Backend() { return registry; }
    // A person (or another process) removes the key's sections from the file.
    void DeleteKeyFromOutside(std::string_view path) {
        auto document = FileRegistry::Parse(file.text);
        const std::string lower = AsciiLower(path);
        std::erase_if(document.sections, [&](const FileRegistry::Section& s) {
            const std::string p = AsciiLower(s.path);
            return !p.empty() && (p == lower || p.starts_with(lower + "\\"));
        });
        file.text = FileRegistry::Format(document);
    }
    void FailWrites() { file.failReplace = true; }
};

template <class Fixture>
class RegistryContract : public ::testing::Test {
  protected:
    Fixture fixture;
    RegistryBackend& backend = fixture.Backend();
    RegistryBackend::Key user = backend.Root(RegistryRoot::CurrentUser);

    UniqueRegistryKey Create(std::string_view path) {
        return UniqueRegistryKey(backend, backend.CreateKey(user, path));
    }
    UniqueRegistryKey Open(std::string_view path) {
        return UniqueRegistryKey(backend, backend.OpenKey(user, path, RegistryAccess::All));
    }
    bool Set(const UniqueRegistryKey& key, std::string_view name, std::uint32_t type, Bytes data) {
        return backend.SetValue(key.Get(), name, type, data);
    }
};

using Backends = ::testing::Types<MemoryBackend, FileBackend>;
TYPED_TEST_SUITE(RegistryContract, Backends);

TYPED_TEST(RegistryContract, ValuesComeBackWithTheirTypeAndEveryByte) {
    auto key = this->Create("Software\\Tarmel\\Quenvix\\Main");
    ASSERT_TRUE(key);
    const std::vector<std::pair<std::uint32_t, Bytes>> values = {
        {kRegSz, {'H', 0xc3, 0xa9, '"', '\\', '=', 0}},  // UTF-8, quote, backslash, its NUL
        {kRegSz, {'a', 0, 'b', 0}},                      // a NUL inside
        {kRegSz, {'n', 'o', ' ', 'n', 'u', 'l'}},        // none at the end
        {kRegExpandSz, {'%', 'x', '%', 0}},
        {kRegMultiSz, {'a', 0, 'b', 0, 0}},
        {kRegDword, {1, 2, 3, 4}},
        {kRegQword, {0, 0, 0, 0, 0, 0, 0xe4, 0x40}},
        {kRegBinary, {0, '\n', 0xff}},
        {kRegBinary, {}},
        {kRegDword, {1, 2}},  // a DWORD of the wrong size, as a damaged registry may hold
        {kRegNone, {7}},
    };
    for (std::size_t i = 0; i < values.size(); ++i) {
        ASSERT_TRUE(this->Set(key, "v" + std::to_string(i), values[i].first, values[i].second))
            << i;
    }
    auto again = this->Open("software\\TARMEL\\quenvix\\main");
    ASSERT_TRUE(again);
    for (std::size_t i = 0; i < values.size(); ++i) {
        const auto read = this->backend.QueryValue(again.Get(), "V" + std::to_string(i));
        ASSERT_TRUE(read) << i;
        EXPECT_EQ(read->type, values[i].first) << i;
        EXPECT_EQ(read->data, values[i].second) << i;
    }
    EXPECT_EQ(this->backend.ValueNames(again.Get()).size(), values.size());
}

TYPED_TEST(RegistryContract, KeysExistOnlyOnceCreatedAndBadPathsAreRefused) {
    EXPECT_FALSE(this->Open("Software\\Tarmel"));
    auto key = this->Create("Software\\Tarmel\\Quenvix");
    ASSERT_TRUE(key);
    EXPECT_TRUE(this->Open("Software\\Tarmel"));  // a parent exists with its child
    EXPECT_TRUE(this->Open("Software\\Tarmel\\Quenvix"));
    EXPECT_FALSE(this->Open("Software\\Tarmel\\Quenvix\\Main"));
    for (const char* bad : {"Software\\\\Tarmel", "\\Software", "Software\\"}) {
        EXPECT_EQ(this->backend.CreateKey(this->user, bad), RegistryBackend::kNoKey) << bad;
        EXPECT_EQ(this->backend.OpenKey(this->user, bad, RegistryAccess::Read),
                  RegistryBackend::kNoKey)
            << bad;
    }
    // Below an open key, and the empty path opens the key again.
    auto child = UniqueRegistryKey(this->backend, this->backend.CreateKey(key.Get(), "Rules\\0"));
    ASSERT_TRUE(child);
    EXPECT_TRUE(this->Open("Software\\Tarmel\\Quenvix\\Rules\\0"));
    EXPECT_TRUE(UniqueRegistryKey(this->backend,
                                  this->backend.OpenKey(key.Get(), "", RegistryAccess::Read)));
}

TYPED_TEST(RegistryContract, DeletedValuesAndMissingOnesAreNoError) {
    auto key = this->Create("Software\\Tarmel\\Quenvix\\Main");
    ASSERT_TRUE(this->Set(key, "Keep", kRegSz, {'k', 0}));
    ASSERT_TRUE(this->Set(key, "Drop", kRegSz, {'d', 0}));
    this->backend.DeleteValue(key.Get(), "DROP");
    this->backend.DeleteValue(key.Get(), "never there");
    EXPECT_FALSE(this->backend.QueryValue(key.Get(), "Drop"));
    const auto names = this->backend.ValueNames(key.Get());
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(AsciiLower(names[0]), "keep");
    // Writing a value again replaces it: one name, the new data.
    ASSERT_TRUE(this->Set(key, "keep", kRegDword, {9, 0, 0, 0}));
    EXPECT_EQ(this->backend.ValueNames(key.Get()).size(), 1u);
    EXPECT_EQ(this->backend.QueryValue(key.Get(), "Keep")->type, kRegDword);
}

TYPED_TEST(RegistryContract, AKeyDeletedUnderAnOpenHandleFailsUntilCreatedAgain) {
    auto key = this->Create("Software\\Tarmel\\Quenvix\\Main");
    ASSERT_TRUE(this->Set(key, "A", kRegSz, {'a', 0}));
    this->fixture.DeleteKeyFromOutside("Software\\Tarmel\\Quenvix");
    EXPECT_FALSE(this->backend.QueryValue(key.Get(), "A"));
    EXPECT_FALSE(this->Set(key, "B", kRegSz, {'b', 0}));
    EXPECT_FALSE(this->Open("Software\\Tarmel\\Quenvix\\Main"));
    auto fresh = this->Create("Software\\Tarmel\\Quenvix\\Main");
    EXPECT_TRUE(this->Set(fresh, "B", kRegSz, {'b', 0}));
}

TYPED_TEST(RegistryContract, TheSettingsStoreSaysTheSameWhateverHoldsItsValues) {
    SettingsStore store(this->backend, kStorePath);
    EXPECT_EQ(store.ReadString("Main", "Missing", "default"), "default");
    store.WriteString("Main", "Update", "https://example.org/x");
    store.WriteBool("Main", "Startup", true);
    EXPECT_EQ(store.ReadString("Main", "Update", ""), "https://example.org/x");
    EXPECT_TRUE(store.ReadBool("Main", "Startup", false));
    // A value of a type the store does not expect: the damaged-value message.
    auto main = this->Open("Software\\Tarmel\\Quenvix\\Main");
    ASSERT_TRUE(this->Set(main, "Startup", kRegBinary, {1}));
    EXPECT_EQ(test::ErrorOf([&] { store.ReadBool("Main", "Startup", false); }),
              "Invalid data type for 'Startup'");
    // A write that cannot be done: the same message, and the value as it was.
    this->fixture.FailWrites();
    EXPECT_EQ(test::ErrorOf([&] { store.WriteString("Main", "Update", "https://lost.example"); }),
              "Failed to set data for 'Update'");
    EXPECT_EQ(store.ReadString("Main", "Update", ""), "https://example.org/x");
}

}  // namespace
}  // namespace quenvix::core
