// String patch files: building SPK4 from a description, and reading SPK3 and SPK4 back.
//
// SPK4 as this tool lays it out (byte offsets from the file's first byte; u32 little-endian unless
// noted otherwise; no padding anywhere):
//
//   0           60 bytes     header
//   60          50 * n       string entries, one per text, in text order
//   then        4 * r        reference offset table: the positions of text 0, then of text 1, ...
//   then        (nothing)    the further table: count 0, its offset where the resource begins
//   then        L bytes      the resource
//   then                     the texts back to back in text order; the text base offset is where
//                            the first one begins, and the last one ends the file
//
//   header:  0 magic "SPK4"  4 u32 0  8 resource name (12 bytes, zero-padded; no terminator at 12)
//            20 resource data offset  24 resource data length  28 u32 0  32 text base offset
//            36 string entry count  40 string entry table offset  44 reference count
//            48 reference offset table offset  52 further table count  56 further table offset
//   entry:   0 text offset (from the text base)  4 text length  8 sound resref (8 bytes, zero-padded)
//            16 volume variance  20 pitch variance  24 u16 flags  26 first reference index
//            30 reference count  34 four u32 0
//
// SPK3 (read only): its 44-byte header is the SPK4 header up to offset 44, and each 20-byte entry is
// text offset, text length, reference offset (0xFFFFFFFF for none), sound resref. The installer gives
// every SPK3 text the flags 3 and volume and pitch variance 0.
#pragma once

#include <string>
#include <vector>

#include "platform/types.h"
#include "tools/byte_io.h"

namespace zep::tool {

constexpr std::size_t kResourceNameWidth = 12;  // bytes of the resource name field
constexpr std::size_t kResrefWidth = 8;         // bytes of a sound resref field
constexpr u32 kSpk4HeaderLength = 60;
constexpr u32 kSpk4EntryLength = 50;
constexpr u32 kSpk3HeaderLength = 44;
constexpr u32 kSpk3EntryLength = 20;
constexpr u32 kNoPosition = 0xFFFFFFFF;  // an SPK3 reference offset that names no position
constexpr u16 kSpk3Flags = 3;            // what the installer gives every SPK3 text
constexpr u32 kStrrefLength = 4;         // bytes that one strref takes in the resource

// `TalkEntry` flags: the entry has a text; the entry has a sound.
constexpr u16 kTextFlag = 1;
constexpr u16 kSoundFlag = 2;

// One new text of a string patch file and where its strref goes.
struct PatchText {
  std::string text;             // the bytes appended to the talk table, without a terminator
  std::string sound;            // sound resref, up to 8 characters; empty for none
  u32 volume_variance = 0;
  u32 pitch_variance = 0;
  u16 flags = kTextFlag;        // `TalkEntry` flags
  std::vector<u32> positions;   // byte offsets in the resource that receive the text's strref
};

// Everything an SPK4 file carries.
struct StringPatch {
  std::string resource_name;    // the file name under override\, up to 12 characters
  std::vector<u8> resource;     // the resource's bytes
  std::vector<PatchText> texts; // in the order the installer appends them
};

// What is wrong with `patch` for an SPK4 file that the installer applies entirely inside its
// resource: a bad or long resource name or sound resref, a position whose 4 bytes leave the
// resource, positions that overlap, a file past 4 GiB. Empty when nothing is.
std::string check_string_patch(const StringPatch& patch);

// Lays `patch` out as SPK4 bytes in `out`. Returns false, with the problem in `error` and `out`
// unchanged, when check_string_patch finds one.
bool build_spk4(const StringPatch& patch, std::vector<u8>& out, std::string& error);

// What a problem with a resource name is, or an empty text for a sound one. A resource name is
// joined to override\ in the game folder, so it must be a plain file name of at most 12 ASCII
// characters.
std::string check_resource_name(const std::string& name);

// One string entry of a string patch file as read.
struct SpkText {
  u32 text_offset = 0;          // from the text base offset
  u32 text_length = 0;          // bytes
  std::string sound;            // the resref up to its first zero byte
  u32 volume_variance = 0;      // SPK4; 0 for SPK3
  u32 pitch_variance = 0;       // SPK4; 0 for SPK3
  u16 flags = kSpk3Flags;       // SPK4; fixed for SPK3
  u32 first_reference = 0;      // SPK4: index of the first position in the reference table
  u32 reference_count = 0;      // SPK4: number of positions; SPK3: 1, or 0 for kNoPosition
  std::vector<u32> positions;   // the positions that could be read
  std::string text;             // the text, when asked for and inside the file
};

// A string patch file as read, with everything found damaged.
struct SpkFile {
  std::string magic;            // the first 4 bytes (fewer when the file is shorter)
  int version = 0;              // 3 or 4; 0 when the magic is neither
  u32 unused_4 = 0;             // the u32 at offset 4
  std::string resource_name;    // up to its first zero byte, at most 12 bytes
  u32 resource_offset = 0;
  u32 resource_length = 0;
  u32 unused_28 = 0;            // the u32 at offset 28
  u32 text_base = 0;
  u32 entry_count = 0;
  u32 entry_table = 0;
  u32 reference_count = 0;      // SPK4 only, as are the three fields below
  u32 reference_table = 0;
  u32 further_count = 0;
  u32 further_offset = 0;
  std::vector<SpkText> texts;   // the entries that lie inside the file
  std::vector<std::string> problems;  // what is damaged; empty for a sound file
};

// Reads the string patch file in `source` without ever reading outside it. Each count, offset,
// length and reference index that does not fit the file, the reference table or the resource is
// described in `problems` and what it points at is skipped. With `with_texts` the texts are read
// too. A magic other than SPK3 and SPK4 is a problem and ends the reading (an SPKN file is named as
// refused by the installer).
SpkFile read_string_patch(ByteSource& source, bool with_texts);

}  // namespace zep::tool
