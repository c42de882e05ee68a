#include "install/install_log.h"

namespace zep {

bool InstallLog::create(const char* game_path, const char* addon_name) {
  PathString path;
  if (!path.assign(game_path) || !path.append(addon_name) || !path.append(".log")) {
    set_last_error(win_error::kFilenameTooLong);
    ++failures_;
    return false;
  }
  file_ = FileHandle(create_or_replace(path.c_str()));
  if (!file_.is_open()) {
    ++failures_;
    return false;
  }
  bool first = append_line(addon_name);
  bool second = append_line(game_path);
  return first && second;
}

bool InstallLog::append_line(const char* text) {
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
