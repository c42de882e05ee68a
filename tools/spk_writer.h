// Writing string patch files: SPK4 built from a description of its resource and texts.
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

// A position as words for messages: "text 2's position 0x50".
std::string describe_position(std::size_t text_index, u32 position);

}  // namespace zep::tool
