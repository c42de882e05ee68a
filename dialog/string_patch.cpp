#include "dialog/string_patch.h"

#include "platform/buffers.h"
#include "platform/bytes.h"

namespace zep {
namespace {

constexpr u32 kSpk3HeaderLength = 44;
constexpr u32 kSpk4HeaderLength = 60;

u32 entry_length(const StringPatch& patch) { return patch.version == 4 ? kSpk4EntryLength : kSpk3EntryLength; }

const u8* entry(const StringPatch& patch, u32 index) {
  return patch.bytes + patch.entry_table + index * entry_length(patch);
}

u32 reference(const StringPatch& patch, u32 index) { return load_u32(patch.bytes + patch.reference_table + 4 * index); }

// A magic as the u32 that its four characters make when read little-endian.
constexpr u32 magic(const char (&text)[5]) {
  return static_cast<u32>(static_cast<u8>(text[0])) | static_cast<u32>(static_cast<u8>(text[1])) << 8 |
         static_cast<u32>(static_cast<u8>(text[2])) << 16 | static_cast<u32>(static_cast<u8>(text[3])) << 24;
}

}  // namespace

PatchKind string_patch_kind(const u8* bytes, u32 size) {
  if (size < 4) return PatchKind::kOther;
  switch (load_u32(bytes)) {
    case magic("SPK3"):
      return PatchKind::kSpk3;
    case magic("SPK4"):
      return PatchKind::kSpk4;
    case magic("SPKN"):
      return PatchKind::kSpkn;
    default:
      return PatchKind::kOther;
  }
}

const char* read_string_patch(const u8* bytes, u32 size, int version, StringPatch* patch) {
  *patch = StringPatch{};
  patch->bytes = bytes;
  patch->size = size;
  patch->version = version;
  const u32 header_length = version == 4 ? kSpk4HeaderLength : kSpk3HeaderLength;
  if (size < header_length) return "it ends inside its header";
  copy_bytes(patch->resource_name, bytes + 8, kResourceNameWidth);
  patch->resource_name[kResourceNameWidth] = 0;  // a name of 12 characters has no terminator of its own
  patch->resource_offset = load_u32(bytes + 20);
  patch->resource_length = load_u32(bytes + 24);
  patch->text_base = load_u32(bytes + 32);
  patch->entry_count = load_u32(bytes + 36);
  patch->entry_table = load_u32(bytes + 40);
  patch->reference_count = version == 4 ? load_u32(bytes + 44) : 0;
  patch->reference_table = version == 4 ? load_u32(bytes + 48) : 0;

  if (!range_inside(patch->resource_offset, patch->resource_length, size)) return "its resource lies outside it";
  if (patch->entry_count > size / entry_length(*patch) ||
      !range_inside(patch->entry_table, patch->entry_count * entry_length(*patch), size)) {
    return "its list of texts lies outside it";
  }
  if (version == 4 && (patch->reference_count > size / 4 ||
                       !range_inside(patch->reference_table, patch->reference_count * 4, size))) {
    return "its table of positions lies outside it";
  }
  if (patch->text_base > size) return "its texts lie outside it";
  for (u32 i = 0; i < patch->entry_count; ++i) {
    const u8* record = entry(*patch, i);
    if (!range_inside(load_u32(record), load_u32(record + 4), size - patch->text_base)) return "a text lies outside it";
    if (version == 3) {
      const u32 position = load_u32(record + 8);
      if (position != kNoPosition && !range_inside(position, 4, patch->resource_length)) {
        return "a position lies outside its resource";
      }
      continue;
    }
    const u32 first = load_u32(record + 26);
    const u32 count = load_u32(record + 30);
    if (!range_inside(first, count, patch->reference_count)) return "a text's positions lie outside its table";
    for (u32 j = 0; j < count; ++j) {
      if (!range_inside(reference(*patch, first + j), 4, patch->resource_length)) return "a position lies outside its resource";
    }
  }
  return nullptr;
}

PatchText patch_text(const StringPatch& patch, u32 index) {
  const u8* record = entry(patch, index);
  PatchText text = {patch.bytes + patch.text_base + load_u32(record), load_u32(record + 4), kSpk3Flags,
                    record + 12, 0, 0};
  if (patch.version == 4) {
    text.sound = record + 8;
    text.volume_variance = load_u32(record + 16);
    text.pitch_variance = load_u32(record + 20);
    text.flags = load_u16(record + 24);
  }
  return text;
}

void write_strref_positions(const StringPatch& patch, u32 index, u32 strref, u8* resource) {
  const u8* record = entry(patch, index);
  if (patch.version == 3) {
    const u32 position = load_u32(record + 8);
    if (position != kNoPosition) store_u32(resource + position, strref);
    return;
  }
  const u32 first = load_u32(record + 26);
  const u32 count = load_u32(record + 30);
  for (u32 k = 0; k < count; ++k) store_u32(resource + reference(patch, first + k), strref);
}

}  // namespace zep
