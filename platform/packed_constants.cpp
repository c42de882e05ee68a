#include "platform/packed_constants.h"

#include "platform/bytes.h"

namespace zep {

void unpack_constants(const u8* packed, u8* out, u32 length) {
  u8* const end = out + length;
  u32 flags = 1;  // the items' flags still to use, above a 1 that marks where they end
  while (out < end) {
    if (flags == 1) flags = *packed++ | 0x100u;
    if (flags & 1) {
      *out++ = *packed++;
    } else {
      const u32 word = load_u16(packed);
      packed += 2;
      const u8* from = out - (word >> 4) - 1;
      for (u32 count = (word & 15) + 3; count > 0; --count) *out++ = *from++;
    }
    flags >>= 1;
  }
}

void relocate_constants(u8* image, const u8* table, u32 size, u32 first, u32 length, u32 delta) {
  const u8* const end = table + size;
  while (table < end) {
    const u32 page = load_u32(table);
    const u32 block = load_u32(table + 4);
    if (block < 8) return;  // no block is shorter than its own head: the table ends here
    for (u32 at = 8; at < block; at += 2) {
      const u32 entry = load_u16(table + at);
      const u32 place = page + (entry & 0xFFF);
      if (entry >> 12 == 3 && place - first < length) store_u32(image + place, load_u32(image + place) + delta);
    }
    table += block;
  }
}

}  // namespace zep
