// Unpacking the installer stub's constants, which cmake/pack-constants compressed after linking and
// whose addresses it pointed at a copy in the stub's zero-filled variables: the stub's entry puts
// them there before anything else runs. Plain functions of bytes in memory, so that they can be
// tested anywhere.
#pragma once

#include "platform/types.h"

namespace zep {

// Decodes `packed` (see cmake/pack-constants: LZSS with 12-bit distances and 4-bit lengths) into the
// `length` bytes at `out`. The packer checked that it decodes to exactly that.
void unpack_constants(const u8* packed, u8* out, u32 length);

// Adds `delta` (where the image was loaded less where it was linked) to each 32-bit word that the
// base relocation table `table` of `size` bytes lists in the `length` bytes at `first` of the image
// at `image`: the loader added it to the zeros that were there, which the unpacking then replaced.
void relocate_constants(u8* image, const u8* table, u32 size, u32 first, u32 length, u32 delta);

}  // namespace zep
