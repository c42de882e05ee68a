// The field view of a string patch file, for zep inspect and the tests: SPK3 and SPK4 read field by
// field, never outside the file, with every count, offset and length that does not fit named. The
// installer's own check is read_string_patch in dialog/string_patch.h; the layout is pictured in
// tools/spk_writer.h.
#pragma once

#include <string>
#include <vector>

#include "platform/types.h"
#include "tools/byte_io.h"
#include "tools/spk_writer.h"

namespace zep::tool {

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
  u32 position = kNoPosition;   // SPK3: its one position, or kNoPosition for none
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
  std::vector<u32> references;  // SPK4: the reference offset table, when it lies inside the file
  std::vector<SpkText> texts;   // the entries that lie inside the file
  std::vector<std::string> problems;  // what is damaged; empty for a sound file
};

// The positions of `text` of `spk`: its SPK3 position, or its range of the SPK4 reference table (empty
// when that range leaves the table).
std::vector<u32> positions_of(const SpkFile& spk, const SpkText& text);

// Reads the string patch file in `source` without ever reading outside it, in time and memory
// linear in its size (the texts' positions are not copied: they are ranges of one table). Each count, offset,
// length and reference index that does not fit the file, the reference table or the resource is
// described in `problems` and what it points at is skipped. With `with_texts` the texts are read
// too. A magic other than SPK3 and SPK4 is a problem and ends the reading (an SPKN file is named as
// refused by the installer).
SpkFile read_spk_fields(ByteSource& source, bool with_texts);

}  // namespace zep::tool
