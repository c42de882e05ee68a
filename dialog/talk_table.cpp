#include "dialog/talk_table.h"

#include <new>

#include "platform/bytes.h"
#include "platform/error_message.h"

namespace zep {

const char kTalkTableName[] = "dialog.tlk";
const char kFemaleTalkTableName[] = "dialogF.tlk";
const char kNewFileSuffix[] = ".new";

const char kOpenFailureText[] = "Can't open dialog file. SPK importing aborted.";
const char kTalkTableErrorCaption[] = "Error";

namespace {

// The largest file the table may grow to: what a 32-bit file size can report, so that the saved
// table can be loaded again.
constexpr u32 kLargestFile = 0xFFFFFFFFu;

// The first growth of each block is at least this large, so that the first few appends, typically
// short texts, do not each regrow it.
constexpr u32 kFirstTextCapacity = 4096;
constexpr u32 kFirstEntryCapacity = 64 * kTalkEntryLength;

void show_open_failure(WindowRef owner) { show_message(owner, kOpenFailureText, kTalkTableErrorCaption, kMbOk); }

// Copies an 8-byte resref field as a name of at most 8 characters: the bytes up to the first zero,
// then zeros to the end of the field. `from` may be `to` (tidying in place) or null (no name).
void copy_resref(u8* to, const u8* from) {
  bool ended = from == nullptr;
  for (u32 i = 0; i < 8; ++i) {
    if (!ended && from[i] == 0) ended = true;
    to[i] = ended ? 0 : from[i];
  }
}

// Makes room for `needed` bytes in `block`, of which the first `used` are kept. Growth doubles the
// block, so that a run of appends copies each byte only a few times; when the doubled block cannot be
// had, the exact size is tried. A `first_capacity` of 0 asks for exactly `needed` bytes. Returns false,
// with `block` as it was, when memory runs out.
bool reserve(HeapBuffer* block, u32 used, u32 needed, u32 first_capacity) {
  if (!block->empty() && block->length() >= needed) return true;
  u64 capacity = first_capacity == 0 ? needed : static_cast<u64>(block->length()) * 2;
  if (capacity < first_capacity) capacity = first_capacity;
  if (capacity < needed) capacity = needed;
  if (capacity > kLargestFile) capacity = kLargestFile;
  HeapBuffer grown;
  if (!grown.allocate(static_cast<u32>(capacity)) && !grown.allocate(needed)) return false;
  if (used > 0) copy_bytes(grown.data(), block->data(), used);
  *block = static_cast<HeapBuffer&&>(grown);
  return true;
}

}  // namespace

// Out of line: one copy for every table, and one definition for the Windows test programs too, which
// link this file's objects (made for link-time optimisation) beside their own: the implicit inline
// destructor, defined by both, is refused there as defined twice.
TalkTable::~TalkTable() = default;

// Back to empty as it was made: destroyed, which releases its blocks, and made anew, which the compiler
// does with one fill of zeros rather than a reset of each field and block (about 90 bytes less).
void TalkTable::release() {
  this->~TalkTable();
  new (this) TalkTable();
}

namespace {

// Reads and checks the open talk table file into the three blocks. Returns null, or what is wrong at
// the first problem (a read that fails counts as one, with last_error() set).
const char* read_table(FileRef file, TalkHeader* header, HeapBuffer* entries, HeapBuffer* strings,
                       bool with_texts) {
  static const char kUnreadable[] = "";
  u32 file_size = 0;
  if (!get_file_size(file, &file_size)) return kUnreadable;
  if (file_size < kTalkHeaderLength) return "it is shorter than a talk table's header";
  if (!read_file(file, header, kTalkHeaderLength)) return kUnreadable;
  static const u8 kSignature[8] = {'T', 'L', 'K', ' ', 'V', '1', ' ', ' '};
  for (u32 i = 0; i < 8; ++i) {
    if ((i < 4 ? header->signature[i] : header->version[i - 4]) != kSignature[i]) {
      return "it does not begin with \"TLK V1  \"";
    }
  }

  // A count larger than the entries the file could hold is refused before 26*N is formed, which
  // could otherwise wrap round to a plausible offset.
  const u32 count = header->entry_count;
  if (count > (file_size - kTalkHeaderLength) / kTalkEntryLength) return "its entry table lies outside it";
  const u32 table_end = kTalkHeaderLength + count * kTalkEntryLength;
  // Some real tables of no entries leave the offset field 0. No entry points anywhere, so nothing is
  // lost by taking the string data to start after the header, which the saved file then says.
  if (count == 0 && header->string_data_offset == 0) header->string_data_offset = kTalkHeaderLength;
  if (header->string_data_offset != table_end) return "its texts do not begin right after its entry table";
  const u32 string_size = file_size - table_end;

  if (!entries->allocate(count * kTalkEntryLength)) return kUnreadable;
  if (count > 0 && !read_file(file, entries->data(), count * kTalkEntryLength)) return kUnreadable;
  const TalkEntry* entry = reinterpret_cast<const TalkEntry*>(entries->data());
  for (u32 i = 0; i < count; ++i) {
    if (!range_inside(entry[i].string_offset, entry[i].string_length, string_size)) {
      return "one of its entries points outside its texts";
    }
  }

  if (!with_texts) return nullptr;
  if (!strings->allocate(string_size)) return kUnreadable;
  if (string_size > 0 && !read_file(file, strings->data(), string_size)) return kUnreadable;
  return nullptr;
}

// One region of the file to be written.
struct Piece {
  const void* data;
  u32 length;  // bytes
};

// Writes the pieces one after another to the open file and forces them to the disk.
bool write_pieces(FileRef file, const Piece* pieces, u32 count) {
  for (u32 i = 0; i < count; ++i) {
    if (pieces[i].length > 0 && !write_file(file, pieces[i].data, pieces[i].length)) return false;
  }
  return flush_file(file);
}

}  // namespace

TalkLoad read_talk_table(TalkTable* table, const char* path, const char** problem, bool with_texts) {
  table->release();
  FileHandle file(open_for_reading(path));
  if (!file.is_open()) return TalkLoad::kCannotOpen;
  // Read straight into the table, which is emptied again when the file is refused, rather than into
  // blocks of its own that are then moved there.
  const char* wrong =
      read_table(file.get(), &table->header_, &table->entry_block_, &table->loaded_strings_, with_texts);
  const u32 code = last_error();
  // Closed before any message, so that the file is not held while the user reads it.
  file.close();
  if (wrong != nullptr) {
    table->release();
    if (wrong[0] != 0) {
      if (problem != nullptr) *problem = wrong;
      return TalkLoad::kNotATable;
    }
    set_last_error(code);
    return code == win_error::kNotEnoughMemory ? TalkLoad::kNoMemory : TalkLoad::kCannotOpen;
  }
  table->loaded_size_ = table->loaded_strings_.length();
  table->loaded_ = true;
  return TalkLoad::kLoaded;
}

bool load_talk_table(TalkTable* table, const char* game_path, WindowRef owner) {
  PathString path;
  if (!path.format("%s%s", game_path, kTalkTableName)) {
    release_talk_table(table);
    set_last_error(win_error::kFilenameTooLong);
    show_open_failure(owner);
    return false;
  }
  if (read_talk_table(table, path.c_str(), nullptr) == TalkLoad::kLoaded) return true;
  show_open_failure(owner);
  return false;
}

u32 append_string(TalkTable* table, const void* text, u32 length, u16 flags, const u8* sound_resref,
                  u32 volume_variance, u32 pitch_variance) {
  if (!table->loaded_) return kAppendRefused;
  const u32 strref = table->header_.entry_count;
  const u32 total = table->total_string_size();
  // The saved file: the header and entry table up to the string data, one more entry, every text.
  const u64 grown_size = static_cast<u64>(table->header_.string_data_offset) + kTalkEntryLength + total + length;
  if (grown_size > kLargestFile) return kAppendRefused;

  const u32 entries_used = strref * kTalkEntryLength;
  if (!reserve(&table->entry_block_, entries_used, entries_used + kTalkEntryLength, kFirstEntryCapacity) ||
      !reserve(&table->appended_strings_, table->appended_size_, table->appended_size_ + length,
               kFirstTextCapacity)) {
    return kAppendRefused;
  }

  TalkEntry* entries = table->entries();
  if (!table->appended_) {
    // A grown table carries each resref as a name only: whatever follows a name's first zero byte
    // is not kept. Done once here, since later appends never touch the older entries again.
    for (u32 i = 0; i < strref; ++i) copy_resref(entries[i].sound_resref, entries[i].sound_resref);
    table->appended_ = true;
  }
  TalkEntry& entry = entries[strref];
  entry.flags = flags;
  copy_resref(entry.sound_resref, static_cast<const u8*>(sound_resref));
  entry.volume_variance = volume_variance;
  entry.pitch_variance = pitch_variance;
  entry.string_offset = total;
  entry.string_length = length;

  if (length > 0) copy_bytes(table->appended_strings_.data() + table->appended_size_, text, length);
  table->appended_size_ += length;
  table->header_.entry_count += 1;
  table->header_.string_data_offset += kTalkEntryLength;
  return strref;
}

void start_talk_table(TalkTable* table) {
  table->release();
  table->header_.string_data_offset = kTalkHeaderLength;
  table->loaded_ = true;
}

bool append_table(TalkTable* table, const TalkTable& additions, u32 first) {
  const u32 count = table->header_.entry_count;
  const u32 added = additions.header_.entry_count;
  const u64 entries = static_cast<u64>(first) + added;
  if (!table->loaded_ || count > first || entries * kTalkEntryLength > kLargestFile) return false;
  // Room for all the entries at once, so that a large table's are copied once and its block does not
  // double (the texts appended are few).
  if (!reserve(&table->entry_block_, count * kTalkEntryLength, static_cast<u32>(entries) * kTalkEntryLength, 0)) {
    return false;
  }
  const u8* texts = additions.appended_strings_.data();
  for (u32 i = count; i < first + added; ++i) {
    u32 strref;
    if (i < first) {
      strref = append_string(table, nullptr, 0, 0, nullptr, 0, 0);
    } else {
      const TalkEntry& entry = additions.entry(i - first);
      strref = append_string(table, texts + entry.string_offset, entry.string_length, entry.flags,
                             entry.sound_resref, entry.volume_variance, entry.pitch_variance);
    }
    if (strref == kAppendRefused) return false;
  }
  return true;
}

void remove_last_string(TalkTable* table) {
  if (!table->loaded_ || table->header_.entry_count == 0) return;
  const TalkEntry& last = table->entries()[table->header_.entry_count - 1];
  // Only an appended entry is taken back: its text is the last of the appended ones.
  if (last.string_length > table->appended_size_) return;
  table->appended_size_ -= last.string_length;
  table->header_.entry_count -= 1;
  table->header_.string_data_offset -= kTalkEntryLength;
}

TalkWrite write_talk_table(const TalkTable& table, const char* path) {
  // The file in order: header, entry table, loaded texts, appended texts.
  const Piece pieces[] = {{&table.header_, kTalkHeaderLength},
                          {table.entry_block_.data(), table.header_.entry_count * kTalkEntryLength},
                          {table.loaded_strings_.data(), table.loaded_size_},
                          {table.appended_strings_.data(), table.appended_size_}};
  FileHandle file(create_or_replace(path));
  if (!file.is_open()) return TalkWrite::kCannotCreate;
  if (write_pieces(file.get(), pieces, sizeof pieces / sizeof pieces[0]) && file.close()) return TalkWrite::kWritten;
  discard_written_file(&file, path);
  return TalkWrite::kFailed;
}

void release_talk_table(TalkTable* table) { table->release(); }

bool save_talk_table(TalkTable* table, const char* game_path, WindowRef owner) {
  if (!table->loaded_) return false;
  bool saved = false;
  PathString target;
  PathString temporary;
  if (!target.format("%s%s", game_path, kTalkTableName) || !temporary.format("%s%s", target.c_str(), kNewFileSuffix)) {
    set_last_error(win_error::kFilenameTooLong);
    show_open_failure(owner);
  } else if (const TalkWrite written = write_talk_table(*table, temporary.c_str()); written != TalkWrite::kWritten) {
    // A file that cannot be made at all is the load failure's case; one that fails part way the
    // write's.
    if (written == TalkWrite::kCannotCreate) {
      show_open_failure(owner);
    } else {
      show_error_number(owner, kWriteErrorCaption);
    }
  } else if (!replace_file(temporary.c_str(), target.c_str())) {
    const u32 code = last_error();
    delete_file(temporary.c_str());
    set_last_error(code);
    show_open_failure(owner);
  } else {
    saved = true;
  }
  table->release();
  return saved;
}

}  // namespace zep
