#pragma once
// An in-memory registry for unit tests: a tree of keys below HKEY_CURRENT_USER and
// HKEY_LOCAL_MACHINE, key and value names compared without regard to ASCII case, values with
// their type and raw bytes, and switches that make key creation or value writes fail.
#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/ports/registry_backend.h"
#include "core/text.h"

namespace quenvix::test {

class MemoryRegistry : public core::RegistryBackend {
  public:
    MemoryRegistry() = default;
    MemoryRegistry(const MemoryRegistry&) = delete;
    MemoryRegistry& operator=(const MemoryRegistry&) = delete;

    // keyPath: backslash-separated, relative to HKEY_CURRENT_USER, e.g.
    // "Software\\Tarmel\\Quenvix\\Main". Missing keys are created.
    void PutString(std::string_view keyPath, std::string_view name, std::string_view text) {
        std::vector<std::uint8_t> bytes(text.begin(), text.end());
        bytes.push_back(0);
        PutRaw(keyPath, name, core::kRegSz, std::move(bytes));
    }
    void PutRaw(std::string_view keyPath, std::string_view name, std::uint32_t type,
                std::vector<std::uint8_t> bytes) {
        Put(&currentUser_, keyPath, name, type, std::move(bytes));
    }
    // Text of a REG_SZ or REG_EXPAND_SZ value up to its first NUL; nullopt when the value is
    // missing or of another type.
    std::optional<std::string> GetString(std::string_view keyPath, std::string_view name) const {
        const Stored* value = Find(keyPath, name);
        if (!value || (value->type != core::kRegSz && value->type != core::kRegExpandSz)) {
            return std::nullopt;
        }
        const auto nul = std::find(value->bytes.begin(), value->bytes.end(), std::uint8_t{0});
        return std::string(value->bytes.begin(), nul);
    }
    std::optional<std::pair<std::uint32_t, std::vector<std::uint8_t>>> GetRaw(
        std::string_view keyPath, std::string_view name) const {
        const Stored* value = Find(keyPath, name);
        if (!value) return std::nullopt;
        return std::make_pair(value->type, value->bytes);
    }
    bool HasKey(std::string_view keyPath) const {
        return Walk(const_cast<Node*>(&currentUser_), keyPath, false) != nullptr;
    }
    bool HasValue(std::string_view keyPath, std::string_view name) const {
        return Find(keyPath, name) != nullptr;
    }

    // Deletes a key with everything below it, as a registry cleaner would. Handles already open
    // on it stay valid handles of a deleted key: every use of them fails from then on.
    void DeleteKey(std::string_view keyPath) {
        const std::size_t cut = keyPath.rfind('\\');
        Node* parent = cut == std::string_view::npos
                           ? &currentUser_
                           : Walk(&currentUser_, keyPath.substr(0, cut), false);
        if (!parent) return;
        const auto it = parent->keys.find(
            core::AsciiLower(cut == std::string_view::npos ? keyPath : keyPath.substr(cut + 1)));
        if (it == parent->keys.end()) return;
        MarkDeleted(*it->second);
        deleted_.push_back(std::move(it->second));
        parent->keys.erase(it);
    }

    // Failure injection.
    int valueWrites = 0;  // every value write asked for, failed ones too

    void SetFailCreate(bool fail) { failCreate_ = fail; }  // creating keys fails
    void SetFailSet(bool fail) { failSet_ = fail; }        // setting values fails
    void FailNextSets(int count) { setsToFail_ = count; }  // only the next `count` do

    // Keys opened or created through the backend and not closed yet.
    std::size_t OpenHandleCount() const { return handles_.size(); }
    // Keys and values anywhere below HKEY_CURRENT_USER, to prove that nothing was written.
    std::size_t CurrentUserEntryCount() const { return CountEntries(currentUser_); }
    // Same as PutRaw, below HKEY_LOCAL_MACHINE.
    void PutMachineRaw(std::string_view keyPath, std::string_view name, std::uint32_t type,
                       std::vector<std::uint8_t> bytes) {
        Put(&localMachine_, keyPath, name, type, std::move(bytes));
    }

    // ---- core::RegistryBackend ----
    Key Root(core::RegistryRoot root) override {
        return root == core::RegistryRoot::CurrentUser ? kCurrentUser : kLocalMachine;
    }
    Key OpenKey(Key parent, std::string_view path, core::RegistryAccess) override {
        Node* base = NodeOf(parent);
        Node* node = base ? Walk(base, path, false) : nullptr;
        return node ? NewHandle(node) : kNoKey;
    }
    Key CreateKey(Key parent, std::string_view path) override {
        Node* base = NodeOf(parent);
        if (failCreate_ || !base) return kNoKey;
        Node* node = Walk(base, path, true);
        return node ? NewHandle(node) : kNoKey;
    }
    std::optional<core::RegistryValue> QueryValue(Key key, std::string_view name) override {
        Node* node = NodeOf(key);
        if (!node) return std::nullopt;
        const auto it = node->values.find(core::AsciiLower(name));
        if (it == node->values.end()) return std::nullopt;
        return core::RegistryValue{it->second.type, it->second.bytes};
    }
    bool SetValue(Key key, std::string_view name, std::uint32_t type,
                  std::span<const std::uint8_t> data) override {
        ++valueWrites;
        Node* node = NodeOf(key);
        if (setsToFail_ > 0) {
            --setsToFail_;
            return false;
        }
        if (failSet_ || !node) return false;
        node->values[core::AsciiLower(name)] = Stored{type, {data.begin(), data.end()}};
        return true;
    }
    void DeleteValue(Key key, std::string_view name) override {
        if (Node* node = NodeOf(key)) node->values.erase(core::AsciiLower(name));
    }
    std::vector<std::string> ValueNames(Key key) override {
        std::vector<std::string> names;
        if (Node* node = NodeOf(key)) {
            for (const auto& [name, value] : node->values) names.push_back(name);
        }
        return names;
    }
    void CloseKey(Key key) override { handles_.erase(key); }

  private:
    struct Stored {
        std::uint32_t type;
        std::vector<std::uint8_t> bytes;
    };
    struct Node {
        std::map<std::string, std::unique_ptr<Node>> keys;  // lower-cased names
        std::map<std::string, Stored> values;
        bool deleted = false;
    };
    static void MarkDeleted(Node& node) {
        node.deleted = true;
        for (auto& [name, child] : node.keys) MarkDeleted(*child);
    }
    static constexpr Key kCurrentUser = 1;
    static constexpr Key kLocalMachine = 2;

    Node* NodeOf(Key key) {
        if (key == kCurrentUser) return &currentUser_;
        if (key == kLocalMachine) return &localMachine_;
        const auto it = handles_.find(key);
        return it == handles_.end() || it->second->deleted ? nullptr : it->second;
    }
    Key NewHandle(Node* node) {
        const Key key = nextHandle_++;
        handles_[key] = node;
        return key;
    }
    // Follows `path` below `base`. As in the real registry, empty names (a leading, doubled or
    // trailing backslash) are refused; the empty path is `base` itself.
    static Node* Walk(Node* base, std::string_view path, bool create) {
        Node* node = base;
        while (!path.empty()) {
            const std::size_t cut = path.find('\\');
            const std::string name = core::AsciiLower(path.substr(0, cut));
            if (name.empty()) return nullptr;
            auto it = node->keys.find(name);
            if (it == node->keys.end()) {
                if (!create) return nullptr;
                it = node->keys.emplace(name, std::make_unique<Node>()).first;
            }
            node = it->second.get();
            if (cut == std::string_view::npos) break;
            path.remove_prefix(cut + 1);
            if (path.empty()) return nullptr;
        }
        return node;
    }
    static void Put(Node* root, std::string_view keyPath, std::string_view name, std::uint32_t type,
                    std::vector<std::uint8_t> bytes) {
        Node* node = Walk(root, keyPath, true);
        if (!node) throw std::invalid_argument("bad key path " + std::string(keyPath));
        node->values[core::AsciiLower(name)] = Stored{type, std::move(bytes)};
    }
    const Stored* Find(std::string_view keyPath, std::string_view name) const {
        const Node* node = Walk(const_cast<Node*>(&currentUser_), keyPath, false);
        if (!node) return nullptr;
        const auto it = node->values.find(core::AsciiLower(name));
        return it == node->values.end() ? nullptr : &it->second;
    }
    static std::size_t CountEntries(const Node& node) {
        std::size_t count = node.values.size();
        for (const auto& [name, child] : node.keys) count += 1 + CountEntries(*child);
        return count;
    }

    Node currentUser_;
    Node localMachine_;
    std::vector<std::unique_ptr<Node>> deleted_;  // kept for the handles still open on them
    std::map<Key, Node*> handles_;
    Key nextHandle_ = 100;
    bool failCreate_ = false;
    bool failSet_ = false;
    int setsToFail_ = 0;
};

}  // namespace quenvix::test
