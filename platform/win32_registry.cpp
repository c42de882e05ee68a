// The registry through advapi32, with the classic calls the installer and the uninstaller make.
#include <windows.h>

#include "platform/platform.h"

namespace zep {
namespace {

HKEY root_key(RegistryRoot root) {
  return root == RegistryRoot::kCurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
}

}  // namespace

i32 open_or_create_key(RegistryRoot root, const char* path, KeyRef* key) {
  HKEY opened = nullptr;
  LONG code = RegCreateKeyA(root_key(root), path, &opened);
  *key = code == ERROR_SUCCESS ? reinterpret_cast<KeyRef>(opened) : nullptr;
  return code;
}

i32 open_existing_key(RegistryRoot root, const char* path, KeyRef* key) {
  HKEY opened = nullptr;
  LONG code = RegOpenKeyExA(root_key(root), path, 0, KEY_READ, &opened);
  *key = code == ERROR_SUCCESS ? reinterpret_cast<KeyRef>(opened) : nullptr;
  return code;
}

i32 set_string_value(KeyRef key, const char* name, const char* text) {
  // Counted here rather than by zep_core's text_length: the platform library sits below zep_core, and
  // every program lists zep_core first when linking, so a call back up into it would be unresolved;
  // and a loop of its own costs the installer less than an import of lstrlenA.
  DWORD length = 1;
  for (const char* at = text; *at != 0; ++at) ++length;
  return RegSetValueExA(reinterpret_cast<HKEY>(key), name, 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(text), length);
}

i32 query_string_value(KeyRef key, const char* name, char* buffer, u32 capacity) {
  DWORD length = capacity;
  return RegQueryValueExA(reinterpret_cast<HKEY>(key), name, nullptr, nullptr,
                          reinterpret_cast<BYTE*>(buffer), &length);
}

i32 delete_key(RegistryRoot root, const char* path) { return RegDeleteKeyA(root_key(root), path); }

void close_key(KeyRef key) {
  if (key != nullptr) RegCloseKey(reinterpret_cast<HKEY>(key));
}

}  // namespace zep
