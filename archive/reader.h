// Reading the archive of a self-extracting file (or of a bare .zep file) through an open handle.
//
// Everything an archive says about itself comes from outside and may be damaged, typically by a
// download cut short. read_archive_index therefore checks the whole archive before any of it is used:
// the header, the entry table and every name and data region must lie inside the file, with 32-bit
// arithmetic that cannot wrap. Only then are the entry table and the names kept, each read once, and
// every later reader works from that index.
#pragma once

#include "archive/format.h"
#include "archive/names.h"
#include "platform/buffers.h"
#include "platform/platform.h"
#include "platform/types.h"

namespace zep {

// What is wrong with an archive, the first problem found.
enum class ArchiveDamage {
  kNone,
  kUnreadable,       // the file's size cannot be taken or a read failed (the system code is kept)
  kNoHeader,         // the file ends before the archive's header does
  kNotAnArchive,     // the header does not start with "ZEP" and a zero byte
  kCutShort,         // the archive is shorter than its header's total length
  kTableOutside,     // the entry table runs past the end of the file
  kNameOutside,      // an entry's name runs past the end of the file
  kDataOutside,      // an entry's data runs past the end of the file
  kNameUnusable,     // read_entry_afresh only: an other file's name is longer than kMaxEntryNameLength
                     // or holds a zero byte, which no Windows path can; the archive itself is sound
  kOutOfMemory,      // the index does not fit in memory
  kChanged,          // the archive no longer holds what was listed when the program started
  kNotListed,        // the archive could not be listed when the program started
};

// The outcome of a check, with what a message needs to name the problem.
struct ArchiveCheck {
  ArchiveDamage damage;
  u32 entry;      // the record concerned, for the entry problems
  u32 expected;   // kCutShort: the header's total length
  u32 actual;     // kCutShort: the bytes there are
  u32 system_code;  // kUnreadable: last_error() at the failure
};

// The checked entry table and names of one archive.
class ArchiveIndex {
 public:
  u32 patch_count() const { return patch_count_; }  // P: string patch files, records 0 .. P-1
  u32 file_count() const { return file_count_; }    // F: other files, records P .. P+F-1
  u32 archive_offset() const { return archive_offset_; }
  u32 archive_length() const { return archive_length_; }  // bytes from the archive's start to the file's end

  // Record `index` (below patch_count() + file_count()); its regions lie inside the file.
  ArchiveEntry entry(u32 index) const;
  // The zero-terminated name of record `index`. It may hold zero bytes of its own, which end it early.
  const char* name(u32 index) const;

 private:
  friend ArchiveCheck read_archive_index(FileRef, u32, ArchiveIndex*);
  // The work of read_archive_index: returns what it finds, with the fields that name it in `check`,
  // reading the table and the names straight into `index` (which read_archive_index empties again
  // when the archive is damaged) rather than into blocks of its own that are then moved there.
  static ArchiveDamage read(FileRef file, u32 archive_offset, ArchiveIndex* index, ArchiveCheck* check);
  u32 patch_count_ = 0;
  u32 file_count_ = 0;
  u32 archive_offset_ = 0;
  u32 archive_length_ = 0;
  HeapBuffer table_;         // the entry table as stored, 20 bytes per record
  HeapBuffer names_;         // every name with its terminator, back to back in record order
  HeapBuffer name_starts_;   // u32 per record: where its name begins in names_
};

// Checks the archive that starts at file offset `archive_offset` of `file` and fills `index`.
// Returns kNone when the archive is sound; otherwise the problem, with `index` left empty.
ArchiveCheck read_archive_index(FileRef file, u32 archive_offset, ArchiveIndex* index);

// An entry's name with its terminator.
using EntryName = BoundedText<kMaxEntryNameLength + 1>;

// Reads record `number` (below index.patch_count() + index.file_count()) and its name afresh from
// `file`, the file `index` was read from, and checks them as read_archive_index does: the name and the
// data inside the archive, the name at most kMaxEntryNameLength bytes and, for an other file, a path
// inside the game folder. Returns kNone with `entry` and `name` filled, or the problem; for
// kNameUnusable `name` holds as much of the name as a path could, up to a zero byte in it.
ArchiveCheck read_entry_afresh(FileRef file, const ArchiveIndex& index, u32 number, ArchiveEntry* entry,
                               EntryName* name);

// Shows the message for a damaged archive, owned by `owner`. `check.damage` is not kNone.
void show_archive_damage(WindowRef owner, const ArchiveCheck& check);

// The text of that message into `text`, for the message box and for tests.
void describe_archive_damage(const ArchiveCheck& check, MessageText* text);

// The caption of that message.
extern const char kArchiveDamageCaption[];

// How copying a region of one file into another ended.
enum class CopyFailure { kNone, kRead, kWrite };

// Bytes copied at a time by copy_region, so that memory stays flat whatever the length.
constexpr u32 kCopyPieceLength = 64 * 1024;

// How far the copying of a long command (an installation, an extraction) has come. copy_region adds
// every piece it copies to `done`; when `shown_in` is set it then shows the file and the part of
// `total` that is done there, and lets the window answer its messages (show_progress), so that it
// never stops responding however long the copy takes.
struct CopyProgress {
  WindowRef shown_in;  // null: nothing is shown and no message is handled
  u32 file;            // the file being copied, counted from 1; 0 for none
  u32 files;
  u32 done;
  u32 total;
};
extern CopyProgress g_copy_progress;

// `object` reached through a register that holds its address, for a function that uses several of
// a global's fields: named directly, each use carries the whole address in its instruction (4 bytes
// more than an offset from a register) and needs a relocation of 2 bytes in the installer. The empty
// asm hides the address from the compiler, which would otherwise write it back into every use.
template <typename T>
T& through_register(T& object) {
  T* address = &object;
  asm("" : "+r"(address));
  return *address;
}

// Shows g_copy_progress and handles the window's messages, when it is shown anywhere.
void show_copy_progress();

// Copies the `length` bytes at file offset `offset` of `from` to the current position of `to`, in
// pieces of kCopyPieceLength bytes. On failure last_error() holds the failed call's code (8 when the
// piece buffer cannot be had, which counts as a read failure).
CopyFailure copy_region(FileRef from, u32 offset, u32 length, FileRef to);

}  // namespace zep
