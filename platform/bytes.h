// Little-endian fields in byte buffers, and the one bounds test that every reader of outside data
// uses. Every file format this system reads or writes is little-endian.
#pragma once

#include "platform/types.h"

namespace zep {

// Forced inline: on x86 each is one unaligned move, smaller than a call.
#define ZEP_ALWAYS_INLINE inline __attribute__((always_inline))

ZEP_ALWAYS_INLINE u16 load_u16(const u8* bytes) { return static_cast<u16>(bytes[0] | bytes[1] << 8); }

ZEP_ALWAYS_INLINE u32 load_u32(const u8* bytes) {
  return static_cast<u32>(bytes[0]) | static_cast<u32>(bytes[1]) << 8 | static_cast<u32>(bytes[2]) << 16 |
         static_cast<u32>(bytes[3]) << 24;
}

ZEP_ALWAYS_INLINE void store_u32(u8* bytes, u32 value) {
  bytes[0] = static_cast<u8>(value);
  bytes[1] = static_cast<u8>(value >> 8);
  bytes[2] = static_cast<u8>(value >> 16);
  bytes[3] = static_cast<u8>(value >> 24);
}

// True when the `length` bytes at `offset` lie inside `size` bytes. Cannot wrap.
inline bool range_inside(u32 offset, u32 length, u32 size) { return length <= size && offset <= size - length; }

}  // namespace zep
