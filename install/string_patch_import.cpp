#include "install/string_patch_import.h"

#include "dialog/string_patch.h"
#include "platform/buffers.h"

namespace zep {
namespace {

void show_refusal(const char* shown_name, const char* problem, WindowRef owner) {
  BoundedText<400> text;
  text.assign("The string patch file ");
  if (!text.append(shown_name)) text.append("of this add-on");
  text.append(" is damaged: ");
  text.append(problem);
  text.append(".\nIt was not applied: nothing of it was installed.");
  show_message(owner, text.c_str(), "ZEP string patch error", kMbOk | kMbIconWarning);
}

// Reads the whole of `file` (at most 4 GiB - 1 bytes) into `bytes`.
bool read_whole(FileRef file, HeapBuffer* bytes) {
  u32 size = 0;
  if (!get_file_size(file, &size) || !bytes->allocate(size)) return false;
  return size == 0 || (seek_file(file, 0) && read_file(file, bytes->data(), size));
}

}  // namespace

PatchOutcome apply_string_patch_file(const char* file_name, const char* shown_name, TalkTable* table,
                                     const char* game_path, InstallLog* log, WindowRef owner) {
  PatchOutcome outcome = {PatchStatus::kUnreadable, PlaceResult::kFailed, 0, 0};
  HeapBuffer bytes;
  {
    FileHandle file(open_for_reading(file_name));
    if (!file.is_open() || !read_whole(file.get(), &bytes)) return outcome;
  }
  int version = 0;
  switch (string_patch_kind(bytes.data(), bytes.length())) {
    case PatchKind::kSpk3:
      version = 3;
      break;
    case PatchKind::kSpk4:
      version = 4;
      break;
    case PatchKind::kSpkn:
      show_message(owner, "SPKN not (yet)supported!", "", kMbOk);
      outcome.status = PatchStatus::kSpkn;
      return outcome;
    case PatchKind::kOther:
      outcome.status = PatchStatus::kPassedOver;
      return outcome;
  }

  outcome.status = PatchStatus::kRefused;
  StringPatch patch;
  if (const char* problem = read_string_patch(bytes.data(), bytes.length(), version, &patch)) {
    show_refusal(shown_name, problem, owner);
    return outcome;
  }
  BoundedText<kResourceNameWidth + 16> relative;
  relative.assign("override\\");
  relative.append(patch.resource_name);
  if (!accept_placement_name(relative.c_str(), owner)) return outcome;

  // The resource is patched in a copy and placed once, with every strref in it.
  HeapBuffer resource;
  if (!resource.allocate(patch.resource_length)) {
    show_refusal(shown_name, "it does not fit in memory", owner);
    return outcome;
  }
  copy_bytes(resource.data(), patch.bytes + patch.resource_offset, patch.resource_length);

  outcome.status = PatchStatus::kApplied;
  log->append_line(relative.c_str());
  for (u32 i = 0; i < patch.entry_count; ++i) {
    const PatchText text = patch_text(patch, i);
    const u32 strref = append_string(table, text.text, text.length, text.flags, text.sound, text.volume_variance,
                                     text.pitch_variance);
    if (strref == kAppendRefused) {
      ++outcome.texts_refused;
      continue;
    }
    ++outcome.texts;
    write_strref_positions(patch, i, strref, resource.data());
  }

  FileHandle placed;
  outcome.placed = place_file(game_path, relative.c_str(), resource.data(), patch.resource_length, owner, &placed);
  if (placed.is_open() && !placed.close()) outcome.placed = PlaceResult::kFailed;
  return outcome;
}

}  // namespace zep
