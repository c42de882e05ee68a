// Fixed-width integers shared by every module. Only freestanding headers are used here, so the
// installer stub and the uninstaller can include this without any runtime library.
#pragma once

#include <stddef.h>
#include <stdint.h>

namespace zep {

using u8 = uint8_t;
using u16 = uint16_t;
using u32 = uint32_t;
using i32 = int32_t;
using u64 = uint64_t;

// Every file format this system reads or writes is little-endian, and so are both machines it is built
// for (x86 Windows, x86 Linux). Records are therefore read and written in their in-memory layout.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the file formats are little-endian");

}  // namespace zep
