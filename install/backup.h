// Keeping a way back: before the installation replaces a file that is already in the game folder
// (the player answered Yes), the original is kept in the add-on's backup folder, from which the
// uninstaller puts it back.
//
//   <GamePath><AddonName>.zep-backup\<relative name>
//
// No add-on's name holds a dot (the name ends at the first one), so this folder can be no other
// add-on's log or backup folder, and archives may not place anything into any backup folder.
//
// Each file of the game folder belongs to at most one add-on: the one whose log lists it. When an
// add-on places a file that another add-on's log lists, whether that file is there now or not (an
// uninstall that stopped short may have deleted it), it takes the file over: the other log no longer
// lists it, and the other add-on's backup of it (the game's original) moves to this add-on's backup
// folder. So the original is never lost, whatever the order in which the add-ons are removed; what is
// lost is only the earlier add-on's version of the file, which reinstalling it brings back.
//
// A take-over changes nothing unless it completes: the other log is written anew before its backup
// moves, and put back as it was when the move fails, or when the file then cannot be opened to be
// replaced. A backup is never left behind without a log line that accounts for it: one made for a
// file that then is not replaced goes again, and one found in the way (a run that was cut short) is
// taken as the file's own backup only when it holds the very bytes of the file there now, and is
// otherwise named in the refusal, never overwritten.
#pragma once

#include "install/install_log.h"
#include "install/other_logs.h"
#include "platform/platform.h"
#include "platform/types.h"

namespace zep {

class Backup {
 public:
  // The backups of `addon_name` in `game_path`; `log` is the add-on's log, which tells the files that
  // are its own already.
  Backup(const char* game_path, const char* addon_name, const InstallLog* log)
      : game_path_(game_path), addon_name_(addon_name), log_(log) {}

  // Before anything is changed: reads the other add-ons' logs, once for the whole installation, and
  // notes whether the add-on's backup folder is there. Returns false, after a message owned by
  // `owner` that names the file that cannot be read and says why, when the installation must not start.
  bool prepare(WindowRef owner);

  // Makes `relative_name` (at `full_path`) the add-on's before it is written: `existing` when the
  // player agreed to replace the file that is there, otherwise it has just been made, empty. A file
  // another add-on's log lists is taken over from it; the original of a file that is there and that
  // no log lists is kept in the backup folder. Returns true when the file may be written. Returns
  // false, after a message owned by `owner` that names the file, says why, and where its original is
  // kept when it is, having changed nothing.
  bool claim(const char* relative_name, const char* full_path, bool existing, WindowRef owner);

  // After claim, when the file that is there could not be opened to be replaced after all: undoes what
  // claim did, so that the file, the other add-on's log and its backup are as they were.
  void release(const char* relative_name, WindowRef owner);

  // Takes out again the file just placed, or half placed, as `relative_name`: the original that claim
  // kept of it for this placement goes back in its place, or else the file is deleted. For a file
  // that could not be written whole, or that the log could not record.
  void undo_placement(const char* relative_name, WindowRef owner);

 private:
  // Puts back the other add-on's log `log` as it was before the take-over of `relative_name`, or says
  // that it could not.
  void put_back(u32 log, const char* relative_name, const char* full_path, WindowRef owner);
  // Looks at the add-on's own backup of the file at `ours`, before one is made or moved there: true
  // when there is none, or when the add-on's log accounts for it, or when it holds the very bytes of
  // the file there now (then it is this placement's backup); otherwise false, after a message.
  bool check_own_backup(const PathString& ours, const char* relative_name, const char* full_path, bool existing,
                        WindowRef owner);

  const char* game_path_;
  const char* addon_name_;
  const InstallLog* log_;
  OtherLogs others_;
  bool folder_there_ = false;  // the add-on's backup folder was there before the installation
  // The last claim: the file whose original it kept (which undo_placement puts back), whether it made
  // that backup, the other add-on's log it took the file over from, and that add-on's backup it moved.
  PathString kept_;
  bool made_ = false;
  u32 taken_ = OtherLogs::kNone;
  PathString moved_from_;
};

// The backup path of `relative_name` for `addon_name`: `game_path` + `addon_name` + ".zep-backup\" +
// `relative_name`. Returns false when it does not fit a path.
bool backup_path(const char* game_path, const char* addon_name, const char* relative_name, PathString* path);

}  // namespace zep
