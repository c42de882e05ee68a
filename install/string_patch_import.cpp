#include "install/string_patch_import.h"

#include "archive/names.h"
#include "platform/buffers.h"
#include "install/backup.h"
#include "platform/error_message.h"

namespace zep {
namespace {

void show_refusal(const char* shown_name, const char* problem, const char* consequence, WindowRef owner) {
  show_warning(owner, kStringPatchCaption, "The string patch file %s is damaged: %s.\n%s", shown_name, problem,
               consequence);
}

}  // namespace

const char kNotApplied[] = "Nothing of it was installed.";
const char kStringPatchCaption[] = "ZEP string patch error";

PatchStatus judge_string_patch(const u8* bytes, u32 size, const char* addon_name, LoadedPatch* loaded,
                               const char** problem) {
  int version = 0;
  switch (string_patch_kind(bytes, size)) {
    case PatchKind::kSpk3:
      version = 3;
      break;
    case PatchKind::kSpk4:
      version = 4;
      break;
    case PatchKind::kSpkn:
      return loaded->status = PatchStatus::kSpkn;
    case PatchKind::kOther:
      return loaded->status = PatchStatus::kPassedOver;
  }
  loaded->status = PatchStatus::kRefused;
  if ((*problem = read_string_patch(bytes, size, version, &loaded->patch)) != nullptr) return loaded->status;
  loaded->relative_name.format("override\\%s", loaded->patch.resource_name);  // fits: 9 + 12 characters
  const char* relative = loaded->relative_name.c_str();
  if (check_relative_name(relative, loaded->relative_name.length()) != NameProblem::kNameOk ||
      is_installer_own_name(relative, addon_name)) {
    return loaded->status = PatchStatus::kNameRefused;
  }
  return loaded->status = PatchStatus::kSound;
}

PatchStatus examine_string_patch(const u8* bytes, u32 size, const char* shown_name, const char* addon_name,
                                 const char* consequence, WindowRef owner, LoadedPatch* loaded) {
  const char* problem = nullptr;
  PatchStatus status = judge_string_patch(bytes, size, addon_name, loaded, &problem);
  if (status == PatchStatus::kRefused) show_refusal(shown_name, problem, consequence, owner);
  return status;
}

PatchStatus read_string_patch_file(FileRef file, const char* shown_name, const char* addon_name, WindowRef owner,
                                   LoadedPatch* loaded) {
  loaded->status = PatchStatus::kUnreadable;
  u32 size = 0;
  if (file == nullptr || !read_whole_file(file, 0xFFFFFFFEu, &loaded->bytes, &size)) return loaded->status;
  return examine_string_patch(loaded->bytes.data(), size, shown_name, addon_name,
                              kNotApplied, owner, loaded);
}

void show_spkn_refusal(WindowRef owner) { show_message(owner, "SPKN not (yet)supported!", "", kMbOk); }

u32 append_patch_texts(const LoadedPatch& loaded, GameTalkTables* tables) {
  const StringPatch& patch = loaded.patch;
  u32 first = kAppendRefused;
  for (u32 i = 0; i < patch.entry_count; ++i) {
    const PatchText text = patch_text(patch, i);
    const u32 strref =
        tables->append(text.text, text.length, text.flags, text.sound, text.volume_variance, text.pitch_variance);
    if (strref == kAppendRefused) {
      // The texts appended so far go again, so that no half of this file's texts stays.
      for (u32 k = 0; k < i; ++k) tables->remove_last();
      return kAppendRefused;
    }
    if (i == 0) first = strref;
  }
  // A file without texts takes no strref; any number does for it.
  return patch.entry_count == 0 ? tables->next_strref() : first;
}

// Kept out of line, measured on the stub (about 50 bytes): folded into the installation's placing of
// resources, its locals (a path, the copy) widen that frame and lengthen the offsets of all else there.
__attribute__((noinline)) PlaceResult place_patched_resource(const LoadedPatch& loaded, u32 first_strref,
                                                             const char* game_path, const PlaceRules& rules,
                                                             WindowRef owner) {
  const StringPatch& patch = loaded.patch;
  // The resource is patched in a copy and placed once, with every strref in it.
  HeapBuffer resource;
  if (!resource.allocate(patch.resource_length)) {
    show_write_failure(owner, false, game_path, loaded.relative_name.c_str(), kFileNotInstalled);
    return PlaceResult::kFailed;
  }
  copy_bytes(resource.data(), patch.bytes + patch.resource_offset, patch.resource_length);
  write_strrefs(patch, first_strref, resource.data());
  FileHandle placed;
  PlaceResult result = place_file(game_path, loaded.relative_name.c_str(), resource.data(), patch.resource_length,
                                  rules, owner, &placed);
  if (result == PlaceResult::kPlaced && !placed.close()) {
    // Its data may not have reached the disk: a file that may be cut short does not stay, and the
    // original goes back in its place.
    PathString full_path;
    if (rules.backup != nullptr) {
      rules.backup->undo_placement(loaded.relative_name.c_str(), owner);
    } else if (full_path.format("%s%s", game_path, loaded.relative_name.c_str())) {
      discard_written_file(&placed, full_path.c_str());
    }
    show_write_failure(owner, false, game_path, loaded.relative_name.c_str(), kFileNotInstalled);
    result = PlaceResult::kFailed;
  }
  return result;
}

}  // namespace zep
