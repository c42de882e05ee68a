// Install add-on: the whole installation of an archive's add-on into the game folder. First
// everything that can be checked is checked, and nothing is changed when any of it fails: the archive,
// the add-on's name, a log of that name already there, the talk tables and every string patch file.
// Then, in one fixed order that runs to its end whatever happens on the way:
//
//   1  UInst.exe, the uninstaller, from the self-extracting file's image slot
//   2  the install log, with its two head lines (or the add-on's log from before, continued); without
//      it the installation stops here, as nothing placed could be uninstalled
//   3  "DisplayName" of the add-on's uninstall key
//   4  the question whether Start Menu shortcuts are wanted
//   5  "UninstallString"
//   6  "Uninstall.lnk", when shortcuts are wanted
//   7  the string patch files, each copied to a scratch file "spktmp" in the current folder (deleted
//      as soon as it has been read back; see copy_to_patch_temp_file): the texts of all of them
//      appended to the talk tables, the tables saved, and only then each resource placed with its
//      strrefs (none when the tables could not be saved)
//   8  every other file placed, its original kept first when it replaces one (install/backup.h)
//   9  the files marked to be opened after installation opened through the shell, and given shortcuts
//   10 the log closed
//   11 the final message
//
// A file goes into the log only once it is placed. Every step that fails reports itself in a message
// and is counted, and the final message says whether the add-on was imported completely or with
// errors, and with how many.
#pragma once

#include "archive/listing.h"
#include "platform/buffers.h"
#include "platform/platform.h"
#include "platform/types.h"

namespace zep {

// The temporary copy of the string patch file being applied, in the current folder.
extern const char kPatchTempFile[];  // "spktmp"

extern const char kInstalledMessage[];  // "ZEP imported successfully!"

// Where an installation reads the add-on from.
struct InstallSource {
  FileRef file;           // open for reading; the caller closes it
  u32 archive_offset;     // the archive's first byte in `file`
  // The counts the contents listing found when the program started, which the installation keeps
  // to; null to take those of the archive as it is now.
  const ArchiveCounts* listed;
  // The uninstaller image of kUninstallerLength bytes: `uninstaller` when not null, otherwise the
  // bytes at kStubLayout.uninstaller_offset of `file`.
  const u8* uninstaller;
  // A scripted install, which nobody watches: the files marked to be opened after installation are
  // not opened (they still get their shortcuts when shortcuts are made).
  bool unattended;
};

struct InstallReport {
  bool started;   // false when the archive was found damaged and nothing was done
  u32 failures;   // steps that failed, each already reported
};

// Installs the add-on of `source` into `game_path` (a folder that holds dialog.tlk, ending in a
// backslash) under the name `addon_name`. The archive is checked again first: a damaged one (or one
// whose counts no longer match `source.listed`) is reported and nothing at all is done. Messages are
// owned by `owner`, except those that the registration shows without one.
InstallReport install_addon(const InstallSource& source, const char* game_path, const char* addon_name,
                            WindowRef owner);

// The final message's text for `failures` failed steps ("ZEP imported successfully!" for none), of an
// installation that placed no file of the add-on when `none_placed`.
void describe_installation(u32 failures, bool none_placed, MessageText* text);

}  // namespace zep
