#include "archive/extraction.h"

#include "archive/reader.h"
#include "platform/buffers.h"
#include "platform/error_message.h"

namespace zep {

bool extract_archive(FileRef file, u32 archive_offset, WindowRef owner) {
  // The working copy is checked again: it is opened afresh for every command.
  ArchiveIndex index;
  ArchiveCheck check = read_archive_index(file, archive_offset, &index);
  if (check.damage != ArchiveDamage::kNone) {
    show_archive_damage(owner, check);
    return false;
  }

  char target[kMaxPath];
  if (!choose_save_file(target)) return false;
  FileHandle out(create_or_replace(target));
  if (!out.is_open()) {
    show_error_number(owner, kReadErrorCaption);
    return false;
  }
  g_copy_progress.done = 0;
  g_copy_progress.total = index.archive_length();
  CopyFailure failure = copy_region(file, archive_offset, index.archive_length(), out.get());
  if (failure == CopyFailure::kNone && !out.close()) failure = CopyFailure::kWrite;
  if (failure != CopyFailure::kNone) {
    // What is reported is the failure itself, not whatever the clean-up leaves behind.
    discard_written_file(&out, target);
    show_write_failure(owner, failure == CopyFailure::kRead, target, "", "");
    return false;
  }
  show_message(owner, "ZEP file has been extracted.", "Ready", kMbOk);
  return true;
}

}  // namespace zep
