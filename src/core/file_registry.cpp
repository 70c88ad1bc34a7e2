#include "core/file_registry.h"

#include <algorithm>

#include "core/text.h"

namespace quenvix::core {
namespace {

bool SamePath(std::string_view a, std::string_view b) {
    return AsciiLower(a) == AsciiLower(b);
}

}  // namespace

const FileRegistry::Handle* FileRegistry::Find(Key key) const {
    const auto it = handles_.find(key);
    return it == handles_.end() ? nullptr : &it->second;
}

RegistryBackend::Key FileRegistry::NewHandle(Handle handle) {
    const Key key = nextHandle_++;
    handles_.emplace(key, std::move(handle));
    return key;
}

std::optional<std::string> FileRegistry::Join(std::string joined, std::string_view path) {
    while (!path.empty()) {
        const std::size_t cut = path.find('\\');
        const std::string_view name = path.substr(0, cut);
        // As in the registry: empty names (a leading, doubled or trailing backslash) are refused.
        if (name.empty()) return std::nullopt;
        if (!joined.empty()) joined += '\\';
        joined += name;
        if (cut == std::string_view::npos) break;
        path.remove_prefix(cut + 1);
        if (path.empty()) return std::nullopt;
    }
    return joined;
}

bool FileRegistry::KeyExists(const Document& document, std::string_view path) {
    if (path.empty()) return true;
    const std::string lower = AsciiLower(path);
    return std::any_of(
        document.sections.begin() + 1, document.sections.end(), [&](const Section& section) {
            const std::string other = AsciiLower(section.path);
            return other == lower || (other.size() > lower.size() && other.starts_with(lower) &&
                                      other[lower.size()] == '\\');
        });
}

FileRegistry::Section* FileRegistry::FindSection(Document& document, std::string_view path) {
    if (path.empty()) return &document.sections.front();
    for (auto it = document.sections.begin() + 1; it != document.sections.end(); ++it) {
        if (SamePath(it->path, path)) return &*it;
    }
    return nullptr;
}

RegistryBackend::Key FileRegistry::Root(RegistryRoot root) {
    return root == RegistryRoot::CurrentUser ? kCurrentUser : kLocalMachine;
}

RegistryBackend::Key FileRegistry::OpenKey(Key parent, std::string_view path,
                                           RegistryAccess access) {
    Handle base;
    if (parent == kLocalMachine || parent == kCurrentUser) {
        base.machine = parent == kLocalMachine;
        if (base.machine) {
            if (!machine_) return kNoKey;
            base.machineKey = machine_->Root(RegistryRoot::LocalMachine);
        }
    } else if (const Handle* found = Find(parent)) {
        base = *found;
    } else {
        return kNoKey;
    }
    if (base.machine) {
        // The machine's keys are only ever read.
        const Key key = machine_->OpenKey(base.machineKey, path, RegistryAccess::Read);
        return key == kNoKey ? kNoKey : NewHandle(Handle{true, key, {}});
    }
    static_cast<void>(access);
    auto joined = Join(base.path, path);
    if (!joined || !KeyExists(Load(), *joined)) return kNoKey;
    return NewHandle(Handle{false, kNoKey, std::move(*joined)});
}

RegistryBackend::Key FileRegistry::CreateKey(Key parent, std::string_view path) {
    const auto base = UserPath(parent);
    if (!base) return kNoKey;
    auto joined = Join(*base, path);
    if (!joined) return kNoKey;
    Document document = Load();
    if (!KeyExists(document, *joined)) {
        document.sections.push_back(Section{*joined, {}});
        if (!Store(document)) return kNoKey;
    }
    return NewHandle(Handle{false, kNoKey, std::move(*joined)});
}

std::optional<std::string> FileRegistry::UserPath(Key key) const {
    if (key == kCurrentUser) return std::string();
    const Handle* handle = Find(key);
    if (!handle || handle->machine) return std::nullopt;
    return handle->path;
}

std::optional<RegistryValue> FileRegistry::QueryValue(Key key, std::string_view name) {
    const Handle* handle = Find(key);
    if (handle && handle->machine) return machine_->QueryValue(handle->machineKey, name);
    const auto path = UserPath(key);
    if (!path) return std::nullopt;
    Document document = Load();
    Section* section = FindSection(document, *path);
    if (!section) return std::nullopt;
    for (const Entry& entry : section->entries) {
        if (entry.name && SamePath(*entry.name, name)) return entry.value;
    }
    return std::nullopt;
}

bool FileRegistry::SetValue(Key key, std::string_view name, std::uint32_t type,
                            std::span<const std::uint8_t> data) {
    const auto userPath = UserPath(key);
    if (!userPath) return false;
    const std::string& path = *userPath;
    Document document = Load();
    // A key deleted under us stays deleted: the write fails, as it does in the registry.
    if (!KeyExists(document, path)) return false;
    Section* section = FindSection(document, path);
    if (!section) {
        // The key exists only as the parent of others: it gets a section of its own.
        document.sections.push_back(Section{path, {}});
        section = &document.sections.back();
    }
    Entry fresh{std::string(name), RegistryValue{type, {data.begin(), data.end()}}, {}, false};
    const auto it = std::find_if(section->entries.begin(), section->entries.end(),
                                 [&](const Entry& e) { return e.name && SamePath(*e.name, name); });
    if (it == section->entries.end()) {
        section->entries.push_back(std::move(fresh));
    } else {
        fresh.name = it->name;  // the name keeps the spelling it has in the file
        *it = std::move(fresh);
    }
    return Store(document);
}

void FileRegistry::DeleteValue(Key key, std::string_view name) {
    const auto path = UserPath(key);
    if (!path) return;
    Document document = Load();
    Section* section = FindSection(document, *path);
    if (!section) return;
    const auto removed = std::erase_if(
        section->entries, [&](const Entry& e) { return e.name && SamePath(*e.name, name); });
    if (removed > 0) Store(document);
}

std::vector<std::string> FileRegistry::ValueNames(Key key) {
    const Handle* handle = Find(key);
    if (handle && handle->machine) return machine_->ValueNames(handle->machineKey);
    std::vector<std::string> names;
    const auto path = UserPath(key);
    if (!path) return names;
    Document document = Load();
    if (Section* section = FindSection(document, *path)) {
        for (const Entry& entry : section->entries) {
            if (entry.name) names.push_back(*entry.name);
        }
    }
    return names;
}

void FileRegistry::CloseKey(Key key) {
    const auto it = handles_.find(key);
    if (it == handles_.end()) return;
    if (it->second.machine) machine_->CloseKey(it->second.machineKey);
    handles_.erase(it);
}

}  // namespace quenvix::core
