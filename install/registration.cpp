#include "install/registration.h"

#include "install/own_files.h"
#include "install/placement.h"
#include "platform/error_message.h"

namespace zep {

const char kShortcutQuestion[] = "Do you want to create Start Menu shortcuts?";
const char kInstallerCaption[] = "ZEP SFX";

const char kUninstallKeyPrefix[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const char kShellFoldersKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders\\";

namespace {


// A Start Menu folder or shortcut whose path would not fit: `name` in the folder `folder`.
void refuse_long_path(WindowRef owner, const char* what, const char* folder, const char* name, const char* then) {
  show_warning(owner, kInstallerCaption, "The Start Menu %s\n%s%s\ncannot be made: %s.%s", what, folder, name,
               kPathTooLong, then);
}

constexpr char kNoShortcuts[] = "\nNo shortcuts are made.";

// True when the `length` bytes at `text` end in `tail`, ignoring case.
bool ends_with(const char* text, u32 length, const char* tail) {
  const u32 tail_length = text_length(tail);
  return length >= tail_length && same_name(text + length - tail_length, tail_length, tail);
}

}  // namespace

[[gnu::noinline]] bool is_zep_uninstall_key(const char* key_path, const char* addon_name) {
  KeyRef key = nullptr;
  if (open_existing_key(RegistryRoot::kLocalMachine, key_path, &key) != 0) return true;  // none there
  char command[kCommandCapacity];
  char name[kCommandCapacity];
  command[0] = name[0] = 0;
  const i32 has_command = query_string_value(key, "UninstallString", command, sizeof command);
  const i32 has_name = query_string_value(key, "DisplayName", name, sizeof name);
  close_key(key);
  command[kCommandCapacity - 1] = name[kCommandCapacity - 1] = 0;
  if (has_command != 0) return has_name != 0 || texts_equal(name, addon_name);
  // "<folder>UInst.exe" -<folder><name>.log, or the same without the quotes.
  const u32 length = text_length(command);
  if (!ends_with(command, length, kLogSuffix)) return false;
  for (u32 at = 1; at + 2 < length; ++at) {
    if (command[at] != ' ' || command[at + 1] != '-') continue;
    const u32 before = command[at - 1] == '"' ? at - 1 : at;
    if (ends_with(command, before, kUninstallerFile)) return true;
  }
  return false;
}

bool UninstallKey::open_and_name(const char* addon_name, WindowRef owner) {
  UninstallCommand path;
  if (!path.format("%s%s", kUninstallKeyPrefix, addon_name)) return false;
  if (!is_zep_uninstall_key(path.c_str(), addon_name)) {
    show_warning(owner, kInstallerCaption,
                 "The list of installed programs has an entry \"%s\" of another program; this add-on is not "
                 "entered there.",
                 addon_name);
    return false;
  }
  if (open_or_create_key(RegistryRoot::kLocalMachine, path.c_str(), &key_) != 0) return false;
  return set_string_value(key_, "DisplayName", addon_name) == 0;
}

// Kept out of line, measured, as is is_zep_uninstall_key: 16 and 8 bytes less than folded into the
// installation's step that registers the add-on.
[[gnu::noinline]] bool UninstallKey::set_command(const char* command) {
  if (key_ == nullptr) return false;
  return set_string_value(key_, "UninstallString", command) == 0;
}

bool build_uninstall_command(const char* game_path, const char* addon_name, WindowRef owner,
                             UninstallCommand* command) {
  if (command->format("\"%s%s\" -%s%s%s", game_path, kUninstallerFile, game_path, addon_name, kLogSuffix) &&
      command->length() <= kLongestUninstallCommand) {
    return true;
  }
  command->clear();
  // UInst.exe takes a log named by itself alone too, from the folder it is in.
  show_warning(owner, kInstallerCaption,
               "The add-on gets no entry in the list of installed programs and no Start Menu shortcuts: the game "
               "folder's path is too long.\nTo uninstall it, run %s -%s%s in\n%s",
               kUninstallerFile, addon_name, kLogSuffix, game_path);
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
  if (show_message(owner, kShortcutQuestion, kInstallerCaption, kMbYesNo) != kIdYes) {
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

bool start_menu_folder_is_foreign(const char* folder, bool (*allowed)(const char* name, const void* context),
                                  const void* context) {
  StartMenuPath pattern;
  FoundName found;
  SearchRef search = pattern.format("%s\\*.*", folder) ? find_first(pattern.c_str(), &found) : nullptr;
  bool foreign = false;
  for (bool more = search != nullptr; more && !foreign; more = find_next(search, &found)) {
    const char* name = found.text;
    if (texts_equal(name, ".") || texts_equal(name, "..") || texts_equal(name, "Uninstall.lnk")) continue;
    foreign = allowed == nullptr || !allowed(name, context);
  }
  find_close(search);
  return foreign;
}

void make_addon_start_menu_folder(const char* addon_name, WindowRef owner, StartMenu* menu,
                                  bool (*allowed)(const char* name, const void* context), const void* context) {
  if (!menu->wanted) return;
  // A part that does not fit leaves the path as it was: the message then shows it with that part (the
  // add-on's name; nothing more for the backslash after the folder is made). One message for both.
  const char* missing = addon_name;
  bool fits = menu->folder.append("\\") && menu->folder.append(addon_name);
  if (fits) {
    // A folder that is there already is taken only when all it holds are this add-on's shortcuts.
    if (start_menu_folder_is_foreign(menu->folder.c_str(), allowed, context)) {
      menu->wanted = false;
      show_warning(owner, kInstallerCaption, "The Start Menu folder\n%s\nholds files this add-on did not make.%s",
                   menu->folder.c_str(), kNoShortcuts);
      return;
    }
    make_folder(menu->folder.c_str());
    missing = "";
    fits = menu->folder.append("\\");
  }
  if (!fits) {
    menu->wanted = false;
    refuse_long_path(owner, "folder", menu->folder.c_str(), missing, kNoShortcuts);
  }
}

bool shortcut_name(const char* archive_name, StartMenuPath* name) {
  const u32 length = text_length(archive_name);
  u32 start = 0;
  // A forward slash, as the archive may hold it, separates folders as a backslash does.
  for (u32 i = 0; i < length; ++i) {
    if (archive_name[i] == '\\' || archive_name[i] == '/') start = i + 1;
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
  if (!link.format("%s%s", menu.folder.c_str(), link_name)) {
    refuse_long_path(owner, "shortcut", menu.folder.c_str(), link_name, "");
    return -1;
  }
  return create_shortcut(target, link.c_str(), arguments, target);
}

}  // namespace zep
