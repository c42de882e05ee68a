#include "install/own_files.h"

#include "dialog/talk_table.h"

namespace zep {

const char kUninstallerFile[] = "UInst.exe";
const char kLogSuffix[] = ".log";
const char kBackupSuffix[] = ".zep-backup";

namespace {

// The length of `prefix` when `name` begins with it, ignoring case; otherwise -1.
i32 prefix_length(const char* name, const char* prefix) {
  u32 i = 0;
  for (; prefix[i] != 0; ++i) {
    if (fold_case(name[i]) != fold_case(prefix[i])) return -1;
  }
  return static_cast<i32>(i);
}

}  // namespace

bool own_file_name(u32 k, const char* addon_name, PathString* name) {
  static const char* const kGameFiles[] = {kTalkTableName, kFemaleTalkTableName, kUninstallerFile};
  static const char* const kSuffixes[] = {"", kNewFileSuffix, ".old", kLogSuffix, ".log.new", kBackupSuffix};
  if (k < 9) return name->format("%s%s", kGameFiles[k % 3], kSuffixes[k / 3]);
  return addon_name != nullptr && addon_name[0] != 0 && name->format("%s%s", addon_name, kSuffixes[k - 6]);
}

bool is_installer_own_name(const char* relative_name, const char* addon_name) {
  for (u32 k = 0; k < kOwnFileCount; ++k) {
    PathString own;
    if (!own_file_name(k, addon_name, &own)) continue;
    const i32 length = prefix_length(relative_name, own.c_str());
    if (length < 0) continue;
    const char rest = relative_name[length];
    // The backup folder, and everything in it.
    if (rest == 0 || (k == kOwnFileCount - 1 && rest == '\\')) return true;
  }
  return false;
}

}  // namespace zep
