// Process, user interface and shell functions of platform/platform.h on Linux, kept in memory:
// the command line, the COM apartment's depth, message boxes (answered by a handler: a test's
// script, the terminal in the zep tool, or at once by default), the folder chooser and the Save As
// dialog (played by a test), controls, and records of shell links and opened files. The link files
// themselves are written through the file functions, so that they meet the same rules as every
// other file.
#include <cstring>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/host_common.h"
#include "platform/host_platform.h"

namespace zep {
namespace {

std::string& command_line_text() {
  static std::string text = "zep";
  return text;
}

int g_com_depth = 0;

int default_message(WindowRef, const char* text, const char* caption, u32 style) {
  std::cerr << "[" << caption << "] " << text << "\n";
  return (style & 0xF) == kMbYesNo ? kIdNo : kIdOk;
}

host::MessageHandler& message_handler() {
  static host::MessageHandler handler;
  return handler;
}

host::FolderChooser& folder_chooser() {
  static host::FolderChooser chooser;
  return chooser;
}

host::SaveChooser& save_chooser() {
  static host::SaveChooser chooser;
  return chooser;
}

std::vector<std::unique_ptr<OsWindow>>& controls() {
  static std::vector<std::unique_ptr<OsWindow>> made;
  return made;
}

// The control behind `window`, or null when it is not one made by make_control.
OsWindow* find_control(WindowRef window) {
  for (const auto& control : controls()) {
    if (control.get() == window) return control.get();
  }
  return nullptr;
}

struct ShellRecords {
  std::vector<host::ShellLinkRecord> links;
  std::vector<std::string> opened;
};

ShellRecords& shell_records() {
  static ShellRecords records;
  return records;
}

// The HRESULT that stands for a Windows error code (HRESULT_FROM_WIN32).
i32 result_from_error(u32 code) {
  return code == 0 ? 0 : static_cast<i32>(0x80070000u | (code & 0xFFFFu));
}
}  // namespace

// =============================================================================================
// Process.

const char* command_line() { return command_line_text().c_str(); }

void com_initialize() { ++g_com_depth; }

void com_uninitialize() {
  if (g_com_depth > 0) --g_com_depth;
}


// User interface.

namespace {
MessageAnswerer g_answerer;  // see set_message_answerer
}  // namespace

void set_message_answerer(MessageAnswerer answerer) { g_answerer = answerer; }

int show_message(WindowRef owner, const char* text, const char* caption, u32 style) {
  const char* shown_text = text == nullptr ? "" : text;
  // MessageBoxA shows "Error" when it is given no caption.
  const char* shown_caption = caption == nullptr ? "Error" : caption;
  if (g_answerer != nullptr) return g_answerer(shown_text, shown_caption, style);
  if (message_handler()) return message_handler()(owner, shown_text, shown_caption, style);
  return default_message(owner, shown_text, shown_caption, style);
}

bool choose_folder(WindowRef owner, const char* title, char* path) {
  path[0] = 0;
  if (!folder_chooser()) return false;
  std::optional<std::string> chosen = folder_chooser()(owner, title == nullptr ? "" : title);
  // A folder whose path does not fit kMaxPath bytes has no path that SHGetPathFromIDListA can give.
  if (!chosen || chosen->empty() || chosen->size() >= kMaxPath) return false;
  std::memcpy(path, chosen->c_str(), chosen->size() + 1);
  return true;
}

bool choose_save_file(char* path) {
  path[0] = 0;
  if (!save_chooser()) return false;
  std::optional<std::string> chosen = save_chooser()();
  if (!chosen || chosen->empty() || chosen->size() >= kMaxPath) return false;
  std::memcpy(path, chosen->c_str(), chosen->size() + 1);
  return true;
}

void append_list_line(WindowRef list, const char* line) {
  if (OsWindow* control = find_control(list)) control->lines.push_back(line == nullptr ? "" : line);
}

void set_control_text(WindowRef control, const char* text) {
  if (OsWindow* found = find_control(control)) {
    found->text = text == nullptr ? "" : text;
    found->texts.push_back(found->text);
  }
}

void show_progress(WindowRef control, u32 file, u32 files, u32 percent) {
  char text[48];
  if (file != 0) {
    std::snprintf(text, sizeof text, "File %u of %u, %u%%", file, files, percent);
  } else {
    std::snprintf(text, sizeof text, "%u%%", percent);
  }
  set_control_text(control, text);
}

void pump_messages() {}

void enable_control(WindowRef control, bool enabled) {
  if (OsWindow* found = find_control(control)) found->enabled = enabled;
}
// =============================================================================================
// Shell.

void open_with_shell(WindowRef, const char* path) {
  shell_records().opened.push_back(path == nullptr ? "" : path);
}

ShellLinkResult make_shell_link(const char* target, const char* arguments, const char* description,
                                const char* link_path) {
  // CoCreateInstance fails so when the thread has not entered COM.
  if (g_com_depth <= 0) return {host::kComNotInitialised, false};
  host::ShellLinkRecord record;
  record.target = target == nullptr ? "" : target;
  record.arguments = arguments == nullptr ? "" : arguments;
  record.description = description == nullptr ? "" : description;
  record.link_path = link_path == nullptr ? "" : link_path;
  // The link file is written through this layer's own file functions, so that it meets the same
  // names, sharing and read-only rules as every other file. Its content is this layer's own.
  std::string content = "ZEP host shortcut\ntarget=" + record.target + "\narguments=" +
                        record.arguments + "\ndescription=" + record.description + "\n";
  u32 saved_error = last_error();
  FileRef file = create_or_replace(link_path);
  bool written = file != nullptr &&
                 write_file(file, content.data(), static_cast<u32>(content.size()));
  if (file != nullptr && !close_file(file)) written = false;
  record.code = written ? 0 : result_from_error(last_error());
  set_last_error(saved_error);
  shell_records().links.push_back(record);
  return {record.code, true};
}

// =============================================================================================
// The hooks of platform/host_platform.h.

namespace host {

void set_message_handler(MessageHandler handler) { message_handler() = std::move(handler); }

void reset_message_handler() { message_handler() = nullptr; }

void set_folder_chooser(FolderChooser chooser) { folder_chooser() = std::move(chooser); }

void reset_folder_chooser() { folder_chooser() = nullptr; }

void set_save_chooser(SaveChooser chooser) { save_chooser() = std::move(chooser); }

void reset_save_chooser() { save_chooser() = nullptr; }

void set_command_line(std::string text) { command_line_text() = std::move(text); }

int com_depth() { return g_com_depth; }

std::vector<ShellLinkRecord> shell_links() { return shell_records().links; }

std::vector<std::string> shell_opened() { return shell_records().opened; }

void reset_shell() {
  shell_records().links.clear();
  shell_records().opened.clear();
}

std::vector<std::string> control_texts(WindowRef control) {
  const OsWindow* found = find_control(control);
  return found == nullptr ? std::vector<std::string>{} : found->texts;
}

WindowRef make_control() {
  controls().push_back(std::make_unique<OsWindow>());
  return controls().back().get();
}

std::vector<std::string> control_lines(WindowRef control) {
  OsWindow* found = find_control(control);
  return found == nullptr ? std::vector<std::string>() : found->lines;
}

std::string control_text(WindowRef control) {
  OsWindow* found = find_control(control);
  return found == nullptr ? std::string() : found->text;
}

bool control_enabled(WindowRef control) {
  OsWindow* found = find_control(control);
  return found != nullptr && found->enabled;
}

void reset_controls() { controls().clear(); }

void reset_com() { g_com_depth = 0; }

}  // namespace host

}  // namespace zep
