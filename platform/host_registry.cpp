// The registry of platform/platform.h on Linux, kept in memory. Keys and value names are matched
// without regard to letter case and keep the spelling they were first created with, as on Windows;
// a handle to a key that has been deleted since refuses further use with 1018. Tests set it up and
// read it back through platform/host_platform.h.
#include <cstring>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/host_common.h"
#include "platform/host_internal.h"
#include "platform/host_platform.h"

namespace zep {

using namespace host_detail;

namespace {

struct RegistryValue {
  std::string name;  // as spelled when first set
  std::string data;  // the bytes stored, a string's terminating zero included
};

struct RegistryKey {
  std::string spelled;  // the full path as first created, root included
  u64 serial;           // distinguishes this key from a deleted one of the same path
  std::map<std::string, RegistryValue> values;  // by folded name
};

struct Registry {
  std::map<std::string, RegistryKey> keys;  // by folded full path; the roots are created on use
  u64 next_serial = 1;
  std::size_t open_keys = 0;
  bool denied[2] = {false, false};
};

Registry& registry() {
  static Registry instance;
  return instance;
}

const char* root_name(RegistryRoot root) {
  return root == RegistryRoot::kCurrentUser ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE";
}

bool writes_denied(RegistryRoot root) {
  return registry().denied[root == RegistryRoot::kCurrentUser ? 0 : 1];
}

// Splits a key path below `root` into its components, each with the root's full path before it.
// A single trailing backslash is accepted and ignored, as RegCreateKeyA does. Returns 0, 161 for a
// path that starts with a backslash or 123 for an empty component inside it.
i32 split_key_path(RegistryRoot root, const char* path, std::vector<std::string>* prefixes) {
  std::string text = path == nullptr ? "" : path;
  if (!text.empty() && text[0] == '\\') return static_cast<i32>(kBadPathname);
  if (!text.empty() && text.back() == '\\') text.pop_back();
  std::string prefix = root_name(root);
  prefixes->push_back(prefix);
  if (text.empty()) return 0;
  std::size_t start = 0;
  for (;;) {
    std::size_t end = text.find('\\', start);
    std::string component = text.substr(start, end == std::string::npos ? end : end - start);
    if (component.empty()) return static_cast<i32>(win_error::kInvalidName);
    prefix += "\\" + component;
    prefixes->push_back(prefix);
    if (end == std::string::npos) return 0;
    start = end + 1;
  }
}

RegistryKey* find_key(const std::string& spelled) {
  auto found = registry().keys.find(folded(spelled));
  return found == registry().keys.end() ? nullptr : &found->second;
}

// The key that an open handle refers to, or null when that key has been deleted since.
RegistryKey* key_of(KeyRef key) {
  auto found = registry().keys.find(key->folded);
  if (found == registry().keys.end() || found->second.serial != key->serial) return nullptr;
  return &found->second;
}

bool has_subkeys(const std::string& folded_path) {
  const auto& keys = registry().keys;
  auto after = keys.lower_bound(folded_path + "\\");
  return after != keys.end() && after->first.compare(0, folded_path.size() + 1, folded_path + "\\") == 0;
}

// Creates the keys of `prefixes` that are missing; returns the last one. A new key is spelled as
// its parent already is, followed by its own name as given: on Windows, a key reached through a
// differently cased path still lives under its parents' first names.
RegistryKey& create_keys(const std::vector<std::string>& prefixes) {
  RegistryKey* key = nullptr;
  for (const std::string& prefix : prefixes) {
    RegistryKey* parent = key;
    key = find_key(prefix);
    if (key == nullptr) {
      Registry& state = registry();
      key = &state.keys[folded(prefix)];
      key->spelled = parent == nullptr ? prefix
                                       : parent->spelled + prefix.substr(prefix.rfind('\\'));
      key->serial = state.next_serial++;
    }
  }
  return *key;
}

bool is_root(const RegistryKey& key) {
  return key.spelled.find('\\') == std::string::npos;
}
}  // namespace

i32 open_or_create_key(RegistryRoot root, const char* path, KeyRef* key) {
  *key = nullptr;
  std::vector<std::string> prefixes;
  if (i32 code = split_key_path(root, path, &prefixes)) return code;
  if (writes_denied(root) && find_key(prefixes.back()) == nullptr && prefixes.size() > 1) {
    return static_cast<i32>(win_error::kAccessDenied);
  }
  // Making a key is a change, which a planned fault may refuse; opening one that is there is not.
  if (find_key(prefixes.back()) == nullptr && injected_failure_here("open_or_create_key", prefixes.back())) {
    return static_cast<i32>(last_error());
  }
  RegistryKey& found = create_keys(prefixes);
  *key = new OsKey{folded(found.spelled), found.serial};
  ++registry().open_keys;
  return 0;
}

i32 open_existing_key(RegistryRoot root, const char* path, KeyRef* key) {
  *key = nullptr;
  std::vector<std::string> prefixes;
  if (i32 code = split_key_path(root, path, &prefixes)) return code;
  RegistryKey* found = find_key(prefixes.back());
  if (found == nullptr) return static_cast<i32>(win_error::kFileNotFound);
  *key = new OsKey{folded(found->spelled), found->serial};
  ++registry().open_keys;
  return 0;
}

i32 set_string_value(KeyRef key, const char* name, const char* text) {
  if (key == nullptr) return static_cast<i32>(win_error::kInvalidHandle);
  RegistryKey* found = key_of(key);
  if (found == nullptr) return static_cast<i32>(win_error::kKeyDeleted);
  std::string root = found->spelled.substr(0, found->spelled.find('\\'));
  RegistryRoot which = root == root_name(RegistryRoot::kCurrentUser) ? RegistryRoot::kCurrentUser
                                                                      : RegistryRoot::kLocalMachine;
  if (writes_denied(which)) return static_cast<i32>(win_error::kAccessDenied);
  std::string value_name = name == nullptr ? "" : name;
  if (injected_failure_here("set_string_value", found->spelled + "\\" + value_name)) {
    return static_cast<i32>(last_error());
  }
  RegistryValue& value = found->values[folded(value_name)];
  if (value.name.empty()) value.name = value_name;
  value.data.assign(text == nullptr ? "" : text);
  value.data.push_back('\0');
  return 0;
}

i32 query_string_value(KeyRef key, const char* name, char* buffer, u32 capacity) {
  if (key == nullptr) return static_cast<i32>(win_error::kInvalidHandle);
  RegistryKey* found = key_of(key);
  if (found == nullptr) return static_cast<i32>(win_error::kKeyDeleted);
  auto value = found->values.find(folded(name == nullptr ? "" : name));
  if (value == found->values.end()) return static_cast<i32>(win_error::kFileNotFound);
  const std::string& data = value->second.data;
  if (data.size() > capacity) return static_cast<i32>(win_error::kMoreData);
  std::memcpy(buffer, data.data(), data.size());
  return 0;
}

i32 delete_key(RegistryRoot root, const char* path) {
  std::vector<std::string> prefixes;
  if (i32 code = split_key_path(root, path, &prefixes)) return code;
  // A root cannot be deleted.
  if (prefixes.size() == 1) return static_cast<i32>(win_error::kAccessDenied);
  RegistryKey* found = find_key(prefixes.back());
  if (found == nullptr) return static_cast<i32>(win_error::kFileNotFound);
  if (writes_denied(root)) return static_cast<i32>(win_error::kAccessDenied);
  std::string folded_path = folded(found->spelled);
  if (has_subkeys(folded_path)) return static_cast<i32>(win_error::kAccessDenied);
  if (injected_failure_here("delete_key", found->spelled)) return static_cast<i32>(last_error());
  registry().keys.erase(folded_path);
  return 0;
}

void close_key(KeyRef key) {
  if (key == nullptr) return;
  --registry().open_keys;
  delete key;
}
namespace host {

std::optional<std::string> registry_value(RegistryRoot root, const std::string& key,
                                          const std::string& name) {
  std::vector<std::string> prefixes;
  if (split_key_path(root, key.c_str(), &prefixes) != 0) return std::nullopt;
  RegistryKey* found = find_key(prefixes.back());
  if (found == nullptr) return std::nullopt;
  auto value = found->values.find(folded(name));
  if (value == found->values.end()) return std::nullopt;
  std::string text = value->second.data;
  if (!text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

bool registry_key_exists(RegistryRoot root, const std::string& key) {
  std::vector<std::string> prefixes;
  if (split_key_path(root, key.c_str(), &prefixes) != 0) return false;
  return prefixes.size() == 1 || find_key(prefixes.back()) != nullptr;
}

std::vector<std::string> registry_keys() {
  std::vector<std::string> keys;
  for (const auto& entry : registry().keys) {
    if (!is_root(entry.second)) keys.push_back(entry.second.spelled);
  }
  return keys;
}

void set_registry_value(RegistryRoot root, const std::string& key, const std::string& name,
                        const std::string& text) {
  std::vector<std::string> prefixes;
  if (split_key_path(root, key.c_str(), &prefixes) != 0) return;
  RegistryKey& found = create_keys(prefixes);
  RegistryValue& value = found.values[folded(name)];
  if (value.name.empty()) value.name = name;
  value.data = text;
  value.data.push_back('\0');
}

void deny_registry_writes(RegistryRoot root, bool denied) {
  registry().denied[root == RegistryRoot::kCurrentUser ? 0 : 1] = denied;
}

std::size_t open_key_count() { return registry().open_keys; }

void clear_registry() {
  Registry& state = registry();
  state.keys.clear();
  state.denied[0] = false;
  state.denied[1] = false;
}
}  // namespace host

}  // namespace zep
