#include "install/install_log.h"

#include "install/log_lines.h"
#include "dialog/talk_table.h"
#include "install/own_files.h"

namespace zep {
namespace {

char listed_char(char c) { return c == '/' ? '\\' : fold_case(c); }

// FNV-1a over the name's bytes as same_listed_name compares them.
u32 hash_name(const char* name, u32 length) {
  u32 hash = 2166136261u;
  for (u32 i = 0; i < length; ++i) hash = (hash ^ static_cast<u8>(listed_char(name[i]))) * 16777619u;
  return hash;
}

}  // namespace

bool same_listed_name(const char* a, u32 length, const char* b) {
  for (u32 i = 0; i < length; ++i) {
    if (b[i] == 0 || listed_char(a[i]) != listed_char(b[i])) return false;
  }
  return b[length] == 0;
}

u32* NameSet::slot_of(const char* name, u32 length) const {
  u32* slots = reinterpret_cast<u32*>(const_cast<u8*>(slots_.data()));
  const u32* entries = reinterpret_cast<const u32*>(entries_.data());
  const char* keys = reinterpret_cast<const char*>(keys_.data());
  for (u32 i = hash_name(name, length) & (slot_count_ - 1);; i = (i + 1) & (slot_count_ - 1)) {
    if (slots[i] == 0 || same_listed_name(name, length, keys + entries[(slots[i] - 1) * 2])) return slots + i;
  }
}

u32* NameSet::value_of(const char* name, u32 length) {
  const u32 entry = count_ == 0 ? 0 : *slot_of(name, length);
  return entry == 0 ? nullptr : reinterpret_cast<u32*>(entries_.data()) + (entry - 1) * 2 + 1;
}

u32 NameSet::find(const char* name, u32 length) const {
  const u32* value = const_cast<NameSet*>(this)->value_of(name, length);
  return value == nullptr ? kAbsent : *value;
}

bool NameSet::grow() {
  const u32 slot_count = slot_count_ == 0 ? 64 : slot_count_ * 2;
  HeapBuffer slots;
  if (slot_count > 0x10000000u || !slots.allocate(slot_count * 4)) return false;
  slots_ = static_cast<HeapBuffer&&>(slots);
  slot_count_ = slot_count;
  const u32* entries = reinterpret_cast<const u32*>(entries_.data());
  for (u32 entry = 0; entry < count_; ++entry) {
    const char* name = reinterpret_cast<const char*>(keys_.data()) + entries[entry * 2];
    *slot_of(name, text_length(name)) = entry + 1;
  }
  return true;
}

bool NameSet::add(const char* name, u32 length, u32 value, u32* held) {
  const u32 existing = find(name, length);
  if (existing != kAbsent) {
    if (held != nullptr) *held = existing;
    return true;
  }
  // At most half the slots are used, so that every search ends soon at an empty one.
  const u32 record[2] = {keys_.used(), value};
  if (((count_ + 1) * 2 > slot_count_ && !grow()) || !keys_.append(name, length) || !keys_.append("", 1) ||
      !entries_.append(record, 8)) {
    return false;
  }
  *slot_of(name, length) = ++count_;
  return true;
}

ExistingLog InstallLog::read_existing(const char* game_path, const char* addon_name) {
  PathString path;
  if (!path.format("%s%s%s", game_path, addon_name, kLogSuffix)) return ExistingLog::kNone;
  u32 size = 0;
  HeapBuffer text;
  if (!read_whole_file(path.c_str(), kLargestLog, &text, &size)) {
    const u32 code = last_error();
    if (code == win_error::kFileNotFound || code == win_error::kPathNotFound) return ExistingLog::kNone;
    return code == win_error::kInvalidParameter ? ExistingLog::kTooLarge : ExistingLog::kUnreadable;
  }

  // An empty file has no first line that could be this add-on's name.
  if (size == 0) return ExistingLog::kNotThisAddons;
  u32 position = 0;
  bool moved = true;  // a log of its first line alone has lost its second: it is written anew too
  file_lines_ = size;
  for (u32 index = 0; position < size; ++index) {
    u32 start = 0;
    const u32 length = next_log_line(text.text(), size, &position, &start);
    const char* line = text.text() + start;
    if (index == 0 && !same_name(line, length, addon_name)) return ExistingLog::kNotThisAddons;
    if (index == 1) {
      moved = !same_name(line, length, game_path);
      file_lines_ = position < size ? position : size;
    }
    if (index >= 2 && length > 0 && !listed_.add(line, length)) {
      set_last_error(win_error::kNotEnoughMemory);
      return ExistingLog::kUnreadable;
    }
  }
  continued_ = true;
  needs_line_end_ = text.text()[size - 1] != '\n';
  if (moved) {
    moved_size_ = size;
    moved_text_ = static_cast<HeapBuffer&&>(text);
  }
  return ExistingLog::kContinued;
}

bool InstallLog::create(const char* game_path, const char* addon_name) {
  PathString path;
  if (!path.format("%s%s%s", game_path, addon_name, kLogSuffix)) {
    set_last_error(win_error::kFilenameTooLong);
    ++failures_;
    return false;
  }
  // A moved log: its first two lines anew, then its file lines as they are, with a line end after the last.
  MessageText head;
  if (moved_size_ > 0 && !(head.format("%s\r\n%s\r\n", addon_name, game_path) &&
                           write_log_anew(path.c_str(), head.c_str(), moved_text_.text(), file_lines_, moved_size_,
                                          nullptr, true))) {
    ++failures_;
    return false;
  }
  if (moved_size_ > 0) needs_line_end_ = false;
  file_ = FileHandle(continued_ ? open_for_appending(path.c_str()) : create_or_replace(path.c_str()));
  if (!file_.is_open()) {
    ++failures_;
    return false;
  }
  if (continued_) return !needs_line_end_ || write_line("");
  if (write_line(addon_name) && write_line(game_path)) return true;
  // A new log without its head is no log: it goes again, lest it stand in the way of the next run.
  discard_written_file(&file_, path.c_str());
  return false;
}

bool write_log_anew(const char* path, const char* head, const char* text, u32 from, u32 size, const char* without,
                    bool end_line) {
  PathString temporary;
  if (!temporary.format("%s%s", path, kNewFileSuffix)) {
    set_last_error(win_error::kFilenameTooLong);
    return false;
  }
  if (is_link(temporary.c_str())) {
    set_last_error(win_error::kAccessDenied);
    return false;
  }
  FileHandle file(create_or_replace(temporary.c_str()));
  if (!file.is_open()) return false;
  bool written = head == nullptr || write_file(file.get(), head, text_length(head));
  // The text as it was read, without the lines that list the file: their bytes, line ends included,
  // are the gaps between the runs written.
  u32 run = from;
  u32 position = from;
  for (u32 index = 0; without != nullptr && position < size; ++index) {
    u32 start = 0;
    const u32 length = next_log_line(text, size, &position, &start);
    if (index < 2 || !same_listed_name(text + start, length, without)) continue;
    written = written && (start == run || write_file(file.get(), text + run, start - run));
    run = position < size ? position : size;
  }
  written = written && (size == run || write_file(file.get(), text + run, size - run)) &&
            (!end_line || size == from || text[size - 1] == '\n' || write_file(file.get(), "\r\n", 2)) &&
            flush_file(file.get());
  written = file.close() && written;
  if (written && replace_file(temporary.c_str(), path)) return true;
  const u32 code = last_error();
  delete_file(temporary.c_str());
  set_last_error(code);
  return false;
}

bool InstallLog::append_line(const char* text) {
  if (lists(text)) return true;
  if (!write_line(text)) return false;
  listed_.add(text, text_length(text));
  return true;
}

bool InstallLog::write_line(const char* text) {
  // After a lost line every later one would be read in the wrong place (a lost first line would make
  // the game folder's line the add-on's name): the log keeps what it has and takes nothing more.
  if (!file_.is_open() || broken_) {
    ++failures_;
    return false;
  }
  const u32 length = text_length(text);
  HeapBuffer line;
  if (length > 0xFFFFFFFFu - 3 || !line.allocate(length + 3)) {
    ++failures_;
    return false;
  }
  copy_bytes(line.data(), text, length);
  line.data()[length] = '\r';
  line.data()[length + 1] = '\n';  // the zero after it stays out of the file
  if (!write_file(file_.get(), line.data(), length + 2)) {
    broken_ = true;
    ++failures_;
    return false;
  }
  return true;
}

bool InstallLog::close() {
  if (!file_.is_open()) return true;
  if (!file_.close()) {
    ++failures_;
    return false;
  }
  return true;
}

}  // namespace zep
