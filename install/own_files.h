// The names the installer keeps for itself in the game folder. No archive may place a file under one
// of them, and a link in the place of one it writes stops the installation before it starts.
//
//   dialog.tlk, dialogF.tlk   the game's talk tables, which the installer grows, at the top and in any
//                             folder in lang\ (an Enhanced Edition keeps them in lang\<locale>\)
//   UInst.exe                 the uninstaller
//   dialog.tlk.new, dialogF.tlk.new, dialog.tlk.old, dialogF.tlk.old   the files written beside the
//                             talk tables, there too
//   <AddonName>.log           the add-on's install log, and <AddonName>.log.new beside it
//   <AddonName>.zep-backup    the add-on's backup folder, and everything in it
//   *.log, *.log.new, *.zep-backup\...   every add-on's log and backup folder, at the top of the game
//                             folder, and any first part with a "~" and a digit, as a short name of
//                             one of them would have
#pragma once

#include "platform/buffers.h"
#include "platform/types.h"

namespace zep {

extern const char kUninstallerFile[];  // "UInst.exe"
extern const char kLogSuffix[];        // ".log", after the add-on's name
extern const char kBackupSuffix[];     // ".zep-backup", after the add-on's name

// How many names own_file_name gives, and the first of them that the installer writes (the ones
// before are the talk tables themselves, which it reads where they are and replaces by a rename, so
// that a link in their place sends nothing elsewhere).
constexpr u32 kOwnFileCount = 10;
constexpr u32 kFirstWrittenOwnFile = 2;
// The first of the names that follow the add-on's name.
constexpr u32 kFirstAddonFile = 7;

// The installer's own name number `k` (below kOwnFileCount) into `name`; the last three follow
// `addon_name`. Returns false when `addon_name` is null or empty and `k` names one of those, or when
// the name does not fit.
bool own_file_name(u32 k, const char* addon_name, PathString* name);

// True when `relative_name` is one of the installer's own names for the add-on `addon_name` (which may
// be null), or lies inside its backup folder, or when its first part names any add-on's log or backup
// folder or may be a short name, ignoring case.
bool is_installer_own_name(const char* relative_name, const char* addon_name);

}  // namespace zep
