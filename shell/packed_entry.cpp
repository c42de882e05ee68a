// The entry of the installer stub whose constants cmake/pack-constants packed: it unpacks them into
// their copy among the variables, where every address of them now points, and applies there the
// base relocations that the loader applied to the zeros it found; then the stub runs as any other.
// Nothing before this reads a constant: it reads only the record that the packer filled, among the
// code, and the image's own headers.
#include <windows.h>

#include "platform/packed_constants.h"

extern "C" {
extern const zep::u32 zep_packing_record[3];  // where the packed constants are, their copy, its length
extern IMAGE_DOS_HEADER __ImageBase;
void zep_entry();
}

extern "C" void zep_packed_entry() {
  zep::u8* const image = reinterpret_cast<zep::u8*>(&__ImageBase);
  zep::unpack_constants(image + zep_packing_record[0], image + zep_packing_record[1], zep_packing_record[2]);
  const IMAGE_NT_HEADERS32* headers = reinterpret_cast<const IMAGE_NT_HEADERS32*>(image + __ImageBase.e_lfanew);
  const IMAGE_DATA_DIRECTORY& relocations = headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_BASERELOC];
  // Linked for the image base 0x400000, the linker's default; the delta is 0 when it was loaded there.
  const zep::u32 delta = reinterpret_cast<zep::u32>(image) - 0x400000u;
  if (delta != 0) {
    zep::relocate_constants(image, image + relocations.VirtualAddress, relocations.Size, zep_packing_record[1],
                            zep_packing_record[2], delta);
  }
  // Through a pointer the compiler cannot see through, so that nothing of the stub is inlined here
  // and so read a constant before the loop above has unpacked it.
  void (*volatile run)() = zep_entry;
  run();
}
