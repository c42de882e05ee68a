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

namespace {

// A region of `length` bytes at `offset` inside `size` bytes; a region of no bytes always is.
bool region_ok(u32 offset, u32 length, u32 size) { return length == 0 || range_inside(offset, length, size); }

// SPK3: a text has one position or none, and the writes are the texts' in order.
const char* plan_spk3_writes(StringPatch* patch) {
  u32 count = 0;
  for (u32 i = 0; i < patch->entry_count; ++i) count += load_u32(entry(*patch, i) + 8) != kNoPosition;
  if (!patch->writes.allocate(count * static_cast<u32>(sizeof(StrrefWrite)))) return "it does not fit in memory";
  StrrefWrite* writes = reinterpret_cast<StrrefWrite*>(patch->writes.data());
  for (u32 i = 0; i < patch->entry_count; ++i) {
    const u32 position = load_u32(entry(*patch, i) + 8);
    if (position == kNoPosition) continue;
    if (!range_inside(position, 4, patch->resource_length)) return "a position lies outside its resource";
    writes[patch->write_count++] = {i, position};
  }
  return nullptr;
}

// SPK4: the last text whose range holds a reference index writes there. The texts are taken from the
// last to the first, each claiming the indexes of its range that no later text claimed; `next` leads
// from an index to the first unclaimed one at or after it, its paths halved as they are walked, so
// that every index is claimed once and passed over only a few times.
const char* plan_spk4_writes(StringPatch* patch) {
  const u32 references = patch->reference_count;
  HeapBuffer winner_block;   // u32 per index: the claiming text + 1, 0 for none
  HeapBuffer next_block;     // u32 per index and one more
  HeapBuffer starts_block;   // u32 per text and one more: where its writes begin among all
  if (!winner_block.allocate(references * 4) || !next_block.allocate((references + 1) * 4) ||
      !starts_block.allocate((patch->entry_count + 1) * 4)) {
    return "it does not fit in memory";
  }
  u32* winner = reinterpret_cast<u32*>(winner_block.data());
  u32* next = reinterpret_cast<u32*>(next_block.data());
  u32* starts = reinterpret_cast<u32*>(starts_block.data());
  for (u32 j = 0; j <= references; ++j) next[j] = j;
  auto find = [next](u32 j) {
    while (next[j] != j) {
      next[j] = next[next[j]];
      j = next[j];
    }
    return j;
  };
  u32 count = 0;
  for (u32 i = patch->entry_count; i-- > 0;) {
    const u8* record = entry(*patch, i);
    const u32 first = load_u32(record + 26);
    const u32 positions = load_u32(record + 30);
    if (positions == 0) continue;  // its first index may be anywhere
    const u32 end = first + positions;  // inside the table: checked before
    for (u32 j = find(first); j < end; j = find(j)) {
      if (!range_inside(reference(*patch, j), 4, patch->resource_length)) {
        return "a position lies outside its resource";
      }
      winner[j] = i + 1;
      ++starts[i];
      ++count;
      next[j] = j + 1;
    }
  }
  // Each text's writes in index order, the texts in their order: counted, then placed.
  u32 total = 0;
  for (u32 i = 0; i <= patch->entry_count; ++i) {
    const u32 writes_of_text = starts[i];
    starts[i] = total;
    total += writes_of_text;
  }
  if (!patch->writes.allocate(count * static_cast<u32>(sizeof(StrrefWrite)))) return "it does not fit in memory";
  StrrefWrite* writes = reinterpret_cast<StrrefWrite*>(patch->writes.data());
  for (u32 j = 0; j < references; ++j) {
    if (winner[j] == 0) continue;
    const u32 text = winner[j] - 1;
    writes[starts[text]++] = {text, reference(*patch, j)};
  }
  patch->write_count = count;
  return nullptr;
}

}  // namespace

// Kept out of line: folded into its one caller in the installer, it would lose the frame pointer this
// file is built with (cmake/windows.cmake), through which its many accesses to the stack are shorter.
// The record's fields are each set where they are read, not all cleared first, which would cost a
// cleared copy of the record and a move of each field (about 100 bytes in all).
__attribute__((noinline)) const char* read_string_patch(const u8* bytes, u32 size, int version, StringPatch* patch) {
  patch->bytes = bytes;
  patch->size = size;
  patch->version = version;
  patch->write_count = 0;
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

  if (!region_ok(patch->resource_offset, patch->resource_length, size)) return "its resource lies outside it";
  if (patch->entry_count > size / entry_length(*patch) ||
      !region_ok(patch->entry_table, patch->entry_count * entry_length(*patch), size)) {
    return "its list of texts lies outside it";
  }
  if (version == 4 && (patch->reference_count > size / 4 ||
                       !region_ok(patch->reference_table, patch->reference_count * 4, size))) {
    return "its table of positions lies outside it";
  }
  for (u32 i = 0; i < patch->entry_count; ++i) {
    const u8* record = entry(*patch, i);
    const u32 length = load_u32(record + 4);
    if (length > 0 && (patch->text_base > size || !range_inside(load_u32(record), length, size - patch->text_base))) {
      return "a text lies outside it";
    }
    if (version == 4 && !region_ok(load_u32(record + 26), load_u32(record + 30), patch->reference_count)) {
      return "a text's positions lie outside its table";
    }
  }
  return version == 3 ? plan_spk3_writes(patch) : plan_spk4_writes(patch);
}

PatchText patch_text(const StringPatch& patch, u32 index) {
  const u8* record = entry(patch, index);
  const u32 length = load_u32(record + 4);
  // An empty text may point anywhere: it is taken from the file's first byte, of which none is read.
  PatchText text = {length == 0 ? patch.bytes : patch.bytes + patch.text_base + load_u32(record), length,
                    kSpk3Flags, record + 12, 0, 0};
  if (patch.version == 4) {
    text.sound = record + 8;
    text.volume_variance = load_u32(record + 16);
    text.pitch_variance = load_u32(record + 20);
    text.flags = load_u16(record + 24);
  }
  return text;
}

void write_strrefs(const StringPatch& patch, u32 first_strref, u8* resource) {
  const StrrefWrite* writes = reinterpret_cast<const StrrefWrite*>(patch.writes.data());
  for (u32 k = 0; k < patch.write_count; ++k) store_u32(resource + writes[k].position, first_strref + writes[k].text);
}

}  // namespace zep
