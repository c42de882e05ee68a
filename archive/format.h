// The self-extracting file and the ZEP archive it carries.
//
// Self-extracting file (file offsets):
//
//   0        36864            40960                                  end of file
//   +--------+----------------+--------------------------------------+
//   | stub   | uninstaller    | archive                              |
//   | (zero- | image, 4096 B  | (all offsets inside are relative to  |
//   | padded)| (zero-padded)  |  its first byte)                     |
//   +--------+----------------+--------------------------------------+
//
// Archive (all integers unsigned little-endian, no padding anywhere):
//
//   offset  width  field
//   0       4      magic "ZEP\0"
//   4       4      u32, 0
//   8       4      u32 string patch file count P
//   12      4      u32 other file count F
//   16      1      u8, 0
//   17      4      u32 total archive length
//   21      20*(P+F)  entry table: records 0..P-1 string patch files, P..P+F-1 other files
//   then, as built: each entry's name (no terminator) immediately followed by its data, in
//   table order, the last data ending at the total length.
//
//   entry record (20 bytes): u32 name offset, u32 name length, u32 flags (1 = open after
//   installation; any other value = no flag), u32 data offset, u32 data length.
#pragma once

#include "platform/types.h"

namespace zep {

// Where the pieces of a self-extracting file lie. The stub keeps one instance in its data and every
// reader addresses the pieces through it, never by searching.
struct StubLayout {
  u32 uninstaller_length;  // bytes of the uninstaller image
  u32 uninstaller_offset;  // file offset of the uninstaller image
  u32 archive_offset;      // file offset of the archive's first byte
};
static_assert(sizeof(StubLayout) == 12, "three u32 constants, in this order");

// The layout of every self-extracting file this system builds (defined in archive/layout.cpp).
extern const StubLayout kStubLayout;

// One of kStubLayout's numbers, read from the stub's data where it is used, as in
// `layout_number(kStubLayout.archive_offset)`. A plain read would let whole-program optimisation
// fold the numbers into the code, and the stub would then hold no such record.
inline u32 layout_number(const u32& number) { return *static_cast<const volatile u32*>(&number); }

// The same numbers for code that needs them at compile time (the packer, static checks).
constexpr u32 kUninstallerLength = 4096;
constexpr u32 kUninstallerOffset = 36864;
constexpr u32 kArchiveOffset = 40960;
static_assert(kUninstallerOffset + kUninstallerLength == kArchiveOffset, "pieces end to end");

constexpr u8 kArchiveMagic[4] = {'Z', 'E', 'P', 0};
constexpr u32 kRunAfterInstall = 1;  // the flags value that marks a file to open after installation

#pragma pack(push, 1)
struct ArchiveHeader {
  u8 magic[4];      // "ZEP" and a zero byte
  u32 reserved;     // 0
  u32 patch_count;  // P: string patch files, records 0..P-1
  u32 file_count;   // F: other files, records P..P+F-1
  u8 reserved_byte; // 0
  u32 total_length; // bytes in the whole archive
};

struct ArchiveEntry {
  u32 name_offset;  // archive offset of the name
  u32 name_length;  // bytes of the name, which has no terminator
  u32 flags;        // kRunAfterInstall, or anything else for none
  u32 data_offset;  // archive offset of the data
  u32 data_length;  // bytes of the data
};
#pragma pack(pop)

static_assert(sizeof(ArchiveHeader) == 21, "header is 21 bytes");
static_assert(sizeof(ArchiveEntry) == 20, "entry record is 20 bytes");

constexpr u32 kEntryTableOffset = sizeof(ArchiveHeader);

// Archive offset of record `index`.
constexpr u32 entry_offset(u32 index) { return kEntryTableOffset + index * sizeof(ArchiveEntry); }

}  // namespace zep
