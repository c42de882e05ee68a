// Hooks into the Linux implementation of platform/platform.h, for the zep tool and the host tests.
//
// On Linux the file functions act on the real file system (emulating the Windows behaviour the
// logic relies on), while the registry, the shell, COM, the controls, the folder chooser and message
// boxes exist only in memory. The functions below let a test set them up and look at what the code
// under test did with them. None of this is built into the Windows programs, so the standard library
// may be used freely here.
//
// The Windows zep tool, a console program, takes the in-memory parts too (message boxes, choosers,
// process, registry, shell, controls) with the real Win32 file functions beside them; the hooks into
// the files (open counts, host paths, fault injection, confinement) and reset_all exist only on Linux.
//
// Everything here is meant for one thread, the one that runs the code under test.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/types.h"

namespace zep::host {

// ---------------------------------------------------------------------------------------------
// Message boxes.

// Answers show_message: receives what MessageBoxA would show and returns the ID* of the button
// pressed.
using MessageHandler =
    std::function<int(WindowRef owner, const char* text, const char* caption, u32 style)>;

// Every later message box goes to `handler`.
void set_message_handler(MessageHandler handler);

// Back to the default: each box is printed to stderr and answered at once, kIdNo for a Yes/No box
// and kIdOk for any other, so that nothing ever waits for a user who is not there.
void reset_message_handler();

// ---------------------------------------------------------------------------------------------
// Folder chooser.

// Plays the user at choose_folder: returns the chosen folder's path, or nothing for a cancel.
using FolderChooser = std::function<std::optional<std::string>(WindowRef owner, const char* title)>;

void set_folder_chooser(FolderChooser chooser);

// Back to the default, which cancels every time.
void reset_folder_chooser();

// Save As dialog.

// Plays the user at choose_save_file: returns the chosen file's path, or nothing for a cancel.
using SaveChooser = std::function<std::optional<std::string>()>;

void set_save_chooser(SaveChooser chooser);

// Back to the default, which cancels every time.
void reset_save_chooser();

// ---------------------------------------------------------------------------------------------
// Process.

// The text that command_line() returns from now on. It is "zep" until set.
void set_command_line(std::string text);

// How many com_initialize calls have not yet been undone by com_uninitialize.
int com_depth();

// Back to no com_initialize call at all.
void reset_com();

// ---------------------------------------------------------------------------------------------
// Files.

// The number of files open through the platform layer (opened and not yet closed).
std::size_t open_file_count();

// The number of folder searches started by find_first and not yet ended by find_close.
std::size_t open_search_count();

// The host path that a Windows-style path names (backslashes mapped, each component matched to
// what exists without regard to letter case), or nothing when the path is invalid.
std::optional<std::string> native_path(const std::string& path);

// How many times a folder's names have been read into its index (see host_paths.cpp): once per
// folder, and again only after something outside this layer changed it.
std::size_t folder_read_count();

// Forgets every folder's index, as if none had been read (reset_all does it too).
void forget_folder_indexes();

// Fault injection. The operations that write or change the disk or the registry are counted:
// create_or_replace, create_new, create_scratch_file, open_for_appending, write_file, flush_file,
// replace_file, delete_file, copy_file, make_folder, remove_folder, clear_read_only, and
// open_or_create_key when it makes a key, set_string_value and delete_key. From this call on, the `n`-th of them (1 for the next one) fails with `code` and
// changes nothing; 0 injects nothing. Either way counting starts again from 0.
void fail_nth_file_operation(std::size_t n, u32 code);

// The operations counted since the last fail_nth_file_operation (or reset_all).
std::size_t file_operation_count();

// What the injected failure hit, as "write_file /tmp/..." (the operation and the host path), or
// empty while it has not happened.
std::string injected_failure();

// Confinement: while `folder` (a host path) is set, every operation that would create, write, delete
// or rename anything outside it fails with 5 and is recorded. An empty `folder` lifts it.
void confine_changes_to(const std::string& folder);

// Every operation refused by the confinement since it was set, as "create_new /path".
std::vector<std::string> confinement_escapes();

// ---------------------------------------------------------------------------------------------
// Registry, kept in memory. Key paths are written as the logic writes them ("Software\\Zep\\Key");
// keys and value names are matched without regard to letter case, as on Windows.

// The text of a string value (without its terminating zero), or nothing when the key or the value
// is missing.
std::optional<std::string> registry_value(RegistryRoot root, const std::string& key,
                                          const std::string& name);

// True when the key exists.
bool registry_key_exists(RegistryRoot root, const std::string& key);

// Every key that exists, as "HKEY_CURRENT_USER\\..." or "HKEY_LOCAL_MACHINE\\...", spelled as it was
// first created, in case-insensitive order.
std::vector<std::string> registry_keys();

// Creates the key (and its parents) if needed and sets a string value in it, for setting up a test.
void set_registry_value(RegistryRoot root, const std::string& key, const std::string& name,
                        const std::string& text);

// When `denied`, the root behaves as for a user without the right to write it: existing keys still
// open and read, but creating a key, setting a value and deleting a key return 5.
void deny_registry_writes(RegistryRoot root, bool denied);

// The number of keys opened by open_or_create_key and not yet closed.
std::size_t open_key_count();

// Removes every key and value and lifts every denial.
void clear_registry();

// ---------------------------------------------------------------------------------------------
// Shell.

// One call of make_shell_link that got past the creation of the link object (COM initialised).
struct ShellLinkRecord {
  std::string target;
  std::string arguments;
  std::string description;
  std::string link_path;  // as the caller passed it
  i32 code = 0;           // the result returned: 0 when the link file was written
};

// Every such call so far, in order.
std::vector<ShellLinkRecord> shell_links();

// The path of every open_with_shell call so far, in order.
std::vector<std::string> shell_opened();

// Forgets the links and opened paths recorded so far.
void reset_shell();

// The result make_shell_link gives when COM is not initialised (CO_E_NOTINITIALIZED).
constexpr i32 kComNotInitialised = static_cast<i32>(0x800401F0u);

// ---------------------------------------------------------------------------------------------
// Controls.

// A new control for append_list_line, set_control_text and enable_control: no lines, empty text,
// enabled. It can also serve as an owner window. It lives until reset_controls().
WindowRef make_control();

// The lines appended to the control, in order.
std::vector<std::string> control_lines(WindowRef control);

// The control's current text.
std::string control_text(WindowRef control);

// Every text the control was given, in order.
std::vector<std::string> control_texts(WindowRef control);

// Whether the control is enabled.
bool control_enabled(WindowRef control);

// Destroys every control made by make_control.
void reset_controls();

// ---------------------------------------------------------------------------------------------

// Everything above back to its start: no fault injection or confinement, default message handler,
// folder and save choosers, command line "zep", COM depth 0, empty registry, no shell records, no
// controls. Open files are not touched.
void reset_all();

}  // namespace zep::host
