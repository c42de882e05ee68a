// The uninstaller's run, written once for both of its homes. `Os` supplies the operations: in
// UInst.exe they are the Windows calls themselves (uninstaller/main.cpp), which keeps the program
// inside its 4,096-byte slot; on the host they go through the platform seam (uninstaller.cpp), for the
// zep tool and the tests. Strings are handled with the functions of uninstaller/text.h.
#pragma once

#include "platform/platform.h"
#include "uninstaller/text.h"
#include "uninstaller/uninstaller.h"

namespace zep::uninstall {

constexpr u32 kMaxText = kWorkingBufferLength - 1;

inline const char kInfo[] = "Info";
inline const char kInvalidLog[] = "Invalid log file!";
inline const char kUninstallKeyPrefix[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
inline const char kShellFoldersKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders\\";

// True when a file line of the log may be deleted: a path inside the game folder, not absolute, with
// no drive or stream colon, not starting with a backslash, and without a "." or ".." part (also
// spelled with the dots and blanks at its end that Windows drops).
inline bool is_game_file(const char* line) {
  if (line[0] == 0 || line[0] == '\\' || line[0] == '/') return false;
  const char* part = line;
  for (const char* at = line;; ++at) {
    if (*at == ':') return false;
    if (*at == '\\' || *at == '/' || *at == 0) {
      // A part made only of dots and blanks ("..", ". ", "...") names the folder itself or its parent.
      bool only_dots = at > part;
      for (const char* c = part; c < at; ++c) only_dots = only_dots && (*c == '.' || *c == ' ');
      if (only_dots) return false;
      if (*at == 0) return true;
      part = at + 1;
    }
  }
}

template <class Os>
class Uninstaller {
 public:
  void run(const char* command_line) {
    command_ = static_cast<char*>(Os::allocate(kWorkingBufferLength));
    folder_ = static_cast<char*>(Os::allocate(kWorkingBufferLength));
    path_ = static_cast<char*>(Os::allocate(kWorkingBufferLength));
    key_ = static_cast<char*>(Os::allocate(kWorkingBufferLength));
    if (command_ != nullptr && folder_ != nullptr && path_ != nullptr && key_ != nullptr) work(command_line);
    Os::release(log_);
    Os::release(command_);
    Os::release(folder_);
    Os::release(path_);
    Os::release(key_);
  }

 private:
  void work(const char* command_line) {
    if (length_of(command_line) > kMaxText) {
      Os::message(kInvalidLog, kInfo, kMbOk);
      return;
    }
    copy_text(command_, command_line);
    typename Os::File file = open_log();
    if (file == Os::kNoFile) return;
    u32 size = 0;
    bool read = Os::file_size(file, &size);
    if (read) {
      log_ = static_cast<char*>(Os::allocate(size + 1));
      read = log_ != nullptr && Os::read(file, log_, size);
    }
    Os::close(file);
    if (!read) {
      Os::message(kInvalidLog, log_path_, kMbOk);
      return;
    }

    u32 position = 0;
    for (u32 index = 0;; ++index) {
      u32 start = 0;
      const u32 length = next_log_line(log_, size, &position, &start);
      char* line = static_cast<char*>(Os::allocate(length + 1));
      if (line == nullptr) return;
      copy_at_most(line, log_ + start, static_cast<int>(length + 1));  // a zero byte ends it early
      bool go_on = true;
      if (index == 0) {
        go_on = undo_registration(line);
      } else if (index == 1) {
        copy_at_most(folder_, line, kWorkingBufferLength);
      } else if (!is_game_file(line) || !compose(path_, folder_, line) || !Os::delete_file(path_)) {
        ++failures_;
      }
      Os::release(line);
      if (!go_on) return;
      if (position >= size) break;
    }
    Os::message(failures_ > 0 ? "Some files could not be deleted. They were probably either in use or already "
                                "deleted."
                              : "Uninstall completed.",
                kInfo, kMbOk | kMbIconInformation);
    Os::delete_file(log_path_);
  }

  // `first` + `second` into `buffer`, or false when that would pass kMaxText characters.
  static bool compose(char* buffer, const char* first, const char* second) {
    if (length_of(first) + length_of(second) > kMaxText) return false;
    copy_text(buffer, first);
    append_text(buffer, second);
    return true;
  }

  // The Programs folder + "\" + `AddonName` + `tail` into the path buffer.
  bool compose_start_menu(const char* addon_name, const char* tail) {
    if (length_of(folder_) + 1 + length_of(addon_name) + length_of(tail) > kMaxText) return false;
    copy_text(path_, folder_);
    append_text(path_, "\\");
    append_text(path_, addon_name);
    append_text(path_, tail);
    return true;
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
    if (last == 0) {
      Os::message("Usage: UInst -<logfile>", kInfo, kMbOk);
    } else {
      Os::message(kInvalidLog, command_ + last + 1, kMbOk);
    }
    return Os::kNoFile;
  }

  // The first line, `AddonName`: the question, the registry entry, the Start Menu folder. Returns
  // false when the run ends here.
  bool undo_registration(const char* addon_name) {
    // A log without a name would address the whole list of installed programs and the Programs
    // folder itself.
    if (addon_name[0] == 0 || !compose(key_, kUninstallKeyPrefix, addon_name)) {
      Os::message(kInvalidLog, log_path_, kMbOk);
      return false;
    }
    if (Os::message("This will uninstall this addon. Are you sure you want to continue?", addon_name,
                    kMbYesNo | kMbIconQuestion) == kIdNo) {
      return false;
    }
    Os::delete_uninstall_key(key_);
    // Both a key that cannot be opened and a value that cannot be read are reported; the first
    // counts as the second too. Without the Programs folder the Start Menu step is left out.
    typename Os::Key shell_folders = Os::open_shell_folders(kShellFoldersKey);
    if (shell_folders == Os::kNoKey) Os::message(kInvalidLog, kInfo, kMbOk);
    bool found = shell_folders != Os::kNoKey && Os::read_programs(shell_folders, folder_, kWorkingBufferLength);
    Os::close_key(shell_folders);
    if (!found) {
      Os::message(kInvalidLog, kInfo, kMbOk);
      return true;
    }
    folder_[kMaxText] = 0;  // a value stored without its zero ends at the buffer
    empty_start_menu(addon_name);
    return true;
  }

  // Deletes what lies directly in the add-on's Start Menu folder, then the folder.
  void empty_start_menu(const char* addon_name) {
    if (!compose_start_menu(addon_name, "\\*.*")) {
      ++failures_;
      return;
    }
    typename Os::Found found;
    typename Os::Search search = Os::find_first(path_, &found);
    if (search == Os::kNoSearch) return;
    // The first two entries are the folder's "." and "..".
    if (Os::find_next(search, &found)) {
      while (Os::find_next(search, &found)) {
        const char* name = Os::found_name(found);
        if (!compose_start_menu(addon_name, "\\") || length_of(path_) + length_of(name) > kMaxText) {
          ++failures_;
          continue;
        }
        append_text(path_, name);
        if (!Os::delete_file(path_)) {
          Os::error_text(path_, kWorkingBufferLength);
          Os::message(path_, folder_, kMbOk);
        }
      }
    }
    Os::find_close(search);
    if (compose_start_menu(addon_name, "")) Os::remove_folder(path_);
  }

  char* command_ = nullptr;  // a copy of the command line; the log path points into it
  char* folder_ = nullptr;   // the Programs folder; from the second log line on `GamePath`
  char* path_ = nullptr;     // every composed path, and the system's error texts
  char* key_ = nullptr;      // the add-on's uninstall key
  char* log_ = nullptr;      // the whole log
  const char* log_path_ = nullptr;
  u32 failures_ = 0;         // listed files (and over-long Start Menu paths) that were not deleted
};

}  // namespace zep::uninstall
