#include "uninstaller/uninstaller.h"

#include "install/registration.h"
#include "platform/buffers.h"
#include "platform/platform.h"
#include "uninstaller/uninstall_run.h"

namespace zep {

// Every uninstall command the installation stores fits the uninstaller's working buffer, also as a
// shortcut starts it (with a blank more).
static_assert(kLongestUninstallCommand + 1 <= kWorkingBufferLength - 1, "the uninstaller takes every stored command");

namespace {

// The uninstaller's operations through the platform seam.
struct SeamOs {
  using File = FileRef;
  static constexpr File kNoFile = nullptr;

  static void* allocate(u32 length) { return allocate_zeroed(length); }
  static void release(void* block) { release_memory(block); }
  static int message(const char* text, const char* caption, u32 style) {
    return show_message(nullptr, text, caption, style);
  }
  static File open_for_reading(const char* path) { return zep::open_for_reading(path); }
  static char* read_log(File file, u32* size) {
    if (!get_file_size(file, size) || *size > kLargestLog) return nullptr;
    char* text = static_cast<char*>(allocate_zeroed(*size + 1));
    if (text != nullptr && (*size == 0 || read_file(file, text, *size))) return text;
    release_memory(text);
    return nullptr;
  }
  static void close(File file) { close_file(file); }
  static bool delete_file(const char* path) { return zep::delete_file(path); }
  // After a failed operation: true when what it acted on is not there.
  static bool missing() {
    return last_error() == win_error::kFileNotFound || last_error() == win_error::kPathNotFound;
  }
  static bool clear_read_only(const char* path) { return zep::clear_read_only(path); }
  static bool is_link(const char* path) { return zep::is_link(path); }
  static bool move_file(const char* from, const char* to) { return replace_file(from, to); }

  static int compare_ignoring_case(const char* a, const char* b) {
    for (;; ++a, ++b) {
      const char x = *a >= 'A' && *a <= 'Z' ? static_cast<char>(*a - 'A' + 'a') : *a;
      const char y = *b >= 'A' && *b <= 'Z' ? static_cast<char>(*b - 'A' + 'a') : *b;
      if (x != y || x == 0) return x - y;
    }
  }
  static void remove_folder(const char* path) { zep::remove_folder(path); }
  static void delete_uninstall_key(const char* path) { delete_key(RegistryRoot::kLocalMachine, path); }
  static u32 read_value(bool machine, const char* path, const char* name, char* buffer) {
    KeyRef key = nullptr;
    const i32 opened =
        open_existing_key(machine ? RegistryRoot::kLocalMachine : RegistryRoot::kCurrentUser, path, &key);
    if (opened != 0) return static_cast<u32>(opened);
    const i32 result = query_string_value(key, name, buffer, kWorkingBufferLength);
    zep::close_key(key);
    return static_cast<u32>(result);
  }
};

}  // namespace

Outcome run_uninstaller(const char* command_line) {
  uninstall::Uninstaller<SeamOs> uninstaller;
  return uninstaller.run(command_line);
}

}  // namespace zep
