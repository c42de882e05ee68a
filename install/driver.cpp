#include "install/driver.h"

#include <new>

#include "archive/format.h"
#include "archive/reader.h"
#include "install/backup.h"
#include "install/game_talk_tables.h"
#include "install/install_log.h"
#include "install/own_files.h"
#include "install/placement.h"
#include "install/registration.h"
#include "install/string_patch_import.h"
#include "platform/error_message.h"

namespace zep {

const char kPatchTempFile[] = "spktmp";
const char kInstalledMessage[] = "ZEP imported successfully!";

namespace {

constexpr char kLogErrorCaption[] = "ZEP log error";
// A string patch file whose data cannot be read from the archive, and what that means.
constexpr char kPatchUnreadable[] = "The string patch file %s could not be read from this installer: %e.\n%s";
// The scratch file of a string patch file (see copy_to_patch_temp_file) that could not be made,
// written or read back.
constexpr char kScratchFailure[] = "The scratch file %s in the current folder could not be %s: %e.\n"
                                   "The string patch file %s is not applied.";

// A string patch file's strrefs, kept from the appending of its texts to the placing of its resource.
struct PatchStrrefs {
  u32 first;  // the strref of its first text; kAppendRefused when its resource is not to be placed
  u32 count;  // its texts
};

// `folder` + `name` into `path`; false when it does not fit. One call of the formatter for the
// installation's paths, shorter at each of them than the formatter's own call.
[[gnu::noinline]] bool join_path(const char* folder, const char* name, PathString* path) {
  return path->format("%s%s", folder, name);
}

// One installation: what it installs, where, and how many of its steps have failed so far.
class Installation {
 public:
  Installation(const InstallSource& source, const ArchiveIndex& index, const char* game_path,
               const char* addon_name, WindowRef owner)
      : source_(source),
        index_(index),
        game_path_(game_path),
        addon_name_(addon_name),
        owner_(owner),
        rules_{addon_name, &backup_},
        backup_(game_path, addon_name, &log_) {}

  // Everything that can be checked before the first change: links in the places of the installer's
  // own files, a log already there, the talk tables and every string patch file. Returns false,
  // after a message, when the installation must not start. Kept out of line, measured (12 bytes):
  // folded into install_addon, its paths widen the frame that holds the installation itself.
  [[gnu::noinline]] bool check();
  u32 run();

 private:
  bool check_own_files();
  // These steps are kept out of line, each measured on the stub (about 140 bytes in all): folded into
  // run() or install_addon(), their large locals (paths, a registry value's buffers, messages) widen
  // the frame there, and every access to what then lies more than 127 bytes from the stack pointer
  // takes an offset of four bytes rather than one.
  [[gnu::noinline]] bool check_existing_log();
  [[gnu::noinline]] bool check_string_patch_files();
  [[gnu::noinline]] void write_uninstaller();
  [[gnu::noinline]] void create_log();
  [[gnu::noinline]] void register_and_offer_shortcuts();
  void apply_string_patch_files();
  void append_texts(PatchStrrefs* strrefs);
  void place_patched_resources(const PatchStrrefs* strrefs);
  bool copy_to_patch_temp_file(const ArchiveEntry& entry, const char* shown_name, FileRef copy,
                               const char* copy_name);
  // Reads string patch file `k` straight from the archive into `loaded`'s bytes and examines it there
  // (see examine_string_patch: a damaged file is reported, ending with `damaged_then`). An entry or
  // data that cannot be read is reported, the latter ending with `unreadable_then`, and counted:
  // kUnreadable. The one reader of the check before the installation and of the placing of resources.
  PatchStatus read_patch(u32 k, LoadedPatch* loaded, const char* unreadable_then, const char* damaged_then);
  void place_other_files();
  void open_marked_files();
  // Writes the log line of a file just placed. When the line is lost the file is taken out again (the
  // uninstaller would never know of it) and no further file is placed. Returns false then.
  bool record_placed(const char* relative_name);

  // Reads entry `number` afresh; a problem is reported and counted, and false returned. An other
  // file's name too long for any path is refused for that file alone; `quiet` does not report it
  // again (it was when the file was to be placed).
  bool read_entry(u32 number, ArchiveEntry* entry, EntryName* name, bool quiet = false);
  // Shows a failure under `caption`, `pattern` with its fields filled in, and counts the step as failed.
  void fail(const char* caption, const char* pattern, ...);

  // The fields used most come first, within the 128 bytes that an instruction reaches with an offset
  // of one byte rather than four; the large ones follow.
  const InstallSource& source_;
  const ArchiveIndex& index_;
  const char* game_path_;
  const char* addon_name_;
  WindowRef owner_;
  u32 failures_ = 0;
  bool log_failure_shown_ = false;
  bool log_lost_ = false;  // the log was not made or lost a line: no more files are placed
  u32 placed_ = 0;         // files placed and logged, and the talk tables once they hold new texts
  bool texts_appended_ = false;  // a string patch file's texts were appended to the talk tables
  PlaceRules rules_;
  InstallLog log_;
  StartMenu menu_;
  GameTalkTables tables_;
  Backup backup_;
};

bool Installation::read_entry(u32 number, ArchiveEntry* entry, EntryName* name, bool quiet) {
  ArchiveCheck check = read_entry_afresh(source_.file, index_, number, entry, name);
  if (check.damage == ArchiveDamage::kNone) return true;
  if (check.damage == ArchiveDamage::kNameUnusable) {
    if (quiet) return false;
    refuse_unusable_name(name->c_str(), owner_);
  } else {
    show_archive_damage(owner_, check);
  }
  ++failures_;
  return false;
}

void Installation::fail(const char* caption, const char* pattern, ...) {
  va_list fields;
  va_start(fields, pattern);
  show_warning_list(owner_, caption, pattern, fields);
  va_end(fields);
  ++failures_;
}

bool Installation::record_placed(const char* relative_name) {
  if (log_.append_line(relative_name)) {
    ++placed_;
    return true;
  }
  const u32 code = last_error();
  backup_.undo_placement(relative_name, owner_);
  log_lost_ = true;
  if (!log_failure_shown_) {
    // Once is enough: every later line meets the same disk.
    log_failure_shown_ = true;
    show_warning(owner_, kWriteErrorCaption,
                 "%s%s\ncould not be entered in the log %s%s%s: %e.\nIt is taken out again, and no further file is "
                 "installed.",
                 game_path_, relative_name, game_path_, addon_name_, kLogSuffix, code);
  }
  return false;
}

// Why the add-on is not complete without its uninstaller.
constexpr char kNoUninstaller[] = "\nWithout it the add-on cannot be uninstalled.";

// Step 1: the uninstaller, replaced without a question, so that it always matches this installer.
void Installation::write_uninstaller() {
  PathString path;
  if (!join_path(game_path_, kUninstallerFile, &path)) set_last_error(win_error::kFilenameTooLong);
  FileHandle file(path.length() > 0 ? create_or_replace(path.c_str()) : nullptr);
  CopyFailure failure = CopyFailure::kWrite;
  if (file.is_open()) {
    const u32 length = layout_number(kStubLayout.uninstaller_length);
    if (source_.uninstaller != nullptr) {
      failure = write_file(file.get(), source_.uninstaller, length) ? CopyFailure::kNone : CopyFailure::kWrite;
    } else {
      failure = copy_region(source_.file, layout_number(kStubLayout.uninstaller_offset), length, file.get());
    }
    if (failure == CopyFailure::kNone && !file.close()) failure = CopyFailure::kWrite;
    if (failure == CopyFailure::kNone) return;
    discard_written_file(&file, path.c_str());
  }
  // One message for a file that could not be made and for one not written whole.
  show_write_failure(owner_, failure == CopyFailure::kRead, game_path_, kUninstallerFile, kNoUninstaller);
  ++failures_;
}

// Step 2. Without its log the add-on cannot be uninstalled: that is a failure of its own, and no file
// is placed then.
void Installation::create_log() {
  if (log_.create(game_path_, addon_name_)) return;
  log_failure_shown_ = true;
  log_lost_ = true;
  PathString log_name;
  join_path(addon_name_, kLogSuffix, &log_name);
  show_write_failure(owner_, false, game_path_, log_name.c_str(), "\nNo file is installed: none could be uninstalled.");
}

// What tells the add-on's own shortcuts in its Start Menu folder.
struct OwnShortcuts {
  const ArchiveIndex& index;
  const InstallLog& log;
};

// True when `name` is the shortcut made for the file `file`: one test for both kinds of file below.
bool is_shortcut_of(const char* file, const char* name) {
  StartMenuPath link;
  return shortcut_name(file, &link) && same_name(link.c_str(), link.length(), name);
}

// True when `name` is the shortcut this installation makes for one of its files opened after
// installation, or one an earlier installation made for a file its log lists (a readme of an earlier
// version, say), as the uninstaller removes it.
bool is_own_shortcut(const char* name, const void* context) {
  const OwnShortcuts& own = *static_cast<const OwnShortcuts*>(context);
  for (u32 k = 0; k < own.index.file_count(); ++k) {
    const u32 number = own.index.patch_count() + k;
    if (own.index.entry(number).flags == kRunAfterInstall && is_shortcut_of(own.index.name(number), name)) return true;
  }
  u32 length = 0;
  const char* listed = own.log.listed().names(&length);
  for (u32 at = 0; at < length; at += text_length(listed + at) + 1) {
    if (is_shortcut_of(listed + at, name)) return true;
  }
  return false;
}

// Steps 3 to 6. A user without the right to write the registry may install all the same: the
// registration's own failures are not counted. An uninstall command too long for the uninstaller
// is, as the add-on could then never be uninstalled from the list of programs or the Start Menu.
void Installation::register_and_offer_shortcuts() {
  // A Start Menu folder of the add-on's name that holds another program's files would be taken for
  // the add-on's by its uninstaller, which clears that folder when the entry in the list of programs
  // is the add-on's: the add-on then gets neither. The folder is looked at before anything is written.
  const OwnShortcuts own = {index_, log_};
  StartMenuPath folder;
  if (find_start_menu_folder(&folder) && folder.append("\\") && folder.append(addon_name_) &&
      start_menu_folder_is_foreign(folder.c_str(), is_own_shortcut, &own)) {
    show_warning(owner_, kInstallerCaption,
                 "The Start Menu folder\n%s\nholds files this add-on did not make. The add-on gets no Start Menu "
                 "shortcuts and no entry in the list of installed programs, whose uninstall would take that "
                 "folder for the add-on's.\nTo uninstall it, run %s -%s%s in\n%s",
                 folder.c_str(), kUninstallerFile, addon_name_, kLogSuffix, game_path_);
    return;
  }
  UninstallKey key;
  key.open_and_name(addon_name_, owner_);
  ask_for_shortcuts(owner_, &menu_);
  UninstallCommand command;
  const bool command_made = build_uninstall_command(game_path_, addon_name_, owner_, &command);
  if (command_made) {
    key.set_command(command.c_str());
  } else {
    // Without a command the uninstaller could not know the shortcuts for its own: none is made.
    menu_.wanted = false;
    ++failures_;
  }
  if (!menu_.wanted) return;
  make_addon_start_menu_folder(addon_name_, owner_, &menu_, is_own_shortcut, &own);
  if (!menu_.wanted || !command_made) return;
  // The shortcut's target and arguments are the command's two parts: the uninstaller's path in its
  // quotes, then " -" and the log's path.
  const char* arguments = command.split_at(1 + text_length(game_path_) + text_length(kUninstallerFile));
  create_start_menu_shortcut(menu_, "Uninstall.lnk", command.c_str() + 1, arguments, owner_);
}

// Copies a string patch file's data to `copy`, the temporary file `copy_name` ("spktmp") that the caller
// made in the current folder (a scratch file: held open while it is read back, deleted by the system
// when it is closed; a "spktmp" of the player's is never touched, the first free name after it is
// taken), or null when it could not be made. A copy that is not complete is reported and not applied.
bool Installation::copy_to_patch_temp_file(const ArchiveEntry& entry, const char* shown_name, FileRef copy,
                                           const char* copy_name) {
  const CopyFailure failure =
      copy == nullptr ? CopyFailure::kWrite
                      : copy_region(source_.file, index_.archive_offset() + entry.data_offset, entry.data_length, copy);
  if (failure == CopyFailure::kNone) return true;
  if (failure == CopyFailure::kRead) {
    fail(kReadErrorCaption, kPatchUnreadable, shown_name, last_error(), kNotApplied);
  } else {
    fail(kWriteErrorCaption, kScratchFailure, copy_name, "written", last_error(), shown_name);
  }
  return false;
}

PatchStatus Installation::read_patch(u32 k, LoadedPatch* loaded, const char* unreadable_then,
                                     const char* damaged_then) {
  ArchiveEntry entry;
  EntryName name;
  if (!read_entry(k, &entry, &name)) return PatchStatus::kUnreadable;
  HeapBuffer& bytes = loaded->bytes;
  if (!bytes.allocate(entry.data_length) ||
      (entry.data_length > 0 && (!seek_file(source_.file, index_.archive_offset() + entry.data_offset) ||
                                 !read_file(source_.file, bytes.data(), entry.data_length)))) {
    fail(kReadErrorCaption, kPatchUnreadable, name.c_str(), last_error(), unreadable_then);
    return PatchStatus::kUnreadable;
  }
  return examine_string_patch(bytes.data(), entry.data_length, name.c_str(), addon_name_, damaged_then, owner_,
                              loaded);
}

bool Installation::check_existing_log() {
  const ExistingLog existing = log_.read_existing(game_path_, addon_name_);
  if (existing == ExistingLog::kNone || existing == ExistingLog::kContinued) return true;
  if (existing == ExistingLog::kNotThisAddons) {
    show_warning(owner_, kLogErrorCaption,
                 "The file %s%s%s is not this add-on's log: its first line is not the add-on's name.\nKeep it: if "
                 "it is another add-on's log, rename it after that add-on; otherwise move it out of the game "
                 "folder. Then run this installer again.%s",
                 game_path_, addon_name_, kLogSuffix, kNothingInstalled);
  } else {
    // One that cannot be read, and why; the same fields for both patterns.
    const bool large = existing == ExistingLog::kTooLarge;
    show_warning(owner_, kLogErrorCaption,
                 large ? "The log %s%s%s is too large to read (over %u MB).\nMove it out of the game folder if it is "
                         "not this add-on's, then run this installer again.%s"
                       : "The log %s%s%s cannot be read: %e.%s",
                 game_path_, addon_name_, kLogSuffix, large ? kLargestLog >> 20 : last_error(), kNothingInstalled);
  }
  return false;
}

bool Installation::check_string_patch_files() {
  if (index_.patch_count() == 0) return true;
  if (!tables_.load(game_path_, owner_)) return false;
  for (u32 k = 0; k < index_.patch_count(); ++k) {
    LoadedPatch loaded;
    const char* then = kNothingInstalled + 1;  // without its line end
    const PatchStatus status = read_patch(k, &loaded, then, then);
    if (status == PatchStatus::kUnreadable || status == PatchStatus::kRefused) return false;
  }
  return true;
}

// The files the installer writes under names of its own are written where the names say, or not at
// all: a link in the place of one of them stops the installation before it starts. (A name too long
// for a path is refused where the file is written.)
bool Installation::check_own_files() {
  PathString name;
  PathString path;
  bool link = false;
  for (u32 k = kFirstWrittenOwnFile; k < kOwnFileCount && !link; ++k) {
    link = own_file_name(k, addon_name_, &name) && join_path(game_path_, name.c_str(), &path) &&
           is_link(path.c_str());
  }
  if (!link) return true;
  refuse_link(path.c_str(), "\nRemove the link: the installer keeps a file there.", kNothingInstalled, owner_);
  return false;
}

bool Installation::check() {
  return check_own_files() && check_existing_log() && backup_.prepare(owner_) && check_string_patch_files();
}

// Step 7, first half: each string patch file, copied to "spktmp" and read back, adds its texts to the
// talk tables.
void Installation::append_texts(PatchStrrefs* strrefs) {
  for (u32 k = 0; k < index_.patch_count(); ++k) {
    strrefs[k] = {kAppendRefused, 0};
    g_copy_progress.file = k + 1;
    ArchiveEntry entry;
    EntryName name;
    if (!read_entry(k, &entry, &name)) continue;
    PathString copy_name;
    FileHandle copy(create_free_scratch_file(kPatchTempFile, &copy_name));
    if (!copy_to_patch_temp_file(entry, name.c_str(), copy.get(), copy_name.c_str())) continue;
    LoadedPatch loaded;
    switch (read_string_patch_file(copy.get(), name.c_str(), addon_name_, owner_, &loaded)) {
      case PatchStatus::kSound: {
        const u32 first = append_patch_texts(loaded, &tables_);
        if (first == kAppendRefused) {
          fail(kStringPatchCaption, "The texts of the string patch file %s do not fit into the talk table.\n%s",
               name.c_str(), kNotApplied);
          break;
        }
        strrefs[k] = {first, loaded.patch.entry_count};
        texts_appended_ = texts_appended_ || loaded.patch.entry_count > 0;
        break;
      }
      case PatchStatus::kUnreadable:
        // The copy that was just written could not be read back.
        fail(kReadErrorCaption, kScratchFailure, copy_name.c_str(), "read back", last_error(), name.c_str());
        break;
      case PatchStatus::kSpkn:
        show_spkn_refusal(owner_);
        ++failures_;
        break;
      case PatchStatus::kNameRefused:
        accept_placement_name(loaded.relative_name.c_str(), addon_name_, owner_);  // says why
        ++failures_;
        break;
      case PatchStatus::kRefused:
        ++failures_;
        break;
      case PatchStatus::kPassedOver:
        // Not a string patch file of any kind this installer knows: passed over, as it always was.
        break;
    }
  }
}

// Step 7, second half, once the talk tables hold every text: each resource with its strrefs goes to
// the override folder, and into the log when it is placed.
void Installation::place_patched_resources(const PatchStrrefs* strrefs) {
  for (u32 k = 0; k < index_.patch_count(); ++k) {
    if (strrefs[k].first == kAppendRefused) continue;
    LoadedPatch loaded;
    // Its texts are in the talk tables already: what cannot be read misses only its resource.
    const PatchStatus status = read_patch(k, &loaded, "Its resource is not installed.", kNotApplied);
    if (status == PatchStatus::kUnreadable) continue;  // reported and counted
    if (status != PatchStatus::kSound || loaded.patch.entry_count != strrefs[k].count) {
      ++failures_;
      continue;
    }
    if (log_lost_) return;
    const PlaceResult result = place_patched_resource(loaded, strrefs[k].first, game_path_, rules_, owner_);
    if (result == PlaceResult::kPlaced) {
      record_placed(loaded.relative_name.c_str());
    } else if (result != PlaceResult::kDeclined) {
      ++failures_;
    }
  }
}

// Step 7: the texts of every string patch file are appended and the talk tables saved before any
// resource that refers to them is placed. When the tables cannot be saved, no such resource is.
void Installation::apply_string_patch_files() {
  // One record per string patch file: the archive's checked table holds 20 bytes for each, so this
  // is never more than the archive's size.
  HeapBuffer block;
  if (!block.allocate(index_.patch_count() * static_cast<u32>(sizeof(PatchStrrefs)))) {
    fail(kStringPatchCaption, "The string patch files could not be applied: %e.", last_error());
    return;
  }
  PatchStrrefs* strrefs = reinterpret_cast<PatchStrrefs*>(block.data());
  append_texts(strrefs);
  if (!tables_.save(game_path_, owner_)) {
    ++failures_;
    return;
  }
  if (texts_appended_) ++placed_;  // the talk tables hold the add-on's texts
  place_patched_resources(strrefs);
}

// Step 8: each file streamed from the archive straight into the game folder.
void Installation::place_other_files() {
  for (u32 k = 0; k < index_.file_count() && !log_lost_; ++k) {
    g_copy_progress.file = index_.patch_count() + k + 1;
    ArchiveEntry entry;
    EntryName name;
    if (!read_entry(index_.patch_count() + k, &entry, &name)) continue;
    const PlaceData data = {nullptr, source_.file, index_.archive_offset() + entry.data_offset, entry.data_length};
    FileHandle placed;
    const PlaceResult result = place_file(game_path_, name.c_str(), data, rules_, owner_, &placed);
    if (result == PlaceResult::kPlaced && !placed.close()) {
      // Its data may not have reached the disk: a file that may be cut short does not stay, and the
      // original goes back in its place.
      backup_.undo_placement(name.c_str(), owner_);
      show_write_failure(owner_, false, game_path_, name.c_str(), kFileNotInstalled);
      ++failures_;
    } else if (result == PlaceResult::kPlaced) {
      // Only what the add-on placed goes into the log: a file the player kept, or one that could not
      // be written, is not the uninstaller's to delete.
      record_placed(name.c_str());
    } else if (result == PlaceResult::kFailed || result == PlaceResult::kRefused) {
      ++failures_;
    }
  }
}

// Step 10, once every file is in place and the talk table is saved.
void Installation::open_marked_files() {
  for (u32 k = 0; k < index_.file_count(); ++k) {
    ArchiveEntry entry;
    EntryName name;
    if (!read_entry(index_.patch_count() + k, &entry, &name, true)) continue;
    // A file that may not be placed is never opened: its name could point anywhere.
    if (entry.flags != kRunAfterInstall || !may_place(name.c_str(), addon_name_)) continue;
    PathString full_path;
    if (!join_path(game_path_, name.c_str(), &full_path)) continue;  // reported when placed
    if (!source_.unattended) open_with_shell(owner_, full_path.c_str());
    if (!menu_.wanted) continue;
    StartMenuPath link_name;
    if (!shortcut_name(name.c_str(), &link_name)) continue;
    create_start_menu_shortcut(menu_, link_name.c_str(), full_path.c_str(), "", owner_);
  }
}

u32 Installation::run() {
  // The progress counts the add-on's own files, not the uninstaller.
  const WindowRef progress = g_copy_progress.shown_in;
  g_copy_progress.shown_in = nullptr;
  write_uninstaller();
  g_copy_progress.shown_in = progress;
  create_log();
  // Without its log nothing placed could ever be uninstalled: the installation then ends here.
  if (!log_lost_) {
    register_and_offer_shortcuts();
    // The progress counts the string patch files and the other files, and their bytes.
    const u32 files = index_.patch_count() + index_.file_count();
    g_copy_progress.files = files;
    g_copy_progress.done = 0;
    g_copy_progress.total = 0;
    for (u32 k = 0; k < files; ++k) g_copy_progress.total += index_.entry(k).data_length;
    if (tables_.loaded()) apply_string_patch_files();
    place_other_files();
    // Every file has had its turn, whether it was copied or not.
    g_copy_progress.file = files;
    g_copy_progress.done = g_copy_progress.total;
    show_copy_progress();
    open_marked_files();
  }
  log_.close();
  // The log is one step, however many of its lines were lost.
  if (log_.failures() > 0 || log_lost_) ++failures_;

  MessageText text;
  describe_installation(failures_, placed_ == 0, &text);
  show_message(owner_, text.c_str(), kInstallerCaption, failures_ == 0 ? kMbOk : kMbOk | kMbIconWarning);
  return failures_;
}

}  // namespace

void describe_installation(u32 failures, bool none_placed, MessageText* text) {
  if (failures == 0) {
    text->assign(kInstalledMessage);
    return;
  }
  text->format("ZEP imported with errors: %u %s of the installation failed.\n%s", failures,
               failures == 1 ? "step" : "steps",
               none_placed ? "Nothing of the add-on was installed." : "The add-on may not be complete.");
}

InstallReport install_addon(const InstallSource& source, const char* game_path, const char* addon_name,
                            WindowRef owner) {
  // Without a name there is no key of its own to register, no Start Menu folder and no log name.
  if (addon_name[0] == 0) {
    show_message(owner,
                 "This installer's file name gives the add-on no name.\nPlease rename it (for example to MyAddon.exe).",
                 "ZEP name error", kMbOk | kMbIconWarning);
    return {false, 0};
  }
  // The archive is checked again, as it is for every command: the working copy is opened afresh.
  ArchiveIndex index;
  ArchiveCheck check = read_archive_index(source.file, source.archive_offset, &index);
  // These two damages name nothing but themselves: the check's other fields are not read for them.
  if (check.damage == ArchiveDamage::kNone && source.listed != nullptr) {
    if (!source.listed->usable) {
      check.damage = ArchiveDamage::kNotListed;
    } else if (source.listed->patch_count != index.patch_count() || source.listed->file_count != index.file_count()) {
      check.damage = ArchiveDamage::kChanged;
    }
  }
  if (check.damage != ArchiveDamage::kNone) {
    show_archive_damage(owner, check);
    return {false, 0};
  }
  // The installation's members start mostly as zeros, which their constructors write field by field,
  // each an instruction of up to 8 bytes at its offset in this large frame. Made in storage that is
  // zeroed first in one go, those writes repeat what is there, and the compiler leaves them out (about
  // 430 bytes): it may, as this file is built with -flifetime-dse=1 (cmake/windows.cmake), which keeps
  // the stores made before a constructor runs rather than taking the storage for undefined there.
  alignas(Installation) u8 storage[sizeof(Installation)] = {};
  Installation& installation = *new (storage) Installation(source, index, game_path, addon_name, owner);
  const bool started = installation.check();
  const u32 failures = started ? installation.run() : 0;
  installation.~Installation();
  return {started, failures};
}

}  // namespace zep
