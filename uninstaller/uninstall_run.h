// The uninstaller's run, written once for both of its homes. `Os` supplies the operations: in
// UInst.exe they are the Windows calls themselves (uninstaller/main.cpp), which keeps the program
// inside its 4,096-byte slot; on the host they go through the platform seam (uninstaller.cpp), for the
// zep tool and the tests. Strings are handled with the functions of uninstaller/text.h.
//
// What it may delete is decided from the log's own place, never from what the log says alone: the
// game folder is the folder that holds the log; the log's first line must be a plain add-on name equal
// to the log's own file name; a file line that names nothing inside the game folder is passed over.
// Only when every listed file is gone are the originals the installation kept in
// "<AddonName>.zep-backup" put back and the emptied backup folder and the log removed; otherwise
// everything stays as it is, the log whole, and the player can run it again: files that are gone
// already are passed over then. The uninstall key of the add-on's name, and with it the add-on's
// Start Menu folder, are the installation's only when the key's command starts UInst.exe on this very
// log; only then do the key, "Uninstall.lnk", the shortcut made for each listed file and the emptied
// folder go. Any other key, and whatever else the folder holds, stays.
#pragma once

#include "install/log_lines.h"
#include "platform/platform.h"
#include "uninstaller/text.h"
#include "uninstaller/uninstaller.h"

namespace zep::uninstall {

constexpr u32 kMaxText = kWorkingBufferLength - 1;

inline const char kInfo[] = "Info";
inline const char kInvalidLog[] = "Invalid log file!";
// The two registry keys, below the prefix they share (one copy of it in the program).
inline const char kWindowsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\";
inline const char kUninstallKey[] = "Uninstall\\";
inline const char kShellFoldersKey[] = "Explorer\\Shell Folders\\";

// Below the game folder, after the add-on's name; a folder path with its separator, as Windows takes
// it both to remove the folder and to reach what it holds.
inline const char kBackupFolder[] = ".zep-backup\\";

inline bool is_separator(char c) { return c == '\\' || c == '/'; }

// True when `name`, the log's first line, is a plain add-on name: not empty, no colon (which would
// name a stream of a file), and not made of dots alone. It is compared with the log's own file name,
// which holds no separator, and on Windows no control character either.
inline bool is_plain_name(const char* name) {
  bool dots_only = true;
  for (const char* c = name; *c != 0; ++c) {
    if (*c == ':') return false;
    dots_only = dots_only && *c == '.';
  }
  return !dots_only;
}

// What the registry answers for a key or value that is not there.
constexpr u32 kNoSuchEntry = win_error::kFileNotFound;

// What the last message says of the add-on's uninstall key: nothing when it is this log's, and
// there is none, or one without a command, which shows in no list.
inline const char kKeyIsOthers[] = "\nThe installed programs entry of this name is not this log's: it stays.";

template <class Os>
class Uninstaller {
 public:
  Outcome run(const char* command_line) {
    buffers_ = static_cast<char*>(Os::allocate(6 * kWorkingBufferLength + 1));
    if (buffers_ != nullptr) {
      command_ = buffers_;
      game_ = command_ + kWorkingBufferLength;
      path_ = game_ + kWorkingBufferLength;
      other_ = path_ + kWorkingBufferLength;
      programs_ = other_ + kWorkingBufferLength;
      spare_ = programs_ + kWorkingBufferLength;
      work(command_line);
    }
    Os::release(log_);
    Os::release(buffers_);
    return outcome_;
  }

 private:
  void work(const char* command_line) {
    if (!join(command_, kWorkingBufferLength, command_line)) {
      Os::message("The command line is longer than 259 characters.\nRun UInst -<AddonName>.log in the game folder.",
                  kInfo, kMbOk);
      return;
    }
    typename Os::File file = open_log();
    if (file == Os::kNoFile) return;
    u32 size = 0;
    log_ = Os::read_log(file, &size);
    Os::close(file);
    const bool read = log_ != nullptr;
    if (!read || !check_log(size)) {
      Os::message(kInvalidLog, log_path_, kMbOk);
      return;
    }
    if (Os::message("This will uninstall this addon. Are you sure you want to continue?", name_,
                    kMbYesNo | kMbIconQuestion) == kIdNo) {
      outcome_ = Outcome::kDeclined;
      return;
    }
    find_start_menu();
    // The Start Menu folder and the key are the installation's only when the key's command is this
    // log's: then the shortcut the installation made for a file goes with the file, and once every
    // file is gone, "Uninstall.lnk", the folder once it is empty, and the key after them.
    ours_ = key_is_ours();
    // First every listed file is deleted; only when none remains are the originals put back, so that
    // a run that stops short can be repeated: what is gone already is passed over, and no original is
    // back yet to be taken for the add-on's file and deleted. Until then the log, the registration
    // and the shortcuts stay.
    for (pass_ = 0; pass_ < 2; ++pass_) {
      u32 position = first_file_line_;
      while (position < size) {
        u32 start = 0;
        const u32 length = next_log_line(log_, size, &position, &start);
        char* end = log_ + start + length;
        const char saved = *end;
        *end = 0;  // the line ends here for the moment
        handle_line(log_ + start);  // an empty line names the game folder itself: passed over
        *end = saved;
      }
      if (pass_ == 0 && failures_ > 0) {
        Os::message("Some files could not be deleted. They were probably either in use or already deleted.\n"
                    "Run this again to finish.",
                    kInfo, kMbOk | kMbIconInformation);
        outcome_ = Outcome::kIncomplete;
        return;
      }
    }
    // Everything is gone: the registration, the shortcuts, the backup folder and the log go too.
    if (ours_) {
      if (in_start_menu("Uninstall", ".lnk")) Os::delete_file(spare_);
      Os::remove_folder(programs_);  // an empty path, without a Start Menu, names no folder
      Os::delete_uninstall_key(other_);
    }
    if (join(spare_, kWorkingBufferLength, game_, name_, kBackupFolder)) Os::remove_folder(spare_);
    // An original that could not be put back stays in the backup folder, which then stays too.
    join(path_, kWorkingBufferLength, "Uninstall completed.",
         failures_ > 0 ? "\nSome originals stay in the .zep-backup folder." : "",
         moved_, key_note_);
    Os::message(path_, kInfo, kMbOk | kMbIconInformation);
    Os::delete_file(log_path_);
    outcome_ = Outcome::kCompleted;
  }

  // Checks the log's head against its own place, and sets name_, game_, moved_ and where the file
  // lines begin. The game folder is the folder of the log path; the first line must be a plain name
  // equal to the log's file name without ".log".
  bool check_log(u32 size) {
    u32 folder_length = 0;
    for (u32 at = 0; log_path_[at] != 0; ++at) {
      if (is_separator(log_path_[at])) folder_length = at + 1;
    }
    // The log's file name without ".log", in the path buffer.
    join(path_, kWorkingBufferLength, log_path_ + folder_length);
    const u32 stem = length_of(path_) - 4;
    if (length_of(path_) <= 4 || Os::compare_ignoring_case(path_ + stem, ".log") != 0) return false;
    path_[stem] = 0;
    join(game_, kWorkingBufferLength, log_path_);
    game_[folder_length] = 0;

    u32 position = 0;
    u32 start = 0;
    u32 length = next_log_line(log_, size, &position, &start);
    log_[start + length] = 0;
    name_ = log_ + start;
    if (!is_plain_name(name_) || Os::compare_ignoring_case(name_, path_) != 0) return false;
    if (position < size) {
      length = next_log_line(log_, size, &position, &start);
      log_[start + length] = 0;
      // A log named without its folder is in the current one, wherever the log says the game is.
      if (game_[0] != 0 && Os::compare_ignoring_case(log_ + start, game_) != 0) {
        moved_ = "\nThe game had moved: the log's folder was used.";
      }
    }
    first_file_line_ = position;
    return true;
  }

  // One listed file: in the first pass it is deleted (one that is gone already counts as deleted);
  // in the second the original the installation kept of it is put back. A file that cannot be
  // deleted and an original that cannot be put back are failures.
  void handle_line(const char* line) {
    if (!join(path_, kWorkingBufferLength, game_, line) || !may_touch(path_)) return;
    if (pass_ == 0) {
      // The log says the add-on placed the file: its read-only mark is no reason to keep it.
      Os::clear_read_only(path_);
      if (!Os::delete_file(path_) && !Os::missing()) {
        ++failures_;
      } else if (ours_) {
        // The shortcut the installation made for the file if it was one to open: its name cut at its
        // last dot (the path that may_touch took ends there now), and ".lnk".
        *dot_ = 0;
        if (in_start_menu(base_, ".lnk")) Os::delete_file(spare_);
      }
      return;
    }
    if (!join(spare_, kWorkingBufferLength, game_, name_, kBackupFolder, line) || !may_touch(spare_)) return;
    if (!Os::move_file(spare_, path_)) {
      if (!Os::missing()) ++failures_;  // counted, but the run goes on: the file itself is gone
      return;
    }
    // The backup's folders go as they empty, the backup folder itself included.
    for (char* at = spare_ + length_of(spare_); at > spare_ + length_of(game_); --at) {
      if (!is_separator(*at)) continue;
      *at = 0;
      Os::remove_folder(spare_);
    }
  }

  // True when `path`, the game folder followed by a file line, names a file inside the game folder
  // that the uninstaller may delete or put back. What follows the game folder must not be empty,
  // start with a separator, hold a drive or stream colon or a part that names a folder itself or
  // its parent ("." and "..", also spelled with the dots and blanks at their end that Windows
  // drops): such a line names nothing the installation placed and is passed over. A path whose
  // folders below the game folder include a symbolic link, junction or other reparse point could
  // name anything on the disk: it is never followed, and counts as a failure, so that the file and
  // the add-on stay. (A link at the path's end is itself what is deleted or moved, not what it
  // points to.) Separators are left as backslashes.
  bool may_touch(char* path) {
    char* part = path + length_of(game_);
    if (*part == 0 || is_separator(*part)) return false;
    dot_ = nullptr;
    for (char* at = part;; ++at) {
      if (*at == ':') return false;
      if (*at == '.') dot_ = at;
      if (!is_separator(*at) && *at != 0) continue;
      bool only_dots = true;
      for (const char* c = part; c < at; ++c) only_dots = only_dots && (*c == '.' || *c == ' ');
      if (only_dots && at > part) return false;
      if (*at == 0) {
        base_ = part;
        if (dot_ < part) dot_ = at;
        return true;
      }
      *at = 0;
      const bool link = Os::is_link(path);
      *at = '\\';
      if (link) {
        ++failures_;
        return false;
      }
      part = at + 1;
    }
  }

  // True when the add-on's uninstall key is this log's: its command starts UInst.exe in the log's
  // folder with this log, quoted as this installer stores it or unquoted as older ones did, compared
  // without regard to case. The key's path stays in the other buffer for the end of the run. A key
  // with another command is noted for the last message; one without a command shows in no list and
  // is left alone without a word.
  bool key_is_ours() {
    // A key path too long to fit is empty: that names the root, which has no such value.
    join(other_, kWorkingBufferLength, kWindowsKey, kUninstallKey, name_);
    const u32 result = Os::read_value(true, other_, "UninstallString", spare_);
    if (result == kNoSuchEntry) return false;
    // The buffer is the last one, and a zero byte more: the value ends there at the latest.
    const char* command = spare_;
    const bool quoted = command[0] == '"';
    if (result == 0 &&
        join(path_, kWorkingBufferLength, game_, quoted ? "UInst.exe\" -" : "UInst.exe -", log_path_) &&
        Os::compare_ignoring_case(command + quoted, path_) == 0) {
      return true;
    }
    key_note_ = kKeyIsOthers;
    return false;
  }

  // `name` and `suffix` in the add-on's Start Menu folder, into the spare buffer; false without a
  // Start Menu folder, or when the path would not fit.
  bool in_start_menu(const char* name, const char* suffix) {
    return programs_[0] != 0 && join(spare_, kWorkingBufferLength, programs_, name, suffix);
  }

  // The add-on's Start Menu folder, from the Programs folder read once; empty when that cannot be
  // read (the Start Menu is then left alone).
  void find_start_menu() {
    join(other_, kWorkingBufferLength, kWindowsKey, kShellFoldersKey);
    // The add-on's folder in it, with its separator. A value that fills the buffer is too long for that
    // path, and an empty one names no folder.
    // It is read into the spare buffer, untouched so far and so all zeros: a value stored without its
    // zero, or with no bytes at all, ends there.
    if (Os::read_value(false, other_, "Programs", spare_) != 0) {
      Os::message(kInvalidLog, kInfo, kMbOk);
    } else if (spare_[0] != 0) {
      join(programs_, kWorkingBufferLength, spare_, "\\", name_, "\\");
    }
  }

  // The log path stands behind a "-" (from position 1 on). The first "-" whose remainder opens is
  // taken, so that a game folder with a hyphen in its name is still found.
  typename Os::File open_log() {
    u32 last = 0;
    for (u32 at = 1; command_[at] != 0; ++at) {
      if (command_[at] != '-') continue;
      last = at;
      typename Os::File file = Os::open_for_reading(command_ + at + 1);
      if (file != Os::kNoFile) {
        log_path_ = command_ + at + 1;
        return file;
      }
    }
    Os::message(last == 0 ? "Usage: UInst -<logfile>" : kInvalidLog, last == 0 ? kInfo : command_ + last + 1, kMbOk);
    return Os::kNoFile;
  }

  char* buffers_ = nullptr;
  char* command_ = nullptr;   // a copy of the command line; the log path points into it
  char* game_ = nullptr;      // the game folder: the log's own folder, with its separator
  char* path_ = nullptr;      // game files, Start Menu entries, the new log
  char* other_ = nullptr;     // the Shell Folders key, then the add-on's uninstall key
  char* programs_ = nullptr;  // the add-on's Start Menu folder with its separator, or empty
  char* spare_ = nullptr;     // the key's command, then shortcuts, then backups
  bool ours_ = false;         // the add-on's uninstall key is this log's
  const char* key_note_ = "";  // what the last message says of the key
  char* base_ = nullptr;      // the last part of the path may_touch took
  char* dot_ = nullptr;       // where its last dot is, or its end
  char* log_ = nullptr;       // the whole log; the head lines are terminated in place
  u32 pass_ = 0;              // 0 while files are deleted, 1 while originals are put back
  const char* log_path_ = nullptr;
  const char* name_ = nullptr;  // `AddonName`, the first line, inside log_
  u32 first_file_line_ = 0;
  // What the last message says when the log's second line names another folder than its own.
  const char* moved_ = "";
  u32 failures_ = 0;          // listed files that remain, or originals not put back
  Outcome outcome_ = Outcome::kInvalid;
};

}  // namespace zep::uninstall
