// String patch files: one game resource with its new texts and, for each text, the byte positions in
// the resource that receive the text's strref. This is the format and its check; applying a file to
// a game (placing the resource, logging it, growing the talk table) is install/string_patch_import.
//
// SPK3 (all integers u32 little-endian, no padding; offsets from the file's first byte):
//   0 magic "SPK3"  4 unused  8 resource name (12 bytes, zero-padded; no terminator when 12 long)
//   20 resource data offset  24 resource data length  28 unused  32 text base offset
//   36 string entry count  40 string entry table offset
//   entry i (20 bytes at table + 20*i): text offset (from the text base), text length, reference
//   offset (the strref's position in the resource; 0xFFFFFFFF for none), sound resref (8 bytes).
//   Every SPK3 text is appended with flags 3 and volume and pitch variance 0.
// SPK4: the SPK3 header, then 44 reference count, 48 reference offset table offset, 52 further
//   table count, 56 further table offset (both unused).
//   entry i (50 bytes at table + 50*i): text offset, text length, sound resref (8 bytes), volume
//   variance, pitch variance, u16 flags, first reference index, reference count, 16 unused bytes.
//   The text's positions are the reference table's values first .. first + count - 1.
// SPKN is recognised and refused; any other magic is passed over.
#pragma once

#include "platform/buffers.h"
#include "platform/types.h"

namespace zep {

constexpr u32 kResourceNameWidth = 12;  // bytes of the resource name field
constexpr u32 kSpk3EntryLength = 20;
constexpr u32 kSpk4EntryLength = 50;
constexpr u32 kNoPosition = 0xFFFFFFFFu;  // an SPK3 reference offset that names no position
constexpr u16 kSpk3Flags = 3;             // the talk table flags of every SPK3 text

// What the first four bytes of a file say it is.
enum class PatchKind { kSpk3, kSpk4, kSpkn, kOther };

// The kind of the `size` bytes at `bytes`: the magic compared exactly, as four characters, with
// SPK3, then SPK4, then SPKN; kOther for anything else, a file shorter than 4 bytes included.
PatchKind string_patch_kind(const u8* bytes, u32 size);

// One strref to write: the text whose strref it is and the position in the resource.
struct StrrefWrite {
  u32 text;      // the text's index
  u32 position;  // byte offset in the resource of the strref's 4 bytes
};

// A string patch file held whole in memory, with its header's fields. The bytes belong to the caller.
struct StringPatch {
  const u8* bytes;
  u32 size;
  int version;                                 // 3 or 4
  char resource_name[kResourceNameWidth + 1];  // terminated here even when the field is full
  u32 resource_offset;
  u32 resource_length;
  u32 text_base;
  u32 entry_count;
  u32 entry_table;
  u32 reference_count;  // SPK4; 0 for SPK3
  u32 reference_table;  // SPK4
  // The strref writes that decide the resource's bytes, in the order they are made (see
  // read_string_patch): `write_count` StrrefWrite records.
  HeapBuffer writes;
  u32 write_count;
};

// One text of a checked string patch file, as the talk table takes it.
struct PatchText {
  const u8* text;      // inside the file's bytes
  u32 length;          // bytes
  u16 flags;           // `TalkEntry` flags (3 for every SPK3 text)
  const u8* sound;     // the 8-byte sound resref, inside the file's bytes
  u32 volume_variance;
  u32 pitch_variance;
};

// Reads the header of the SPK3 (`version` 3) or SPK4 (4) file of `size` bytes at `bytes` into
// `patch` and checks the whole file: header, resource, entry table, texts and reference table inside
// the file, every text's reference indexes inside the table, every position used inside the resource.
// A region of no bytes (an empty text, a text without positions, no texts at all) is sound wherever
// it points. Returns null when it is sound, otherwise what is wrong, as words for a message ("its
// resource lies outside it"); "it does not fit in memory" when the writes cannot be planned. The
// fields of `patch` are filled as they are read: a file that is not sound may leave those after the
// problem as they were (`bytes`, `size`, `version` and `write_count` are always set).
//
// The strrefs go into the resource text by text, each at its positions in order, so a later write
// wins where two meet. Of all those writes only the last one at each reference index can show in
// the resource (a write at the same index covers the same 4 bytes); `patch->writes` holds just
// those, in the same order. That takes time and memory linear in the file's size however the texts'
// position ranges overlap, and gives exactly the bytes that all the writes would.
const char* read_string_patch(const u8* bytes, u32 size, int version, StringPatch* patch);

// Text `index` (below entry_count) of a patch that read_string_patch found sound, as the talk table
// takes it.
PatchText patch_text(const StringPatch& patch, u32 index);

// Writes the strrefs into `resource` (a copy of the patch's resource) of a patch that
// read_string_patch found sound: text i's strref is `first_strref` + i.
void write_strrefs(const StringPatch& patch, u32 first_strref, u8* resource);

}  // namespace zep
