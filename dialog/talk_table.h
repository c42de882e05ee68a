// The talk table: the game's `dialog.tlk`, held whole in memory while an installation appends its new
// texts, then written back. A text is referred to by its strref, the index of its entry; existing
// entries keep their indexes and texts, new ones only ever go at the end.
//
// dialog.tlk (TLK V1; all integers unsigned little-endian, no padding anywhere):
//
//   offset      width  field
//   0           4      signature "TLK "
//   4           4      version "V1  "
//   8           2      u16 language, carried
//   10          4      u32 entry count N
//   14          4      u32 string data offset, 18 + 26*N
//   18          26*N   entry table, entry i (strref i) at 18 + 26*i
//   18 + 26*N   ...    string data to the end of the file: the texts, bytes without terminators
//
//   entry (26 bytes): u16 flags, 8-byte sound resref (a name of up to 8 characters padded with zero
//   bytes, no terminator when 8 long), u32 volume variance, u32 pitch variance, u32 string offset
//   (from the string data offset), u32 string length in bytes.
//
// In memory the header and the entries keep the file's layout, so that each region is read and
// written in one piece. The string data is two blocks: the loaded one, exactly the file's bytes, and
// the appended texts one after another. Each appended entry's string offset is the total string size
// before its append, so the loaded block followed by the appended block is the string data of the
// grown table.
#pragma once

#include "platform/buffers.h"
#include "platform/platform.h"
#include "platform/types.h"

namespace zep {

#pragma pack(push, 1)
struct TalkHeader {
  u8 signature[4];         // as loaded
  u8 version[4];           // as loaded
  u16 language;            // as loaded
  u32 entry_count;         // N, grown by one on each append
  u32 string_data_offset;  // 18 + 26*N, grown by 26 on each append
};

struct TalkEntry {
  u16 flags;               // carried, not interpreted
  u8 sound_resref[8];      // carried; see append_string for when it is tidied
  u32 volume_variance;     // carried
  u32 pitch_variance;      // carried
  u32 string_offset;       // bytes from the start of the string data to the text
  u32 string_length;       // bytes of the text
};
#pragma pack(pop)

static_assert(sizeof(TalkHeader) == 18, "header is 18 bytes");
static_assert(sizeof(TalkEntry) == 26, "entry is 26 bytes");

constexpr u32 kTalkHeaderLength = sizeof(TalkHeader);
constexpr u32 kTalkEntryLength = sizeof(TalkEntry);

// What append_string returns when it refuses: the table would no longer fit a file of at most
// 0xFFFFFFFF bytes, the memory for it cannot be had, or the table is not loaded. No entry can ever
// have this strref (it would need a file far beyond 4 GiB).
constexpr u32 kAppendRefused = 0xFFFFFFFFu;

// The game's talk tables in its folder: the texts, and in some languages the texts as female
// characters say them; and what follows a file's name in the name of the file that is written whole
// beside it before it takes the file's place (dialog.tlk.new, and so the installer's other ones).
extern const char kTalkTableName[];        // "dialog.tlk"
extern const char kFemaleTalkTableName[];  // "dialogF.tlk"
extern const char kNewFileSuffix[];        // ".new"

// The message of a talk table that cannot be opened, or written back, and the caption of the talk
// tables' messages.
extern const char kOpenFailureText[];        // "Can't open dialog file. SPK importing aborted."
extern const char kTalkTableErrorCaption[];  // "Error"

enum class TalkWrite;

enum class TalkLoad {
  kLoaded,      // the table holds the file
  kCannotOpen,  // the file cannot be opened or read; last_error() says why
  kNotATable,   // the file is not a sound TLK V1 talk table
  kNoMemory,    // the file does not fit in memory
};

// The in-memory `dialog.tlk` of one installation: empty until load_talk_table succeeds, loaded until
// save_talk_table, empty again after it.
class TalkTable {
 public:
  // Inline wherever a table is made, so that its zeros can be seen as such where they are written
  // already (see install_addon in install/driver.cpp).
  [[gnu::always_inline]] TalkTable() = default;
  ~TalkTable();  // out of line (see talk_table.cpp)
  TalkTable(const TalkTable&) = delete;
  TalkTable& operator=(const TalkTable&) = delete;

  bool loaded() const { return loaded_; }
  // The header as it would be saved now (all zero when empty).
  const TalkHeader& header() const { return header_; }
  u32 entry_count() const { return header_.entry_count; }
  // Entry `index` (below entry_count()).
  const TalkEntry& entry(u32 index) const { return entries()[index]; }
  // The bytes of the string data: loaded texts, then appended ones.
  u32 total_string_size() const { return loaded_size_ + appended_size_; }

 private:
  friend TalkLoad read_talk_table(TalkTable*, const char*, const char**, bool);
  friend void start_talk_table(TalkTable*);
  friend u32 append_string(TalkTable*, const void*, u32, u16, const u8*, u32, u32);
  friend bool append_table(TalkTable*, const TalkTable&, u32);
  friend void remove_last_string(TalkTable*);
  friend TalkWrite write_talk_table(const TalkTable&, const char*);
  friend bool save_talk_table(TalkTable*, const char*, WindowRef);
  friend void release_talk_table(TalkTable*);

  TalkEntry* entries() { return reinterpret_cast<TalkEntry*>(entry_block_.data()); }
  const TalkEntry* entries() const { return reinterpret_cast<const TalkEntry*>(entry_block_.data()); }
  // Back to empty, every block released.
  void release();

  bool loaded_ = false;
  bool appended_ = false;         // at least one append since the load: resrefs are tidied
  TalkHeader header_ = {};
  HeapBuffer entry_block_;        // entry_count() entries, then spare room (capacity in bytes)
  HeapBuffer loaded_strings_;     // the file's bytes from the string data offset to its end
  u32 loaded_size_ = 0;           // bytes of loaded string data
  HeapBuffer appended_strings_;   // appended texts back to back, then spare room
  u32 appended_size_ = 0;         // bytes of appended texts
};

// Reads the talk table file `path` into `table`, which starts empty, and checks it: the signature and
// version "TLK V1  ", the 18-byte header, the string data beginning directly after the entry table
// (18 + 26*N; a table of 0 entries whose offset field is 0 is taken as beginning at 18), the entry
// table and string data inside the file and every entry's text inside the string data. Returns
// kLoaded, or why not, with the table empty; for kNotATable `*problem` (when not null) says what is
// wrong, as words for a message. Without `with_texts` the texts are checked against the file's size
// but not read: the table then tells its header and entries only, and is not to be appended to.
TalkLoad read_talk_table(TalkTable* table, const char* path, const char** problem, bool with_texts = true);

// Makes `table` a loaded table of no entries and no file, which only collects appended texts: those
// of one installation, before append_table gives them to each of the game's tables.
void start_talk_table(TalkTable* table);

// read_talk_table on `game_path` + "dialog.tlk". Returns true when loaded. Returns false, with the
// table empty, when it is not; each failure shows "Can't open dialog file. SPK importing aborted."
// (caption "Error", OK), owned by `owner`.
bool load_talk_table(TalkTable* table, const char* game_path, WindowRef owner);

// Appends one entry with `length` bytes of `text` (no terminator needed, none stored), `flags`,
// the 8-byte `sound_resref` field (null counts as eight zero bytes) and the two variances. Returns the
// new entry's strref: the entry count before the append, so one installation's strrefs are
// consecutive. Returns kAppendRefused, with the table unchanged, on a table that is not loaded, when
// the saved file would exceed 0xFFFFFFFF bytes, or when memory runs out.
//
// The resref is copied as a name of at most 8 characters up to its first zero byte, every byte after
// it set to zero; the first append tidies every loaded entry's resref the same way. A table saved
// without appends keeps the loaded bytes unchanged.
u32 append_string(TalkTable* table, const void* text, u32 length, u16 flags, const u8* sound_resref,
                  u32 volume_variance, u32 pitch_variance);

// Appends to `table` empty entries (flags 0, no sound, no text) up to `first` entries, then every
// entry of `additions` (a table made by start_talk_table), so that they get the strrefs `first` on.
// Returns false when it has more than `first` entries, when the saved file would exceed 0xFFFFFFFF
// bytes, or when memory runs out; `table` is then fit only to be released.
bool append_table(TalkTable* table, const TalkTable& additions, u32 first);

// Takes back the last append_string of a table that has one, as if it had not been made (a second
// table that must stay in step with this one refused the same text).
void remove_last_string(TalkTable* table);

enum class TalkWrite {
  kWritten,      // the file holds the whole table, on the disk
  kCannotCreate, // the file could not be made; nothing was written
  kFailed,       // writing, flushing or closing failed; the partial file is removed
};

// Writes the whole table to the new or replaced file `path`, forces it to the disk and closes it.
// Returns kWritten, or what failed with last_error() the failure's code.
TalkWrite write_talk_table(const TalkTable& table, const char* path);

// Empties the table, releasing every block.
void release_talk_table(TalkTable* table);

// Writes the table to `game_path` + "dialog.tlk" and empties the table, whatever happens. The whole
// file is first written to `game_path` + "dialog.tlk.new", flushed and closed, and only then put in
// place of dialog.tlk in one step, so a failure leaves dialog.tlk exactly as it was and removes the
// temporary file. Returns true when dialog.tlk holds the table. Returns false:
//   - on a table that is not loaded, without a message and without touching any file;
//   - when the temporary file cannot be created or dialog.tlk cannot be replaced (held open by
//     another program, read-only): the load failure's message;
//   - when writing, flushing or closing the temporary file fails: the error-number message with
//     caption "Write error".
// Messages are owned by `owner`.
bool save_talk_table(TalkTable* table, const char* game_path, WindowRef owner);

}  // namespace zep
