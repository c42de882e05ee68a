// Registration for uninstallation and the add-on's Start Menu shortcuts.
//
//   HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\Uninstall\<AddonName>
//       DisplayName      = AddonName
//       UninstallString  = "<GamePath>UInst.exe" -<GamePath><AddonName>.log
//   <Programs>\<AddonName>\Uninstall.lnk and one shortcut per file opened after installation, where
//   <Programs> is "Programs" under HKEY_CURRENT_USER\...\Explorer\Shell Folders\.
#pragma once

#include "platform/buffers.h"
#include "platform/platform.h"
#include "platform/types.h"

namespace zep {

// Bytes of the uninstall command's buffer and of the Start Menu paths' buffers, terminators included.
constexpr u32 kCommandCapacity = 520;
constexpr u32 kStartMenuCapacity = 260;

// The longest uninstall command that is stored: UInst.exe takes a command line of at most 259
// characters, and one started from "Uninstall.lnk" gets a blank more than the stored command has.
constexpr u32 kLongestUninstallCommand = 258;

// An uninstall command is held in a message's text, which is larger still: one size of text less
// means one copy of its code less.
using UninstallCommand = MessageText;
static_assert(MessageText::capacity() >= kCommandCapacity, "room for every uninstall command");
using StartMenuPath = BoundedText<kStartMenuCapacity>;

extern const char kUninstallKeyPrefix[];  // "Software\...\Uninstall\"
extern const char kShellFoldersKey[];     // "Software\...\Explorer\Shell Folders\"
extern const char kShortcutQuestion[];    // "Do you want to create Start Menu shortcuts?"
// The caption of the installer's own questions, of the final message and of the registration's messages.
extern const char kInstallerCaption[];  // "ZEP SFX"

// The add-on's uninstall key, open between the two halves of the registration.
class UninstallKey {
 public:
  UninstallKey() = default;
  ~UninstallKey() { close_key(key_); }
  UninstallKey(const UninstallKey&) = delete;
  UninstallKey& operator=(const UninstallKey&) = delete;

  // First half: opens or creates the key for `addon_name` under HKEY_LOCAL_MACHINE and sets
  // "DisplayName". Returns false when the key cannot be opened or the value not set; as a user without
  // the right to write there may install all the same, this is not reported. A key that is there
  // already and is not a ZEP add-on's (see is_zep_uninstall_key) is left alone: refused with a message
  // owned by `owner`, and false.
  bool open_and_name(const char* addon_name, WindowRef owner = nullptr);

  // Second half: sets "UninstallString" to `command` in the same key. Returns false when it fails.
  bool set_command(const char* command);

 private:
  KeyRef key_ = nullptr;
};

// True when the uninstall key at `key_path` under HKEY_LOCAL_MACHINE is missing or a ZEP add-on's:
// its "UninstallString" runs a "UInst.exe" with a ".log" (quoted or not), or it has none and its
// "DisplayName", if any, is `addon_name` (a registration that stopped half way).
bool is_zep_uninstall_key(const char* key_path, const char* addon_name);

// The uninstall command for `game_path` and `addon_name`, with the uninstaller's path in quotes so
// that a game folder with blanks in its path cannot start another program. Returns false, with a
// message owned by `owner`, when it is longer than kLongestUninstallCommand characters, which the
// uninstaller could not take.
bool build_uninstall_command(const char* game_path, const char* addon_name, WindowRef owner,
                             UninstallCommand* command);

// The shortcuts of one installation.
struct StartMenu {
  bool wanted = false;   // the user said Yes and the Start Menu was found
  StartMenuPath folder;  // the Programs folder, then (once made) the add-on's folder with a backslash
};

// Asks "Do you want to create Start Menu shortcuts?"; on Yes looks the Programs folder up, and when
// that fails shows the ownerless warning and gives up the shortcuts.
void ask_for_shortcuts(WindowRef owner, StartMenu* menu);

// Reads the "Programs" value into `folder`. Returns false when the key or the value cannot be read.
bool find_start_menu_folder(StartMenuPath* folder);

// Makes the add-on's folder in the Programs folder and leaves its path, with a trailing backslash, in
// `menu->folder`. An existing one is reused only when it holds nothing but shortcuts this add-on makes:
// "Uninstall.lnk" and the names `allowed` accepts (called with each other entry's name). When that
// path would not fit, or the folder holds anything else (another program's folder, "Startup"), shows
// a message owned by `owner` and gives up the shortcuts.
void make_addon_start_menu_folder(const char* addon_name, WindowRef owner, StartMenu* menu,
                                  bool (*allowed)(const char* name, const void* context) = nullptr,
                                  const void* context = nullptr);

// True when the Start Menu folder `folder` (without a backslash at its end) holds anything but
// "Uninstall.lnk" and the names `allowed` accepts; false when it is missing or cannot be searched.
bool start_menu_folder_is_foreign(const char* folder, bool (*allowed)(const char* name, const void* context),
                                  const void* context);

// The shortcut file's name for a file opened after installation: its archive name from after its
// last backslash (or forward slash), cut at its last dot, and ".lnk". Returns false when it does not
// fit.
bool shortcut_name(const char* archive_name, StartMenuPath* name);

// Makes the shortcut `link_path` to `target` with `arguments` and `description`. A failed save shows
// "IPersistFile->Save() Error" without an owner. Returns the last step's result code, 0 on success.
i32 create_shortcut(const char* target, const char* link_path, const char* arguments, const char* description);

// Makes the shortcut named `link_name` in the add-on's folder of `menu`; refuses, with a message
// owned by `owner`, a link path that would not fit. Returns the result code, or -1 when refused.
i32 create_start_menu_shortcut(const StartMenu& menu, const char* link_name, const char* target,
                               const char* arguments, WindowRef owner);

}  // namespace zep
