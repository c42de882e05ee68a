#include "install/driver.h"

#include "archive/format.h"
#include "archive/reader.h"
#include "install/string_patch_import.h"
#include "dialog/talk_table.h"
#include "install/install_log.h"
#include "install/placement.h"
#include "install/registration.h"
#include "platform/error_message.h"

namespace zep {

const char kPatchTempFile[] = "spktmp";
const char kInstalledMessage[] = "ZEP imported successfully!";
const char kFinalCaption[] = "ZEP SFX";

namespace {

constexpr char kWriteError[] = "Write error";
constexpr char kReadError[] = "ZEP read Error";

// One installation: what it installs, where, and how many of its steps have failed so far.
class Installation {
 public:
  Installation(const InstallSource& source, const ArchiveIndex& index, const char* game_path,
               const char* addon_name, WindowRef owner)
      : source_(source), index_(index), game_path_(game_path), addon_name_(addon_name), owner_(owner) {}

  u32 run();

 private:
  void write_uninstaller();
  void create_log();
  void register_and_offer_shortcuts();
  void apply_string_patch_files();
  bool copy_to_patch_temp_file(const ArchiveEntry& entry);
  void place_other_files();
  void open_marked_files();
  void append_log_line(const char* line);

  // Reads entry `number` afresh; a problem is reported and counted, and false returned.
  bool read_entry(u32 number, ArchiveEntry* entry, EntryName* name);
  // Reports the last error code under `caption` and counts the step as failed.
  void fail_with_error_number(const char* caption);
  // A copy that failed: removes what it wrote to `path` and reports the failure's own code.
  void fail_copy(CopyFailure failure, FileHandle* file, const char* path);

  const InstallSource& source_;
  const ArchiveIndex& index_;
  const char* game_path_;
  const char* addon_name_;
  WindowRef owner_;
  InstallLog log_;
  bool log_failure_shown_ = false;
  StartMenu menu_;
  TalkTable table_;
  u32 failures_ = 0;
};

bool Installation::read_entry(u32 number, ArchiveEntry* entry, EntryName* name) {
  ArchiveCheck check = read_entry_afresh(source_.file, index_, number, entry, name);
  if (check.damage == ArchiveDamage::kNone) return true;
  show_archive_damage(owner_, check);
  ++failures_;
  return false;
}

void Installation::fail_with_error_number(const char* caption) {
  show_error_number(owner_, caption);
  ++failures_;
}

void Installation::fail_copy(CopyFailure failure, FileHandle* file, const char* path) {
  discard_written_file(file, path);
  fail_with_error_number(failure == CopyFailure::kRead ? kReadError : kWriteError);
}

void Installation::append_log_line(const char* line) {
  if (log_.append_line(line) || log_failure_shown_) return;
  // Once is enough: every later line meets the same disk.
  log_failure_shown_ = true;
  show_error_number(owner_, kWriteError);
}

// Step 1: the uninstaller, replaced without a question, so that it always matches this installer.
void Installation::write_uninstaller() {
  PathString path;
  if (!path.assign(game_path_) || !path.append("UInst.exe")) {
    set_last_error(win_error::kFilenameTooLong);
    fail_with_error_number(kWriteError);
    return;
  }
  FileHandle file(create_or_replace(path.c_str()));
  if (!file.is_open()) {
    fail_with_error_number(kWriteError);
    return;
  }
  CopyFailure failure = CopyFailure::kNone;
  if (source_.uninstaller != nullptr) {
    if (!write_file(file.get(), source_.uninstaller, kStubLayout.uninstaller_length)) failure = CopyFailure::kWrite;
  } else {
    failure = copy_region(source_.file, kStubLayout.uninstaller_offset, kStubLayout.uninstaller_length, file.get());
  }
  if (failure == CopyFailure::kNone && !file.close()) failure = CopyFailure::kWrite;
  if (failure != CopyFailure::kNone) fail_copy(failure, &file, path.c_str());
}

// Step 2. Without its log the add-on cannot be uninstalled: that is a failure of its own.
void Installation::create_log() {
  if (log_.create(game_path_, addon_name_)) return;
  log_failure_shown_ = true;
  show_error_number(owner_, kWriteError);
}

// Steps 3 to 6. A user without the right to write the registry may install all the same: the
// registration's own failures are not counted.
void Installation::register_and_offer_shortcuts() {
  UninstallKey key;
  key.open_and_name(addon_name_);
  ask_for_shortcuts(owner_, &menu_);
  UninstallCommand command;
  if (build_uninstall_command(game_path_, addon_name_, owner_, &command)) key.set_command(command.c_str());
  if (!menu_.wanted) return;
  make_addon_start_menu_folder(addon_name_, owner_, &menu_);
  if (!menu_.wanted) return;
  // Both fit: the uninstall command that holds them both did.
  UninstallCommand target;
  UninstallCommand arguments;
  if (target.assign(game_path_) && target.append("UInst.exe") && arguments.assign(" -") &&
      arguments.append(game_path_) && arguments.append(addon_name_) && arguments.append(".log")) {
    create_start_menu_shortcut(menu_, "Uninstall.lnk", target.c_str(), arguments.c_str(), owner_);
  }
}

// Copies a string patch file's data to the temporary file. A copy that is not complete is removed
// and reported: applying it, or an older copy left from the previous file, would add wrong texts.
bool Installation::copy_to_patch_temp_file(const ArchiveEntry& entry) {
  FileHandle file(create_or_replace(kPatchTempFile));
  if (!file.is_open()) {
    fail_with_error_number(kWriteError);
    return false;
  }
  CopyFailure failure =
      copy_region(source_.file, index_.archive_offset() + entry.data_offset, entry.data_length, file.get());
  if (failure == CopyFailure::kNone && !file.close()) failure = CopyFailure::kWrite;
  if (failure == CopyFailure::kNone) return true;
  fail_copy(failure, &file, kPatchTempFile);
  return false;
}

// Step 7: the talk table is loaded once for all string patch files.
void Installation::apply_string_patch_files() {
  if (!load_talk_table(&table_, game_path_, owner_)) {
    ++failures_;
    return;
  }
  for (u32 k = 0; k < index_.patch_count(); ++k) {
    ArchiveEntry entry;
    EntryName name;
    if (!read_entry(k, &entry, &name)) continue;
    if (!copy_to_patch_temp_file(entry)) continue;
    PatchOutcome outcome = apply_string_patch_file(kPatchTempFile, name.c_str(), &table_, game_path_, &log_, owner_);
    switch (outcome.status) {
      case PatchStatus::kApplied:
        if (outcome.placed == PlaceResult::kFailed || outcome.placed == PlaceResult::kRefused) ++failures_;
        if (outcome.texts_refused > 0) ++failures_;
        break;
      case PatchStatus::kUnreadable:
        // The copy that was just written could not be read back.
        fail_with_error_number(kReadError);
        break;
      case PatchStatus::kRefused:
      case PatchStatus::kSpkn:
        ++failures_;
        break;
      case PatchStatus::kPassedOver:
        // Not a string patch file of any kind this installer knows: passed over, as it always was.
        break;
    }
  }
}

// Step 8: each file streamed from the archive straight into the game folder.
void Installation::place_other_files() {
  for (u32 k = 0; k < index_.file_count(); ++k) {
    ArchiveEntry entry;
    EntryName name;
    if (!read_entry(index_.patch_count() + k, &entry, &name)) continue;
    const PlaceData data = {nullptr, source_.file, index_.archive_offset() + entry.data_offset, entry.data_length};
    FileHandle placed;
    const PlaceResult result = place_file(game_path_, name.c_str(), data, owner_, &placed);
    if (result == PlaceResult::kPlaced && !placed.close()) {
      // Its data may not have reached the disk: a file that may be cut short does not stay.
      PathString full_path;
      if (full_path.assign(game_path_) && full_path.append(name.c_str())) {
        discard_written_file(&placed, full_path.c_str());
      }
      fail_with_error_number(kWriteError);
    } else if (result == PlaceResult::kFailed || result == PlaceResult::kRefused) {
      ++failures_;
    }
    // Every file goes into the log whatever became of it, so that the uninstaller removes what is
    // there; a refused name never does, as it names something outside the game folder.
    if (result != PlaceResult::kRefused) append_log_line(name.c_str());
  }
}

// Step 10, once every file is in place and the talk table is saved.
void Installation::open_marked_files() {
  for (u32 k = 0; k < index_.file_count(); ++k) {
    ArchiveEntry entry;
    EntryName name;
    if (!read_entry(index_.patch_count() + k, &entry, &name)) continue;
    if (entry.flags != kRunAfterInstall) continue;
    PathString full_path;
    if (!full_path.assign(game_path_) || !full_path.append(name.c_str())) continue;  // reported when placed
    open_with_shell(owner_, full_path.c_str());
    if (!menu_.wanted) continue;
    StartMenuPath link_name;
    if (!shortcut_name(name.c_str(), &link_name)) continue;
    create_start_menu_shortcut(menu_, link_name.c_str(), full_path.c_str(), "", owner_);
  }
}

u32 Installation::run() {
  write_uninstaller();
  create_log();
  register_and_offer_shortcuts();
  if (index_.patch_count() > 0) apply_string_patch_files();
  place_other_files();
  if (table_.loaded() && !save_talk_table(&table_, game_path_, owner_)) ++failures_;
  open_marked_files();
  log_.close();
  // The log is one step, however many of its lines were lost.
  if (log_.failures() > 0) ++failures_;

  BoundedText<200> text;
  describe_installation(failures_, &text);
  show_message(owner_, text.c_str(), kFinalCaption, failures_ == 0 ? kMbOk : kMbOk | kMbIconWarning);
  delete_file(kPatchTempFile);
  return failures_;
}

}  // namespace

void describe_installation(u32 failures, BoundedText<200>* text) {
  if (failures == 0) {
    text->assign(kInstalledMessage);
    return;
  }
  char number[12];
  format_unsigned_decimal(failures, number);
  text->assign("ZEP imported with errors: ");
  text->append(number);
  text->append(failures == 1 ? " step of the installation failed." : " steps of the installation failed.");
  text->append("\nThe add-on may not be complete.");
}

InstallReport install_addon(const InstallSource& source, const char* game_path, const char* addon_name,
                            WindowRef owner) {
  // Without a name there is no key of its own to register, no Start Menu folder and no log name.
  if (addon_name[0] == 0) {
    show_message(owner,
                 "This installer's file name gives the add-on no name, so it cannot be installed.\n"
                 "Please rename the file (for example to MyAddon.exe) and start it again.",
                 "ZEP name error", kMbOk | kMbIconWarning);
    return {false, 0};
  }
  // The archive is checked again, as it is for every command: the working copy is opened afresh.
  ArchiveIndex index;
  ArchiveCheck check = read_archive_index(source.file, source.archive_offset, &index);
  if (check.damage == ArchiveDamage::kNone && source.listed != nullptr) {
    if (!source.listed->usable) {
      check = {ArchiveDamage::kNotListed, 0, 0, 0, 0};
    } else if (source.listed->patch_count != index.patch_count() || source.listed->file_count != index.file_count()) {
      check = {ArchiveDamage::kChanged, 0, 0, 0, 0};
    }
  }
  if (check.damage != ArchiveDamage::kNone) {
    show_archive_damage(owner, check);
    return {false, 0};
  }
  Installation installation(source, index, game_path, addon_name, owner);
  return {true, installation.run()};
}

}  // namespace zep
