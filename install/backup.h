// Keeping a way back: before the installation replaces a file that is already in the game folder
// (the player answered Yes), the original is kept in the add-on's backup folder, from which the
// uninstaller puts it back.
//
//   <GamePath><AddonName>.zep-backup\<relative name>
//
// No add-on's name holds a dot (the name ends at the first one), so this folder can be no other
// add-on's log or backup folder, and archives may not place anything into it.
//
// Each file of the game folder belongs to at most one add-on: the one whose log lists it. When an
// add-on replaces a file that another add-on's log lists, it takes the file over: the other log no
// longer lists it, and the other add-on's backup of it (the game's original) moves to this add-on's
// backup folder. So the original is never lost, whatever the order in which the add-ons are removed;
// what is lost is only the earlier add-on's version of the file, which reinstalling it brings back.
#pragma once

#include "install/install_log.h"
#include "install/own_files.h"
#include "platform/platform.h"
#include "platform/types.h"

namespace zep {

class Backup {
 public:
  // The backups of `addon_name` in `game_path`; `log` is the add-on's log, which tells the files that
  // are its own already.
  Backup(const char* game_path, const char* addon_name, const InstallLog* log)
      : game_path_(game_path), addon_name_(addon_name), log_(log) {}

  // Called once the player agreed to replace `relative_name` (at `full_path`): a file the add-on's log
  // lists is its own and needs nothing; one another add-on's log lists is taken over; any other is
  // copied to the backup folder. Returns true when the file may be replaced. Returns false, after a
  // message owned by `owner` that names the file, says why and where its original is kept, when its
  // original could not be kept, or a backup of it from an earlier installation is in the way.
  bool keep_original(const char* relative_name, const char* full_path, WindowRef owner) const;

  // Takes out again the file just placed, or half placed, as `relative_name`: the original that
  // keep_original kept of it for this placement goes back in its place, or else the file is deleted.
  // For a file that could not be written whole, or that the log could not record.
  void undo_placement(const char* relative_name) const;

 private:
  // Looks through the other add-ons' logs for one that lists `relative_name`, and takes the file over
  // from it. Returns false when none lists it; sets `*failed` when one does but the taking over failed.
  bool take_over(const char* relative_name, WindowRef owner, bool* failed) const;

  const char* game_path_;
  const char* addon_name_;
  const InstallLog* log_;
  mutable PathString last_kept_;  // the file whose original keep_original kept last
};

// The backup path of `relative_name` for `addon_name`: `game_path` + `addon_name` + ".zep-backup\" +
// `relative_name`. Returns false when it does not fit a path.
bool backup_path(const char* game_path, const char* addon_name, const char* relative_name, PathString* path);

}  // namespace zep
