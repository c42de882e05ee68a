#include "archive/reader.h"

#include <new>

#include "archive/names.h"
#include "platform/bytes.h"
#include "platform/error_message.h"

namespace zep {

const char kArchiveDamageCaption[] = "ZEP archive damaged";

namespace {

// The damage of an unreadable archive, with the system's code of the failure, which is taken at once:
// the clean-up on the way out may set another.
ArchiveDamage unreadable(ArchiveCheck* check) {
  check->system_code = last_error();
  return ArchiveDamage::kUnreadable;
}

// Reads `length` bytes at file offset `offset`.
bool read_at(FileRef file, u32 offset, void* buffer, u32 length) {
  return seek_file(file, offset) && read_file(file, buffer, length);
}

// The entry record at `record`, as stored.
ArchiveEntry decode_entry(const u8* record) {
  ArchiveEntry entry;
  entry.name_offset = load_u32(record);
  entry.name_length = load_u32(record + 4);
  entry.flags = load_u32(record + 8);
  entry.data_offset = load_u32(record + 12);
  entry.data_length = load_u32(record + 16);
  return entry;
}

// kNameOutside or kDataOutside, with the entry's `number` in `check`, when that region of `entry` runs
// past the archive's `archive_length` bytes; otherwise kNone.
ArchiveDamage region_damage(const ArchiveEntry& entry, u32 number, u32 archive_length, ArchiveCheck* check) {
  check->entry = number;
  if (!range_inside(entry.name_offset, entry.name_length, archive_length)) return ArchiveDamage::kNameOutside;
  if (!range_inside(entry.data_offset, entry.data_length, archive_length)) return ArchiveDamage::kDataOutside;
  return ArchiveDamage::kNone;
}

// The bytes of a name of `name_length` that are kept: as far as a path could go. Shared by its two
// callers rather than folded into each (8 bytes less).
__attribute__((noinline)) u32 kept_name_length(u32 name_length) {
  return name_length < kMaxEntryNameLength ? name_length : kMaxEntryNameLength;
}

// The work of read_entry_afresh, as ArchiveIndex::read is read_archive_index's: each returns the
// damage alone and fills the fields that name it only where they are known, which is smaller than
// returning a whole ArchiveCheck from every place that stops.
ArchiveDamage find_entry_afresh(FileRef file, const ArchiveIndex& index, u32 number, ArchiveEntry* entry,
                                EntryName* name, ArchiveCheck* check);

}  // namespace

ArchiveEntry ArchiveIndex::entry(u32 index) const { return decode_entry(table_.data() + index * sizeof(ArchiveEntry)); }

const char* ArchiveIndex::name(u32 index) const {
  return names_.text() + load_u32(name_starts_.data() + index * 4);
}

ArchiveCheck read_archive_index(FileRef file, u32 archive_offset, ArchiveIndex* index) {
  ArchiveCheck check = {};
  check.damage = ArchiveIndex::read(file, archive_offset, index, &check);
  // The index is read into where it is kept; a damaged archive leaves it empty again, as it was made.
  if (check.damage != ArchiveDamage::kNone) {
    index->~ArchiveIndex();
    new (index) ArchiveIndex();
  }
  return check;
}

ArchiveCheck read_entry_afresh(FileRef file, const ArchiveIndex& index, u32 number, ArchiveEntry* entry,
                               EntryName* name) {
  ArchiveCheck check = {};
  check.damage = find_entry_afresh(file, index, number, entry, name, &check);
  return check;
}

ArchiveDamage ArchiveIndex::read(FileRef file, u32 archive_offset, ArchiveIndex* index, ArchiveCheck* check) {
  u32 file_size = 0;
  if (!get_file_size(file, &file_size)) return unreadable(check);
  if (file_size < archive_offset || file_size - archive_offset < sizeof(ArchiveHeader)) {
    return ArchiveDamage::kNoHeader;
  }
  const u32 archive_length = file_size - archive_offset;

  u8 header[sizeof(ArchiveHeader)];
  if (!read_at(file, archive_offset, header, sizeof header)) return unreadable(check);
  // The magic's four bytes compared as one number.
  if (load_u32(header) != load_u32(kArchiveMagic)) return ArchiveDamage::kNotAnArchive;
  const u32 patch_count = load_u32(header + 8);
  const u32 file_count = load_u32(header + 12);
  const u32 total_length = load_u32(header + 17);
  // Anything after the archive's own length (a signature, say) does no harm; too little means the
  // file was cut short, and saying so is clearer than naming the first region that is missing.
  if (total_length > archive_length) {
    check->expected = total_length;
    check->actual = archive_length;
    return ArchiveDamage::kCutShort;
  }

  const u32 room = (archive_length - kEntryTableOffset) / sizeof(ArchiveEntry);  // records that could fit
  if (patch_count > room || file_count > room - patch_count) return ArchiveDamage::kTableOutside;
  const u32 count = patch_count + file_count;

  HeapBuffer& table = index->table_;
  if (!table.allocate(count * sizeof(ArchiveEntry))) return ArchiveDamage::kOutOfMemory;
  if (count > 0 && !read_at(file, archive_offset + kEntryTableOffset, table.data(), table.length())) {
    return unreadable(check);
  }

  // Every region is checked before anything is read from it; the names' total is counted in 64 bits,
  // since names may share bytes and so add up to more than the file holds.
  u64 names_length = 0;
  for (u32 i = 0; i < count; ++i) {
    const ArchiveEntry entry = decode_entry(table.data() + i * sizeof(ArchiveEntry));
    const ArchiveDamage damage = region_damage(entry, i, archive_length, check);
    if (damage != ArchiveDamage::kNone) return damage;
    // A name longer than any path is kept for the listing only as far as a path could go.
    names_length += kept_name_length(entry.name_length) + 1;
  }
  check->entry = 0;
  if (names_length > 0xFFFFFFFFu) return ArchiveDamage::kOutOfMemory;

  HeapBuffer& names = index->names_;
  HeapBuffer& name_starts = index->name_starts_;
  if (!names.allocate(static_cast<u32>(names_length)) || !name_starts.allocate(count * 4)) {
    return ArchiveDamage::kOutOfMemory;
  }
  u32 at = 0;
  for (u32 i = 0; i < count; ++i) {
    const ArchiveEntry entry = decode_entry(table.data() + i * sizeof(ArchiveEntry));
    const u32 name_length = kept_name_length(entry.name_length);
    if (name_length > 0 &&
        !read_at(file, archive_offset + entry.name_offset, names.text() + at, name_length)) {
      return unreadable(check);
    }
    // Names are not judged here: one that the game folder cannot take is refused for that file alone
    // when it is installed.
    store_u32(name_starts.data() + i * 4, at);
    at += name_length + 1;  // the block is zero-filled: the terminator is there already
  }

  index->patch_count_ = patch_count;
  index->file_count_ = file_count;
  index->archive_offset_ = archive_offset;
  index->archive_length_ = archive_length;
  return ArchiveDamage::kNone;
}

namespace {

ArchiveDamage find_entry_afresh(FileRef file, const ArchiveIndex& index, u32 number, ArchiveEntry* entry,
                                EntryName* name, ArchiveCheck* check) {
  name->clear();
  u8 record[sizeof(ArchiveEntry)];
  if (!read_at(file, index.archive_offset() + entry_offset(number), record, sizeof record)) return unreadable(check);
  *entry = decode_entry(record);
  const ArchiveDamage damage = region_damage(*entry, number, index.archive_length(), check);
  if (damage != ArchiveDamage::kNone) return damage;
  // A name is read as far as a path could go: a longer one is shown so far.
  const u32 name_length = kept_name_length(entry->name_length);
  char text[kMaxEntryNameLength + 1];
  if (name_length > 0 && !read_at(file, index.archive_offset() + entry->name_offset, text, name_length)) {
    return unreadable(check);
  }
  text[name_length] = 0;
  const bool other_file = number >= index.patch_count();
  // A forward slash separates folders on Windows as a backslash does: an other file's name is placed
  // and logged with backslashes.
  if (other_file) {
    for (u32 i = 0; i < name_length; ++i) {
      if (text[i] == '/') text[i] = '\\';
    }
  }
  // A zero byte inside the name ends it early, as it does for every reader of the name.
  name->append(text);
  // An other file's name is a path: one that is longer than a path can be, or that a zero byte ends
  // early, can name no file.
  if (other_file && (entry->name_length > kMaxEntryNameLength || name->length() != name_length)) {
    return ArchiveDamage::kNameUnusable;
  }
  return ArchiveDamage::kNone;
}

}  // namespace

CopyProgress g_copy_progress;

void show_copy_progress() {
  const CopyProgress& progress = through_register(g_copy_progress);
  if (progress.shown_in == nullptr) return;
  // Both scaled down alike until a hundred times the done part fits 32 bits.
  u32 done = progress.done;
  u32 total = progress.total;
  while (total > 0xFFFFFF) {
    total >>= 4;
    done >>= 4;
  }
  show_progress(progress.shown_in, progress.file, progress.files,
                total == 0 || done >= total ? 100 : done * 100 / total);
}

CopyFailure copy_region(FileRef from, u32 offset, u32 length, FileRef to) {
  HeapBuffer piece;
  if (!piece.allocate(length < kCopyPieceLength ? length : kCopyPieceLength)) return CopyFailure::kRead;
  if (!seek_file(from, offset)) return CopyFailure::kRead;
  for (u32 left = length; left > 0;) {
    const u32 step = left < kCopyPieceLength ? left : kCopyPieceLength;
    if (!read_file(from, piece.data(), step)) return CopyFailure::kRead;
    if (!write_file(to, piece.data(), step)) return CopyFailure::kWrite;
    left -= step;
    g_copy_progress.done += step;
    show_copy_progress();
  }
  return CopyFailure::kNone;
}

void describe_archive_damage(const ArchiveCheck& check, MessageText* text) {
  // For each damage, in its order, its words, each ended by a zero byte. Their fields: the entry's
  // number, the system's error, or a cut-short archive's two lengths.
  static const char kWords[] =
      "nothing is wrong\0"
      "it cannot be read: %e\0"
      "the file ends before the archive begins\0"
      "the file holds no ZEP archive\0"
      "it is cut short, only %u of its %u bytes are there\0"
      "its list of files runs past the end of the file\0"
      "the name of entry %u runs past the end of the file\0"
      "the data of entry %u runs past the end of the file\0"
      "the name of entry %u is too long or holds a zero byte\0"
      "its list of files does not fit in memory\0"
      "it changed since the installer started\0"
      "it could not be read when the installer started";
  static_assert(static_cast<u32>(ArchiveDamage::kNotListed) == 11, "one description for each damage");
  const char* words = nth_text(kWords, static_cast<u32>(check.damage));
  const u32 first = check.damage == ArchiveDamage::kUnreadable ? check.system_code
                    : check.damage == ArchiveDamage::kCutShort ? check.actual
                                                               : check.entry + 1;  // counted from 1 for the reader
  PathString described;
  described.format(words, first, check.expected);
  text->format("This installer's archive is damaged: %s.\n\nPlease download it again.", described.c_str());
}

void show_archive_damage(WindowRef owner, const ArchiveCheck& check) {
  MessageText text;
  describe_archive_damage(check, &text);
  show_message(owner, text.c_str(), kArchiveDamageCaption, kMbOk | kMbIconWarning);
}

}  // namespace zep
