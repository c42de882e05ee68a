#include "install/own_files.h"

#include "dialog/talk_table.h"
#include "install/game_talk_tables.h"

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
  // Each name as its first part and what follows; the last three follow the add-on's name.
  static const char* const kNames[kOwnFileCount][2] = {
      {kTalkTableName, ""},           {kFemaleTalkTableName, ""},           {kUninstallerFile, ""},
      {kTalkTableName, kNewFileSuffix}, {kFemaleTalkTableName, kNewFileSuffix}, {kTalkTableName, ".old"},
      {kFemaleTalkTableName, ".old"}, {nullptr, kLogSuffix},                {nullptr, ".log.new"},
      {nullptr, kBackupSuffix}};
  const char* first = kNames[k][0] != nullptr ? kNames[k][0] : addon_name;
  return first != nullptr && first[0] != 0 && name->format("%s%s", first, kNames[k][1]);
}

bool is_installer_own_name(const char* relative_name, const char* addon_name) {
  // The last part of a name in lang\: a talk table, or a file written beside one, is the installer's
  // there too, as an Enhanced Edition keeps its tables in lang\<locale>\.
  const char* last_part = relative_name;
  for (const char* c = relative_name; *c != 0 && prefix_length(relative_name, "lang\\") > 0; ++c) {
    if (*c == '\\') last_part = c + 1;
  }
  for (u32 k = 0; k < kOwnFileCount; ++k) {
    PathString own;
    if (!own_file_name(k, addon_name, &own)) continue;
    const bool table = k != 2 && k < kFirstAddonFile;
    const char* name = table ? last_part : relative_name;
    const i32 length = prefix_length(name, own.c_str());
    if (length < 0) continue;
    const char rest = name[length];
    // The backup folder, and everything in it.
    if (rest == 0 || (k == kOwnFileCount - 1 && rest == '\\')) return true;
  }
  // Whatever the add-on: the first part of the name as a log or its temporary file, or as a backup
  // folder; or with a "~" and a digit, as the short form that Windows gives a long name has, which
  // could stand for one of those.
  u32 end = 0;
  bool short_form = false;
  for (; relative_name[end] != 0 && relative_name[end] != '\\'; ++end) {
    const char next = relative_name[end + 1];
    short_form = short_form || (relative_name[end] == '~' && next >= '0' && next <= '9');
  }
  static const char* const kEndings[] = {kLogSuffix, ".log.new", kBackupSuffix};
  for (const char* ending : kEndings) {
    const u32 length = text_length(ending);
    if (end >= length && same_name(relative_name + end - length, length, ending)) return true;
  }
  return short_form;
}

}  // namespace zep
