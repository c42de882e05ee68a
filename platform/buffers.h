// Small owning types used by all production code in place of a runtime library: a heap buffer, a
// bounded text that refuses what does not fit, and a file handle that closes itself. None of them
// throws or allocates behind the caller's back.
#pragma once

#include <stdarg.h>

#include "platform/platform.h"
#include "platform/types.h"

namespace zep {

// The length of a zero-terminated text in bytes, without the terminator.
u32 text_length(const char* text);

// True when both zero-terminated texts hold the same bytes.
bool texts_equal(const char* a, const char* b);

// Copies `length` bytes; the regions must not overlap.
void copy_bytes(void* to, const void* from, u32 length);

// `c` in lower case when it is an ASCII letter: names compared so are compared as Windows compares
// file names and registry keys (the bytes from 0x80 on as they are).
inline char fold_case(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// True when the `length` bytes at `a` and the zero-terminated `b` are the same name, ignoring case.
bool same_name(const char* a, u32 length, const char* b);

// A block from the process heap, zero-filled when allocated, released when the owner goes.
class HeapBuffer {
 public:
  HeapBuffer() = default;
  explicit HeapBuffer(u32 length) { allocate(length); }
  ~HeapBuffer() { release_memory(data_); }
  HeapBuffer(const HeapBuffer&) = delete;
  HeapBuffer& operator=(const HeapBuffer&) = delete;
  HeapBuffer(HeapBuffer&& other) : data_(other.data_), length_(other.length_) {
    other.data_ = nullptr;
    other.length_ = 0;
  }
  HeapBuffer& operator=(HeapBuffer&& other) {
    if (this != &other) {
      release_memory(data_);
      data_ = other.data_;
      length_ = other.length_;
      other.data_ = nullptr;
      other.length_ = 0;
    }
    return *this;
  }

  // Replaces the block with a fresh zero-filled one of `length` bytes. Returns false, holding
  // nothing, when the heap cannot supply it (last_error() is then 8).
  bool allocate(u32 length);

  u8* data() { return static_cast<u8*>(data_); }
  const u8* data() const { return static_cast<const u8*>(data_); }
  char* text() { return static_cast<char*>(data_); }
  const char* text() const { return static_cast<const char*>(data_); }
  u32 length() const { return length_; }
  bool empty() const { return data_ == nullptr; }

 private:
  void* data_ = nullptr;
  u32 length_ = 0;  // bytes in the block
};

// Bytes kept one after the other in a heap block that grows, doubling, as more are appended.
class GrowingBuffer {
 public:
  // Appends `length` bytes of `bytes`. Returns false, keeping what it holds, when memory runs out
  // (last_error() is then 8).
  bool append(const void* bytes, u32 length);
  // Makes room for `length` more bytes at the end and returns where they begin, or null when memory
  // runs out. The bytes count as appended.
  u8* extend(u32 length);
  u8* data() { return bytes_.data(); }
  const u8* data() const { return bytes_.data(); }
  u32 used() const { return used_; }

 private:
  HeapBuffer bytes_;
  u32 used_ = 0;  // bytes appended so far
};

// Appends `more_length` bytes of `more` to the `*length` bytes of zero-terminated `text` in storage
// of `capacity` bytes, or returns false, leaving it as it was, when they would not fit. The one body
// of every BoundedText's appends, so that each size of text does not cost a copy of the code.
bool append_bounded(char* text, u32* length, u32 capacity, const char* more, u32 more_length);

// Appends `pattern` to the `*length` bytes of zero-terminated `text` in storage of `capacity` bytes,
// with its fields filled in from `fields`, in order:
//   %s  a zero-terminated text
//   %u  a u32, in decimal
//   %e  a Windows error code (u32) in words, as the system says it, and its number: "Access is
//       denied (error 5)"; just "error 1234" when the system has no words for it
// Any other character stands for itself. Returns false when the whole would not fit, leaving the text
// as it was, or, when `cut_short` (for a message, which is better shown in part than not at all),
// holding what came before the field or character that did not fit. The one body of every
// BoundedText's format, so that a message stands in the code as the sentence it is, with its fields,
// rather than as a chain of appends.
bool append_formatted(char* text, u32* length, u32 capacity, const char* pattern, va_list fields,
                      bool cut_short);

// Zero-terminated text in fixed storage of `Capacity` bytes, terminator included. Every change that
// would not fit is refused: it returns false and leaves the text as it was, never cut short.
template <u32 Capacity>
class BoundedText {
 public:
  static_assert(Capacity > 0, "room for the terminator");
  BoundedText() { text_[0] = 0; }

  bool assign(const char* text) {
    length_ = 0;
    text_[0] = 0;
    return append(text);
  }
  bool append(const char* text) { return append(text, text_length(text)); }
  // Appends `length` bytes of `text` (which need not be terminated).
  bool append(const char* text, u32 length) { return append_bounded(text_, &length_, Capacity, text, length); }
  // Replaces the text with `pattern` and its fields (see append_formatted). Returns false, leaving
  // the text empty, when the whole would not fit: a path is then refused, never cut short.
  bool format(const char* pattern, ...) {
    va_list fields;
    va_start(fields, pattern);
    const bool fitted = format_list(pattern, fields);
    va_end(fields);
    return fitted;
  }
  // The same with the fields in a list; a message is `cut_short` rather than left empty.
  bool format_list(const char* pattern, va_list fields, bool cut_short = false) {
    clear();
    return append_formatted(text_, &length_, Capacity, pattern, fields, cut_short);
  }
  void clear() {
    length_ = 0;
    text_[0] = 0;
  }
  // Ends the text before its byte `at` (below length()), which it drops, and returns what followed
  // that byte: the second of two texts in the storage of one.
  const char* split_at(u32 at) {
    text_[at] = 0;
    length_ = at;
    return text_ + at + 1;
  }

  const char* c_str() const { return text_; }
  u32 length() const { return length_; }
  static constexpr u32 capacity() { return Capacity; }

 private:
  char text_[Capacity];
  u32 length_ = 0;  // bytes before the terminator
};

// The text of a message being put together: one size for every message, so that one copy of the
// code serves them all. It holds the messages whose paths are of the usual lengths whole; the few that
// can name three paths of 259 characters may be cut short.
using MessageText = BoundedText<1024>;

// A path of at most kMaxPath bytes with its terminator: what the ANSI file functions take.
using PathString = BoundedText<kMaxPath>;

// An open file that is closed when its owner goes.
class FileHandle {
 public:
  FileHandle() = default;
  explicit FileHandle(FileRef file) : file_(file) {}
  ~FileHandle() { close_file(file_); }
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;
  FileHandle(FileHandle&& other) : file_(other.file_) { other.file_ = nullptr; }
  FileHandle& operator=(FileHandle&& other) {
    if (this != &other) {
      close_file(file_);
      file_ = other.release();
    }
    return *this;
  }

  FileRef get() const { return file_; }
  bool is_open() const { return file_ != nullptr; }
  // Gives up ownership without closing.
  FileRef release() {
    FileRef file = file_;
    file_ = nullptr;
    return file;
  }
  // Closes now. Returns false when the system reports a failure (a write that did not reach the disk).
  bool close() { return close_file(release()); }

 private:
  FileRef file_ = nullptr;
};

// After a failed write to `file`, opened on `path`: closes it (if it still is open) and deletes what
// was written, leaving last_error() as the failure left it, for the message that reports it.
void discard_written_file(FileHandle* file, const char* path);

// Creates a scratch file (create_scratch_file) named `name` in the current folder, or, when a file of
// that name is there (a file of the player's, which is never touched), the first free one of
// `name` + ".2", ".3", ... ".99". Stores the name used in `chosen`. Returns null when none can be made.
FileRef create_free_scratch_file(const char* name, PathString* chosen);

// Reads the whole of the open `file` into `bytes` and its length into `size`; a zero byte follows the
// data in `bytes`, so that text can be read as such. Returns false when it cannot be read, is larger
// than `largest` bytes (then with 87), or does not fit in memory.
bool read_whole_file(FileRef file, u32 largest, HeapBuffer* bytes, u32* size);

// The same for the file at `path`, opened for reading (and closed again) here.
bool read_whole_file(const char* path, u32 largest, HeapBuffer* bytes, u32* size);

}  // namespace zep
