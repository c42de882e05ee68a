#include "archive/listing.h"

#include "archive/reader.h"

namespace zep {

const char kSpkHeading[] = "SPK files in this archive:";
const char kNoSpkHeading[] = "No SPK files in this archive";
const char kOtherHeading[] = "Other files in this archive:";
const char kNoOtherHeading[] = "No other files in this archive";

void list_contents(FileRef file, u32 archive_offset, WindowRef list, WindowRef owner, ArchiveCounts* counts) {
  counts->patch_count = 0;
  counts->file_count = 0;
  counts->usable = false;
  ArchiveIndex index;
  ArchiveCheck check = read_archive_index(file, archive_offset, &index);
  if (check.damage != ArchiveDamage::kNone) {
    show_archive_damage(owner, check);
    return;
  }
  const u32 patches = index.patch_count();
  const u32 files = index.file_count();
  counts->patch_count = patches;
  counts->file_count = files;
  counts->usable = true;

  append_list_line(list, patches > 0 ? kSpkHeading : kNoSpkHeading);
  for (u32 k = 0; k < patches; ++k) append_list_line(list, index.name(k));
  append_list_line(list, "");
  append_list_line(list, files > 0 ? kOtherHeading : kNoOtherHeading);
  for (u32 k = 0; k < files; ++k) append_list_line(list, index.name(patches + k));
}

}  // namespace zep
