#include "platform/buffers.h"

#include "platform/error_message.h"

namespace zep {

u32 text_length(const char* text) {
  u32 length = 0;
  while (text[length] != 0) ++length;
  return length;
}

bool texts_equal(const char* a, const char* b) {
  while (*a != 0 && *a == *b) {
    ++a;
    ++b;
  }
  return *a == *b;
}

bool same_name(const char* a, u32 length, const char* b) {
  for (u32 i = 0; i < length; ++i) {
    if (b[i] == 0 || fold_case(a[i]) != fold_case(b[i])) return false;
  }
  return b[length] == 0;
}

void copy_bytes(void* to, const void* from, u32 length) {
  u8* out = static_cast<u8*>(to);
  const u8* in = static_cast<const u8*>(from);
  for (u32 i = 0; i < length; ++i) out[i] = in[i];
}

bool HeapBuffer::allocate(u32 length) {
  release_memory(data_);
  length_ = 0;
  // A zero-length request still yields a distinct block, so that "empty()" means "no block".
  data_ = allocate_zeroed(length == 0 ? 1 : length);
  if (data_ == nullptr) {
    set_last_error(win_error::kNotEnoughMemory);
    return false;
  }
  length_ = length;
  return true;
}

u8* GrowingBuffer::extend(u32 length) {
  const u32 needed = used_ + length;
  if (needed > bytes_.length()) {
    // Twice what is needed, and at least a page's worth; nothing of 2 GiB or more.
    HeapBuffer grown;
    if (needed < used_ || needed >= 0x80000000u) {
      set_last_error(win_error::kNotEnoughMemory);
      return nullptr;
    }
    if (!grown.allocate(needed < 2048 ? 4096 : needed * 2)) return nullptr;
    copy_bytes(grown.data(), bytes_.data(), used_);
    bytes_ = static_cast<HeapBuffer&&>(grown);
  }
  used_ = needed;
  return bytes_.data() + needed - length;
}

bool GrowingBuffer::append(const void* bytes, u32 length) {
  u8* room = extend(length);
  if (room == nullptr) return false;
  copy_bytes(room, bytes, length);
  return true;
}

bool append_bounded(char* text, u32* length, u32 capacity, const char* more, u32 more_length) {
  if (more_length >= capacity - *length) return false;
  copy_bytes(text + *length, more, more_length);
  *length += more_length;
  text[*length] = 0;
  return true;
}

bool append_formatted(char* text, u32* length, u32 capacity, const char* pattern, va_list fields,
                      bool cut_short) {
  const u32 before = *length;
  for (const char* at = pattern; *at != 0; ++at) {
    const char* piece = at;
    u32 piece_length = 1;
    char scratch[256];
    const char kind = at[0] == '%' ? at[1] : 0;
    if (kind == 's') {
      piece = va_arg(fields, const char*);
      piece_length = text_length(piece);
      ++at;
    } else if (kind == 'u' || kind == 'e') {
      const u32 value = va_arg(fields, u32);
      // The system's words end in a full stop and a line end, which the message's own sentence replaces.
      u32 words = kind == 'e' && system_error_text(value, scratch, 200) ? text_length(scratch) : 0;
      while (words > 0 && (scratch[words - 1] <= ' ' || scratch[words - 1] == '.')) --words;
      // Then " (error N)" after the words, "error N" without them, or N alone for %u.
      static const char kLead[] = " (error ";
      piece_length = words;
      for (const char* lead = kLead + (kind == 'u' ? 8 : words > 0 ? 0 : 2); *lead != 0; ++lead) {
        scratch[piece_length++] = *lead;
      }
      format_unsigned_decimal(value, scratch + piece_length);
      piece_length += text_length(scratch + piece_length);
      if (words > 0) scratch[piece_length++] = ')';
      piece = scratch;
      ++at;
    }
    // A piece that does not fit ends the text: before it when the text is to be cut short, otherwise
    // where it began.
    if (!append_bounded(text, length, capacity, piece, piece_length)) {
      if (!cut_short) {
        *length = before;
        text[before] = 0;
      }
      return false;
    }
  }
  return true;
}

void discard_written_file(FileHandle* file, const char* path) {
  const u32 code = last_error();
  file->close();
  delete_file(path);
  set_last_error(code);
}

FileRef create_free_scratch_file(const char* name, PathString* chosen) {
  for (u32 number = 1; number < 100; ++number) {
    if (!(number == 1 ? chosen->assign(name) : chosen->format("%s.%u", name, number))) return nullptr;
    FileRef file = create_scratch_file(chosen->c_str());
    if (file != nullptr || last_error() != win_error::kFileExists) return file;
  }
  return nullptr;
}

bool read_whole_file(const char* path, u32 largest, HeapBuffer* bytes, u32* size) {
  FileHandle file(open_for_reading(path));
  return file.is_open() && read_whole_file(file.get(), largest, bytes, size);
}

bool read_whole_file(FileRef file, u32 largest, HeapBuffer* bytes, u32* size) {
  if (!get_file_size(file, size)) return false;
  if (*size > largest || *size == 0xFFFFFFFFu) {
    set_last_error(win_error::kInvalidParameter);
    return false;
  }
  HeapBuffer whole;
  if (!whole.allocate(*size + 1)) return false;
  if (*size > 0 && (!seek_file(file, 0) || !read_file(file, whole.data(), *size))) return false;
  *bytes = static_cast<HeapBuffer&&>(whole);
  return true;
}

}  // namespace zep
