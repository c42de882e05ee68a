#include "shell/self_location.h"

#include "shell/command_options.h"

#include "archive/format.h"
#include "archive/reader.h"
#include "platform/error_message.h"

namespace zep {

const char kWorkingCopy[] = "tmp";

namespace {

// The caption of the error-number message of a working copy that cannot be made.
constexpr char kAccessErrorCaption[] = "ZEP access error";

// True when `text` contains ".exe" anywhere.
bool contains_exe(const char* text) {
  for (; *text != 0; ++text) {
    if (text[0] == '.' && text[1] == 'e' && text[2] == 'x' && text[3] == 'e') return true;
  }
  return false;
}

}  // namespace

void lower_case_ascii(char* text) {
  for (; *text != 0; ++text) {
    if (*text >= 'A' && *text <= 'Z') *text = static_cast<char>(*text + ('a' - 'A'));
  }
}

const char* derive_own_path(const char* lowered, HeapBuffer* storage) {
  const u32 length = text_length(lowered);
  const bool has_exe = contains_exe(lowered);
  if (lowered[0] != '"' && has_exe) return lowered;
  if (!storage->allocate(length + 8)) return nullptr;
  char* path = storage->text();
  u32 used = 0;
  if (lowered[0] == '"') {
    // The program's path is what the quotes enclose. Anything after the closing quote is an
    // argument (Windows passes the files dropped on the program) and not part of the path.
    for (u32 i = 1; i < length && lowered[i] != '"'; ++i) path[used++] = lowered[i];
  } else {
    copy_bytes(path, lowered, length);
    used = length;
  }
  if (!has_exe) {
    copy_bytes(path + used, ".exe", 4);
    used += 4;
  }
  path[used] = 0;
  return path;
}

bool derive_addon_name(const char* own_path, char* name) {
  const u32 length = text_length(own_path);
  u32 start = 0;
  for (u32 i = length; i > 1;) {
    --i;
    if (own_path[i] == '\\') {
      start = i + 1;
      break;
    }
  }
  u32 end = start;
  while (end < length && own_path[end] != '.') ++end;
  name[0] = 0;
  if (end - start > kAddonNameCapacity - 1) return false;
  copy_bytes(name, own_path + start, end - start);
  name[end - start] = 0;
  // A first byte of 0x61-0x7F as a signed byte is above 0x60: a-z become A-Z, and "{|}~" and 0x7F
  // become "[\]^" and "_". Bytes from 0x80 up are negative and stay.
  if (static_cast<signed char>(name[0]) > 0x60) name[0] = static_cast<char>(name[0] - 0x20);
  return true;
}

void locate_self(WindowRef window, WindowRef list, char* addon_name, ArchiveCounts* counts,
                 FileHandle* working_copy) {
  // The command line belongs to the system: it is lower-cased in a copy of our own.
  const char* command = command_line();
  HeapBuffer lowered;
  if (!lowered.allocate(text_length(command) + 1)) {
    show_error_number(window, kAccessErrorCaption);
    return;
  }
  copy_bytes(lowered.data(), command, text_length(command));
  lower_case_ascii(lowered.text());
  // The arguments of a scripted install (shell/command_options.h) are not part of the own path.
  char* arguments = lowered.text() + (installer_arguments(lowered.text()) - lowered.text());
  if (*arguments != 0) {
    while (arguments > lowered.text() && (arguments[-1] == ' ' || arguments[-1] == '\t')) --arguments;
    *arguments = 0;
  }

  HeapBuffer own_path_storage;
  const char* own_path = derive_own_path(lowered.text(), &own_path_storage);
  if (own_path == nullptr) {
    show_error_number(window, kAccessErrorCaption);
    return;
  }
  if (!derive_addon_name(own_path, addon_name)) {
    show_message(window,
                 "The installer's file name is too long.\nPlease rename it.",
                 "ZEP name error", kMbOk | kMbIconWarning);
  }

  // The copy is made through a handle that stays open, that no other program may write or delete
  // through, and that the system deletes when it closes: what is listed is what is installed, and a
  // "tmp" that was there before is never read, replaced or deleted.
  PathString name;
  FileHandle copy(create_free_scratch_file(kWorkingCopy, &name));
  if (!copy.is_open()) {
    show_error_number(window, kAccessErrorCaption);
    return;
  }
  u32 size = 0;
  FileHandle own(open_for_reading_shared(own_path));
  if (!own.is_open() || !get_file_size(own.get(), &size) ||
      copy_region(own.get(), 0, size, copy.get()) != CopyFailure::kNone) {
    show_error_number(window, kAccessErrorCaption);
    return;
  }
  own.close();
  list_contents(copy.get(), layout_number(kStubLayout.archive_offset), list, window, counts);
  *working_copy = static_cast<FileHandle&&>(copy);
}

}  // namespace zep
