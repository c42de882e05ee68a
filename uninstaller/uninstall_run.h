// The uninstaller's run, written once for both of its homes. `Os` supplies the operations: in
// UInst.exe they are the Windows calls themselves (uninstaller/main.cpp), which keeps the program
// inside its 4,096-byte slot; on the host they go through the platform seam (uninstaller.cpp), for the
// zep tool and the tests. Strings are handled with the functions of uninstaller/text.h.
//
// What it may delete is decided from the log's own place, never from what the log says alone: the
// game folder is the folder that holds the log; the log's first line must be a plain add-on name equal
// to the log's own file name; a file line that names nothing inside the game folder is passed over,
// and so is one that names a file of the installer's own or of another installation (see kKeptNames).
// A file whose original the installation kept in "<AddonName>.zep-backup" is deleted only when that
// original can be put back. Only when every listed file is gone are the originals put back and the
// emptied backup folder and the log removed; otherwise everything stays as it is, the log whole, and
// the player can run it again: files that are gone already are passed over then. The uninstall key of
// the add-on's name, and with it the add-on's Start Menu folder, are the installation's only when the
// key's command starts UInst.exe on this very log; only then do the key, "Uninstall.lnk", the shortcut
// made for each listed file and the emptied folder go. Any other key, and whatever else the folder
// holds, stays. The last message names the files whose originals cannot be put back.
//
// UInst.exe has 3,584 bytes for its code, its texts, its import tables and its manifest, and this run
// is most of its code; some of what follows is written the way that costs it the fewest bytes, each
// such choice said where it is made.
#pragma once

#include "install/log_lines.h"
#include "platform/platform.h"
#include "uninstaller/text.h"
#include "uninstaller/uninstaller.h"

namespace zep::uninstall {

// Bytes of the names the last message gives (see Uninstaller::fail).
constexpr u32 kNamesLength = 4 * kWorkingBufferLength;

inline const char kInfo[] = "Info";
inline const char kInvalidLog[] = "Invalid log file!";
// The two registry keys, below the prefix they share (one copy of it in the program). Wherever a
// separator is needed alone, it is the prefix's last character: one text less.
inline const char kWindowsKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\";
inline constexpr const char* kSeparator = kWindowsKey + sizeof kWindowsKey - 2;
inline const char kUninstall[] = "Uninstall";  // the key, and the Start Menu's shortcut with ".lnk"
inline const char kShellFoldersKey[] = "Explorer\\Shell Folders";

// Below the game folder, after the add-on's name; a folder path with its separator, as Windows takes
// it both to remove the folder and to reach what it holds.
inline const char kBackupFolder[] = ".zep-backup\\";

// The first parts of a listed path that are never deleted or put back, whatever a log says: the talk
// tables and the files the installer writes beside them, the uninstaller itself, and, for a name that
// begins with a dot, every name that ends so: every add-on's log, and every add-on's backup folder
// with everything in it. No installation places a file there. The names one after the other, each
// ended by its zero, and an empty one at the end.
inline constexpr char kKeptNames[] =
    "dialog.tlk\0dialogF.tlk\0dialog.tlk.new\0dialogF.tlk.new\0dialog.tlk.old\0dialogF.tlk.old\0UInst.exe\0.log\0"
    ".zep-backup\0";

// Where the kept name `name` is in kKeptNames, or the offset of the empty name at its end: the program
// keeps one copy of each text that is also a kept name.
constexpr u32 kept_name_at(const char* name) {
  u32 at = 0;
  for (; kKeptNames[at] != 0; at += length_of(kKeptNames + at) + 1) {
    u32 k = 0;
    while (kKeptNames[at + k] != 0 && kKeptNames[at + k] == name[k]) ++k;
    if (kKeptNames[at + k] == name[k]) break;
  }
  return at;
}
static_assert(kept_name_at(".log") < sizeof kKeptNames - 1 && kept_name_at("UInst.exe") < sizeof kKeptNames - 1,
              "both are kept names");
inline constexpr const char* kLog = kKeptNames + kept_name_at(".log");
inline constexpr const char* kUInst = kKeptNames + kept_name_at("UInst.exe");

// What follows UInst.exe in the command of this log's key, quoted as this installer stores it (from
// here) or unquoted as older ones did (from the blank on).
inline const char kQuotedDash[] = "\" -";

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

// The last messages. Each adds, when there are any, the names the run noted (see fail), after the
// line that says what they are; the completed one also what is said of a moved game and of the key.
inline const char kIncomplete[] =
    "Some files could not be deleted. They were probably either in use or already deleted.\n"
    "Run this again to finish.";
inline const char kNotPutBack[] =
    "\nThese stay, as their originals cannot be put back from the .zep-backup folder (a link on the way, or no access):";
inline const char kCompleted[] = "Uninstall completed.";
inline const char kOriginalsStay[] = "\nThe originals of these stay in the .zep-backup folder:";
inline const char kMoved[] = "\nThe game had moved: the log's folder was used.";
// What the last message says of the add-on's uninstall key: nothing when it is this log's, and
// there is none, or one without a command, which shows in no list.
inline const char kKeyIsOthers[] = "\nThe installed programs entry of this name is not this log's: it stays.";

template <class Os>
class Uninstaller {
 public:
  Outcome run(const char* command_line) {
    Outcome outcome = Outcome::kInvalid;
    char* block = static_cast<char*>(Os::allocate(kBlockLength));
    block_ = block;
    if (block != nullptr) {
      // One loop, rather than one statement for each buffer.
      for (char*& buffer : buffers_) {
        buffer = block;
        block += kWorkingBufferLength;
      }
      outcome = work(command_line);
    }
    Os::release(log_);
    Os::release(block_);
    return outcome;
  }

  // Bytes of the one block that holds every buffer: five working buffers, then the names.
  static constexpr u32 kBlockLength = 5 * kWorkingBufferLength + kNamesLength;

 private:
  // The buffers in the block, in this order, each of kWorkingBufferLength bytes but the names.
  enum { kGame, kPath, kOther, kPrograms, kSpare, kNames, kBufferCount };
  char* game() { return buffers_[kGame]; }        // the game folder: the log's own folder, with its separator
  char* path() { return buffers_[kPath]; }        // game files, and the uninstall command this log's key has
  char* other() { return buffers_[kOther]; }      // the Shell Folders key, then the add-on's uninstall key
  char* programs() { return buffers_[kPrograms]; }  // the add-on's Start Menu folder with its separator, or empty
  // The values read from the registry, then shortcuts and originals. The names after it, none yet while
  // values are read into it, give it a zero more: a value that fills it ends there.
  char* spare() { return buffers_[kSpare]; }
  char* names() { return buffers_[kNames]; }  // the names for the last message, each after a line end

  // The last message is written over the working buffers from the game folder's up to the names, which
  // the run no longer needs then: a buffer of its own would cost UInst.exe the code that places it.
  static constexpr u32 kMessageLength = (kNames - kGame) * kWorkingBufferLength;
  // Characters of the last messages at their longest, with every name that fits the names.
  static constexpr u32 kLongestIncomplete = sizeof kIncomplete - 1 + sizeof kNotPutBack - 1 + kNamesLength - 1;
  static constexpr u32 kLongestCompleted =
      sizeof kCompleted - 1 + sizeof kOriginalsStay - 1 + kNamesLength - 1 + sizeof kMoved - 1 + sizeof kKeyIsOthers - 1;
  static_assert(kLongestIncomplete < kMessageLength && kLongestCompleted < kMessageLength,
                "the last message holds every name that fits the names");

  // The result comes back from here rather than through a member, so that UInst.exe, which does not
  // look at it, keeps none of it.
  Outcome work(const char* command_line) {
    command_ = command_line;
    if (length_of(command_line) >= kWorkingBufferLength) {
      Os::message("The command line is longer than 259 characters.\nRun UInst -<AddonName>.log in the game folder.",
                  kInfo, kMbOk);
      return Outcome::kInvalid;
    }
    typename Os::File file = open_log();
    if (file == Os::kNoFile) return Outcome::kInvalid;
    log_ = Os::read_log(file, &size_);
    Os::close(file);
    if (log_ == nullptr || !check_log()) {
      Os::message(kInvalidLog, log_path_, kMbOk);
      return Outcome::kInvalid;
    }
    if (Os::message("This will uninstall this addon. Are you sure you want to continue?", name_,
                    kMbYesNo | kMbIconQuestion) == kIdNo) {
      return Outcome::kDeclined;
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
      while (position < size_) {
        handle_line(take_line(&position));  // an empty line names the game folder itself: passed over
        *line_end_ = line_end_byte_;
      }
      if (pass_ == 0 && failures_ > 0) {
        summary(kIncomplete, kNotPutBack, nullptr, nullptr);
        return Outcome::kIncomplete;
      }
    }
    // Everything is gone: the registration, the shortcuts, the backup folder and the log go too.
    if (ours_) {
      delete_shortcut(kUninstall);
      Os::remove_folder(programs());  // an empty path, without a Start Menu, names no folder
      Os::delete_uninstall_key(other());
    }
    // An original that could not be put back stays in the backup folder, which then stays too.
    if (join(spare(), kWorkingBufferLength, game(), name_, kBackupFolder)) Os::remove_folder(spare());
    summary(kCompleted, kOriginalsStay, moved_, key_note_);
    Os::delete_file(log_path_);
    return Outcome::kCompleted;
  }

  // Shows the last message: `text`, and after `intro` the names noted, if any, then `more` and `key`.
  void summary(const char* text, const char* intro, const char* more, const char* key) {
    join(game(), kMessageLength, text, names()[0] != 0 ? intro : nullptr, names(), more, key);
    Os::message(game(), kInfo, kMbOk | kMbIconInformation);
  }

  // The log's next line from `*position` on, which moves past it; the line ends with a zero in place
  // for the moment, the byte it replaced kept to be put back.
  char* take_line(u32* position) {
    u32 start = 0;
    const u32 length = next_log_line(log_, size_, position, &start);
    line_end_ = log_ + start + length;
    line_end_byte_ = *line_end_;
    *line_end_ = 0;
    return log_ + start;
  }

  // Checks the log's head against its own place, and sets name_, the game folder, moved_ and where the
  // file lines begin. The game folder is the folder of the log path; the first line must be a plain name
  // that, with ".log", is the log's file name. Its head lines keep their ending zeros.
  bool check_log() {
    join(game(), kWorkingBufferLength, log_path_);
    char* file_name = game();
    for (char* at = game(); *at != 0; ++at) {
      if (is_separator(*at)) file_name = at + 1;
    }
    u32 position = 0;
    name_ = take_line(&position);
    if (!is_plain_name(name_) || !join(path(), kWorkingBufferLength, name_, kLog) ||
        Os::compare_ignoring_case(path(), file_name) != 0) {
      return false;
    }
    *file_name = 0;  // the game folder ends with its separator
    if (position < size_) {
      const char* folder = take_line(&position);
      // A log named without its folder is in the current one, wherever the log says the game is.
      if (game()[0] != 0 && Os::compare_ignoring_case(folder, game()) != 0) moved_ = kMoved;
    }
    first_file_line_ = position;
    return true;
  }

  // One listed file: in the first pass it is deleted (one that is gone already counts as deleted),
  // unless the original the installation kept of it cannot be put back; in the second that original
  // is put back. A file that cannot be deleted and an original that cannot be put back are failures,
  // and the latter is named in the last message.
  void handle_line(char* line) {
    if (is_passed_over(line) || !join(path(), kWorkingBufferLength, game(), line) || !may_touch(path())) return;
    char* const base = base_;
    char* const dot = dot_;
    // The original's place; a path too long to fit holds none, as the installation makes none there.
    const bool backup = join(spare(), kWorkingBufferLength, game(), name_, kBackupFolder, line);
    const bool reachable = backup && may_touch(spare());
    if (pass_ == 0) {
      // Its original, if it has one, must be put back once the file is gone: no link on its way, and
      // it can be read.
      if (backup && (!reachable || !readable(spare()))) {
        fail(line);
        return;
      }
      // The log says the add-on placed the file: its read-only mark is no reason to keep it.
      Os::clear_read_only(path());
      if (!Os::delete_file(path()) && !Os::missing()) {
        ++failures_;
      } else if (ours_) {
        // The shortcut the installation made for the file if it was one to open: its name cut at its
        // last dot (the path that may_touch took ends there now).
        *dot = 0;
        delete_shortcut(base);
      }
      return;
    }
    if (!reachable) return;
    if (!Os::move_file(spare(), path())) {
      if (!Os::missing()) fail(line);  // the run goes on: the file itself is gone
      return;
    }
    // The backup's folders go as they empty, the backup folder itself included.
    for (char* at = spare() + length_of(spare()); at > spare() + length_of(game()); --at) {
      if (!is_separator(*at)) continue;
      *at = 0;
      Os::remove_folder(spare());
    }
  }

  // True when the file `path` can be opened to be read, or is not there at all.
  static bool readable(const char* path) {
    typename Os::File file = Os::open_for_reading(path);
    if (file == Os::kNoFile) return Os::missing();
    Os::close(file);
    return true;
  }

  // Counts a failure, and adds `line` to the names the last message gives, while they fit.
  void fail(const char* line) {
    ++failures_;
    const u32 used = length_of(names());
    join(names() + used, kNamesLength - used, "\n", line);  // leaves the names as they were when it does not fit
  }

  // Where the part that ends at `end` ends the way Windows takes it: without its dots and blanks.
  static char* trim(char* part, char* end) {
    while (end > part && (end[-1] == '.' || end[-1] == ' ')) --end;
    return end;
  }

  // True when the first part of `line` (up to its first separator), the way Windows takes it, names
  // nothing an installation placed: nothing at all (the game folder itself, or a path from the
  // drive's root), the game folder or its parent ("." and "..", and the like), or one of kKeptNames,
  // compared without regard to case; or when it may be another name's short form (a "~" and a
  // digit, as in "BETA~1.ZEP"). Such a line is passed over in both passes, and is no failure. (The
  // later parts are may_touch's.)
  static bool is_passed_over(char* line) {
    char* end = line;
    for (; *end != 0 && !is_separator(*end); ++end) {
      if (*end == '~' && static_cast<unsigned char>(end[1] - '0') <= 9) return true;
    }
    end = trim(line, end);
    if (end == line) return true;
    const char saved = *end;
    *end = 0;
    // A loop that ends at the name found, or at the empty one, needs no flag of its own.
    const char* name = kKeptNames;
    u32 length;
    while ((length = length_of(name)) != 0) {
      const char* from = end - length;
      if (from >= line && (from == line || *name == '.') && Os::compare_ignoring_case(from, name) == 0) break;
      name += length + 1;
    }
    *end = saved;
    return length != 0;
  }

  // True when `path`, the game folder followed by a file line whose first part is_passed_over let
  // through, names a file inside the game folder that the uninstaller may delete or put back. What
  // follows the game folder must not hold a drive or stream colon or a later part that names a folder
  // itself or its parent ("." and "..", also spelled with the dots and blanks at their end that
  // Windows drops): such a line names nothing the installation placed and is passed over. A path
  // whose folders below the game folder include a symbolic link, junction or other reparse point
  // could name anything on the disk: it is never followed, and counts as a failure, so that the file
  // and the add-on stay. (A link at the path's end is itself what is deleted or moved, not what it
  // points to.) Separators are left as backslashes. Sets base_ and dot_.
  bool may_touch(char* path) {
    char* part = path + length_of(game());
    char* dot = nullptr;
    for (char* at = part;; ++at) {
      if (*at == ':') return false;
      if (*at == '.') dot = at;
      if (*at != 0 && !is_separator(*at)) continue;
      if (at > part && trim(part, at) == part) return false;
      if (*at == 0) {
        base_ = part;
        dot_ = dot >= part ? dot : at;
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

  // Reads the value `value` of kWindowsKey's subkey `key` (and `name` below it, if not null), of
  // HKEY_LOCAL_MACHINE (`machine`) or HKEY_CURRENT_USER, into the spare buffer; the key's path stays
  // in the other buffer. Returns 0 or the registry's error code. A key path too long to fit is empty:
  // that names the root, which has no such value.
  u32 read_setting(bool machine, const char* key, const char* name, const char* value) {
    join(other(), kWorkingBufferLength, kWindowsKey, key, kSeparator, name);
    return Os::read_value(machine, other(), value, spare());
  }

  // True when the add-on's uninstall key is this log's: its command starts UInst.exe in the log's
  // folder with this log, quoted as this installer stores it or unquoted as older ones did, compared
  // without regard to case. The key's path stays in the other buffer for the end of the run. A key
  // with another command is noted for the last message; one without a command shows in no list and
  // is left alone without a word.
  bool key_is_ours() {
    const u32 result = read_setting(true, kUninstall, name_, "UninstallString");
    if (result == kNoSuchEntry) return false;
    const char* command = spare();
    const bool quoted = command[0] == '"';
    if (result == 0 && join(path(), kWorkingBufferLength, game(), kUInst, kQuotedDash + !quoted, log_path_) &&
        Os::compare_ignoring_case(command + quoted, path()) == 0) {
      return true;
    }
    key_note_ = kKeyIsOthers;
    return false;
  }

  // Deletes the shortcut `name`.lnk in the add-on's Start Menu folder; nothing without a Start Menu
  // folder, or when the path would not fit.
  void delete_shortcut(const char* name) {
    if (programs()[0] != 0 && join(spare(), kWorkingBufferLength, programs(), name, ".lnk")) Os::delete_file(spare());
  }

  // The add-on's Start Menu folder, from the Programs folder read once; empty when that cannot be
  // read (the Start Menu is then left alone). A value that fills the buffer is too long for that path,
  // and an empty one names no folder.
  void find_start_menu() {
    if (read_setting(false, kShellFoldersKey, nullptr, "Programs") != 0) {
      Os::message(kInvalidLog, kInfo, kMbOk);
    } else if (spare()[0] != 0) {
      join(programs(), kWorkingBufferLength, spare(), kSeparator, name_, kSeparator);
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

  char* block_ = nullptr;
  // The command line itself, which nothing changes while the run lasts, rather than a copy of it: one
  // buffer and one copy less. The log path points into it.
  const char* command_ = nullptr;
  char* buffers_[kBufferCount] = {};  // see the functions named after each
  bool ours_ = false;                 // the add-on's uninstall key is this log's
  const char* key_note_ = nullptr;    // what the last message says of the key
  char* base_ = nullptr;              // the last part of the path may_touch took
  char* dot_ = nullptr;               // where its last dot is, or its end
  char* log_ = nullptr;               // the whole log; the head lines are terminated in place
  u32 size_ = 0;                      // bytes of the log
  char* line_end_ = nullptr;          // where take_line ended the line
  char line_end_byte_ = 0;            // and the byte that was there
  u32 pass_ = 0;                      // 0 while files are deleted, 1 while originals are put back
  const char* log_path_ = nullptr;
  const char* name_ = nullptr;        // `AddonName`, the first line, inside log_
  u32 first_file_line_ = 0;
  const char* moved_ = nullptr;       // what the last message says when the game had moved
  u32 failures_ = 0;                  // listed files that remain, or originals not put back
};

}  // namespace zep::uninstall
