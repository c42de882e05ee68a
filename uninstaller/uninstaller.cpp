#include "uninstaller/uninstaller.h"

#include "platform/platform.h"
#include "uninstaller/uninstall_run.h"

namespace zep {

u32 next_log_line(const char* log, u32 size, u32* position, u32* line_start) {
  const u32 start = *position;
  u32 at = start;
  while (at < size && log[at] != '\n') ++at;
  *line_start = start;
  if (at < size) {
    *position = at + 1;
    return at > start ? at - start - 1 : 0;
  }
  *position = size + 2;
  return size - start;
}

namespace {

// The uninstaller's operations through the platform seam.
struct SeamOs {
  using File = FileRef;
  using Key = KeyRef;
  using Search = SearchRef;
  using Found = FoundName;
  static constexpr File kNoFile = nullptr;
  static constexpr Key kNoKey = nullptr;
  static constexpr Search kNoSearch = nullptr;

  static void* allocate(u32 length) { return allocate_zeroed(length); }
  static void release(void* block) { release_memory(block); }
  static int message(const char* text, const char* caption, u32 style) {
    return show_message(nullptr, text, caption, style);
  }
  static File open_for_reading(const char* path) { return zep::open_for_reading(path); }
  static bool file_size(File file, u32* size) { return get_file_size(file, size); }
  static bool read(File file, void* buffer, u32 length) { return length == 0 || read_file(file, buffer, length); }
  static void close(File file) { close_file(file); }
  static bool delete_file(const char* path) { return zep::delete_file(path); }
  static void remove_folder(const char* path) { zep::remove_folder(path); }
  static void delete_uninstall_key(const char* path) { delete_key(RegistryRoot::kLocalMachine, path); }
  static Key open_shell_folders(const char* path) {
    KeyRef key = nullptr;
    open_or_create_key(RegistryRoot::kCurrentUser, path, &key);
    return key;
  }
  static bool read_programs(Key key, char* buffer, u32 capacity) {
    return query_string_value(key, "Programs", buffer, capacity) == 0;
  }
  static void close_key(Key key) { zep::close_key(key); }
  static Search find_first(const char* pattern, Found* found) { return zep::find_first(pattern, found); }
  static bool find_next(Search search, Found* found) { return zep::find_next(search, found); }
  static const char* found_name(const Found& found) { return found.text; }
  static void find_close(Search search) { zep::find_close(search); }
  static void error_text(char* buffer, u32 capacity) {
    if (!system_error_text(last_error(), buffer, capacity)) buffer[0] = 0;
  }
};

}  // namespace

void run_uninstaller(const char* command_line) {
  uninstall::Uninstaller<SeamOs> uninstaller;
  uninstaller.run(command_line);
}

}  // namespace zep
