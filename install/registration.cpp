#include "install/registration.h"

namespace zep {

const char kUninstallKeyPrefix[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const char kShellFoldersKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders\\";

namespace {

constexpr char kRegistrationCaption[] = "ZEP SFX";

void show_too_long(WindowRef owner, const char* what) {
  BoundedText<300> text;
  text.assign(what);
  text.append(" cannot be made: the path it needs is too long.");
  show_message(owner, text.c_str(), kRegistrationCaption, kMbOk | kMbIconWarning);
}

}  // namespace

bool UninstallKey::open_and_name(const char* addon_name) {
  BoundedText<kCommandCapacity> path;
  if (!path.assign(kUninstallKeyPrefix) || !path.append(addon_name)) return false;
  if (open_or_create_key(RegistryRoot::kLocalMachine, path.c_str(), &key_) != 0) return false;
  return set_string_value(key_, "DisplayName", addon_name) == 0;
}

bool UninstallKey::set_command(const char* command) {
  if (key_ == nullptr) return false;
  return set_string_value(key_, "UninstallString", command) == 0;
}

bool build_uninstall_command(const char* game_path, const char* addon_name, WindowRef owner,
                             UninstallCommand* command) {
  if (command->assign("\"") && command->append(game_path) && command->append("UInst.exe\" -") &&
      command->append(game_path) && command->append(addon_name) && command->append(".log")) {
    return true;
  }
  command->clear();
  show_too_long(owner, "The entry in the list of installed programs");
  return false;
}

bool find_start_menu_folder(StartMenuPath* folder) {
  folder->clear();
  KeyRef key = nullptr;
  if (open_or_create_key(RegistryRoot::kCurrentUser, kShellFoldersKey, &key) != 0) return false;
  char buffer[kStartMenuCapacity];
  buffer[0] = 0;
  const i32 result = query_string_value(key, "Programs", buffer, sizeof buffer);
  close_key(key);
  if (result != 0) return false;
  // The value's type is not examined: a value without a terminator of its own ends at the buffer.
  buffer[kStartMenuCapacity - 1] = 0;
  return folder->assign(buffer);
}

void ask_for_shortcuts(WindowRef owner, StartMenu* menu) {
  menu->wanted = false;
  menu->folder.clear();
  if (show_message(owner, "Do you want to create Start Menu shortcuts?", kRegistrationCaption, kMbYesNo) != kIdYes) {
    return;
  }
  if (!find_start_menu_folder(&menu->folder)) {
    show_message(nullptr,
                 "Could not access registry to determine Start Menu location.\nNo shortcuts will be added to "
                 "start menu.",
                 "Error", kMbOk | kMbIconWarning);
    return;
  }
  menu->wanted = true;
}

void make_addon_start_menu_folder(const char* addon_name, WindowRef owner, StartMenu* menu) {
  if (!menu->wanted) return;
  if (!menu->folder.append("\\") || !menu->folder.append(addon_name)) {
    menu->wanted = false;
    show_too_long(owner, "The Start Menu folder");
    return;
  }
  make_folder(menu->folder.c_str());
  if (!menu->folder.append("\\")) {
    menu->wanted = false;
    show_too_long(owner, "The Start Menu folder");
  }
}

bool shortcut_name(const char* archive_name, StartMenuPath* name) {
  const u32 length = text_length(archive_name);
  u32 start = 0;
  for (u32 i = 0; i < length; ++i) {
    if (archive_name[i] == '\\') start = i + 1;
  }
  u32 end = length;
  for (u32 i = length; i > start; --i) {
    if (archive_name[i - 1] == '.') {
      end = i - 1;
      break;
    }
  }
  name->clear();
  return name->append(archive_name + start, end - start) && name->append(".lnk");
}

i32 create_shortcut(const char* target, const char* link_path, const char* arguments, const char* description) {
  ShellLinkResult result = make_shell_link(target, arguments, description, link_path);
  if (result.save_tried && result.code != 0) show_message(nullptr, "IPersistFile->Save() Error", "Error", kMbOk);
  return result.code;
}

i32 create_start_menu_shortcut(const StartMenu& menu, const char* link_name, const char* target,
                               const char* arguments, WindowRef owner) {
  StartMenuPath link;
  if (!link.assign(menu.folder.c_str()) || !link.append(link_name)) {
    show_too_long(owner, "A Start Menu shortcut");
    return -1;
  }
  return create_shortcut(target, link.c_str(), arguments, target);
}

}  // namespace zep
