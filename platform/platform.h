// The one seam between the installer's logic and the operating system.
//
// Every file, folder, registry, shell and user-interface operation that the logic needs is one free
// function below. There are two implementations, chosen when linking:
//   - platform/win32_*.cpp: the real Win32 calls, made exactly as the installer makes them;
//   - platform/host_platform.cpp: POSIX for Linux, emulating the Windows behaviour the logic relies on
//     (error codes, exclusive opens, backslash paths, case-insensitive names), with the registry,
//     the shell and message boxes kept in memory (see platform/host_platform.h).
//
// Conventions shared by all functions:
//   - Paths and texts are 8-bit, zero-terminated, in the Windows ANSI code page; components are
//     separated by backslashes.
//   - A function that fails leaves the Windows error code where last_error() finds it, exactly as
//     GetLastError does on Windows. Registry functions return their code instead, as Windows does.
//   - Handles are opaque. A null handle never refers to anything.
#pragma once

#include "platform/types.h"

namespace zep {

struct OsFile;
struct OsWindow;
struct OsKey;
struct OsSearch;
using FileRef = OsFile*;      // an open file
using WindowRef = OsWindow*;  // a window or a control; null means "no owner"
using KeyRef = OsKey*;        // an open registry key
using SearchRef = OsSearch*;  // a running folder search

// Windows error codes that the logic tests for, shows, or that the host layer produces.
namespace win_error {
constexpr u32 kSuccess = 0;
constexpr u32 kFileNotFound = 2;
constexpr u32 kPathNotFound = 3;
constexpr u32 kTooManyOpenFiles = 4;
constexpr u32 kAccessDenied = 5;
constexpr u32 kInvalidHandle = 6;
constexpr u32 kNotEnoughMemory = 8;
constexpr u32 kNoMoreFiles = 18;
constexpr u32 kGeneralFailure = 31;
constexpr u32 kSharingViolation = 32;
constexpr u32 kHandleEof = 38;
constexpr u32 kFileExists = 80;
constexpr u32 kInvalidParameter = 87;
constexpr u32 kDiskFull = 112;
constexpr u32 kInvalidName = 123;
constexpr u32 kDirNotEmpty = 145;
constexpr u32 kAlreadyExists = 183;
constexpr u32 kFilenameTooLong = 206;
constexpr u32 kMoreData = 234;
constexpr u32 kKeyDeleted = 1018;
}  // namespace win_error

// The longest path the ANSI file functions take, terminator included (MAX_PATH).
constexpr u32 kMaxPath = 260;

// Message box styles (MB_*) and answers (ID*).
constexpr u32 kMbOk = 0x0;
constexpr u32 kMbYesNo = 0x4;
constexpr u32 kMbIconQuestion = 0x20;
constexpr u32 kMbIconWarning = 0x30;
constexpr u32 kMbIconInformation = 0x40;
constexpr int kIdOk = 1;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;

// ---------------------------------------------------------------------------------------------
// Files. All opens are exclusive (no sharing) and use normal attributes.

// Opens an existing file for reading (GENERIC_READ, OPEN_EXISTING). Returns null on failure:
// 2 when the file is missing, 3 when a folder on the way is missing, 32 while the file is open
// elsewhere, 5 for a folder or a file that may not be read.
FileRef open_for_reading(const char* path);

// Creates a file for writing, or truncates an existing one (GENERIC_WRITE, CREATE_ALWAYS).
// Returns null on failure, with the same codes as open_for_reading.
FileRef create_or_replace(const char* path);

// Creates a file for writing only if none exists (GENERIC_WRITE, CREATE_NEW). Returns null on
// failure: 80 when the name exists, 3 when the parent folder is missing, other codes otherwise.
FileRef create_new(const char* path);

// Opens an existing file for reading while other programs may read it too (GENERIC_READ,
// FILE_SHARE_READ, OPEN_EXISTING): for the running executable, which the system itself holds open.
// Returns null on failure, with the same codes as open_for_reading.
FileRef open_for_reading_shared(const char* path);

// Creates a new file, only when none of that name exists, to write and then read back: a private
// scratch file (GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, CREATE_NEW, FILE_ATTRIBUTE_TEMPORARY,
// FILE_FLAG_DELETE_ON_CLOSE). No other program may write or delete it while it is open, and the
// system deletes it when it is closed, also when the program ends any other way. Returns null on
// failure: 80 when the name exists, other codes as for create_new.
FileRef create_scratch_file(const char* path);

// Opens an existing file for writing at its end, keeping what it holds (GENERIC_WRITE, OPEN_EXISTING,
// then the position at the end). Returns null on failure, with the same codes as open_for_reading.
FileRef open_for_appending(const char* path);

// Moves the file position to `offset` bytes from the beginning. Returns false on failure.
bool seek_file(FileRef file, u32 offset);

// Reads exactly `length` bytes. Returns false when fewer could be read (38 at the end of the file)
// or on any other failure; the buffer's content is then unspecified.
bool read_file(FileRef file, void* buffer, u32 length);

// Writes exactly `length` bytes. Returns false when fewer were written (112 when the disk is full)
// or on any other failure.
bool write_file(FileRef file, const void* data, u32 length);

// Stores the file's size in `size`. Returns false on failure, and for a file of 4 GiB or more,
// whose size does not fit (87).
bool get_file_size(FileRef file, u32* size);

// Forces the file's written data to the disk. Returns false on failure.
bool flush_file(FileRef file);

// Closes an open file; null is ignored. Returns false when the system reports a failure.
bool close_file(FileRef file);

// Creates one folder (its parent must exist). Returns false on failure: 183 when the name exists,
// 3 when the parent is missing.
bool make_folder(const char* path);

// Removes an empty folder. Returns false on failure: 145 when it is not empty, 2 or 3 when missing.
bool remove_folder(const char* path);

// Copies a whole file, replacing an existing target (CopyFileA with FALSE). Returns false on failure.
bool copy_file(const char* from, const char* to);

// Deletes a file. Returns false on failure: 2 or 3 when it is missing, 5 for a folder, 32 while
// the file is open.
bool delete_file(const char* path);

// Renames `from` to `to`, replacing an existing `to` in one step, and returns only when the rename
// has reached the disk (MoveFileExA with MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH).
// Returns false on failure; both files are then as they were.
bool replace_file(const char* from, const char* to);

// True when something is at `path` and it is a symbolic link, a junction or another reparse point
// (GetFileAttributesA has FILE_ATTRIBUTE_REPARSE_POINT): what a path through it names may be
// anywhere. The link itself is looked at, never what it points to.
bool is_link(const char* path);

// Takes the read-only attribute off the file at `path` (GetFileAttributesA, SetFileAttributesA). Returns
// true when the file had it and has it no more; false, changing nothing, for a file without it, a
// folder, a link, or when it fails.
bool clear_read_only(const char* path);

// One entry of a folder search: the entry's long name.
struct FoundName {
  char text[kMaxPath];
};

// Starts a folder search with a pattern such as "C:\Folder\*.*" and fills `found` with the first
// entry. Returns null when nothing matches or the folder cannot be searched.
SearchRef find_first(const char* pattern, FoundName* found);

// Fills `found` with the next entry. Returns false when no entry is left (18) or on failure.
bool find_next(SearchRef search, FoundName* found);

// Ends a search; null is ignored.
void find_close(SearchRef search);

// The error code of the last failed operation (GetLastError).
u32 last_error();

// Sets the code that last_error() returns (SetLastError).
void set_last_error(u32 code);

// True when `path` names its file or folder by itself, whatever the current folder and drive: from a
// drive ("C:" followed by nothing or a backslash) or from a server ("\\server\share"). The host
// layer also takes a path from the Linux root ("\home\...").
bool is_whole_path(const char* path);

// Writes the full path of `path` into `full` (kMaxPath bytes), as GetFullPathNameA gives it: from its
// drive or server (a path without one is taken from the current folder), with backslashes, without
// "." and ".." parts or doubled separators; a separator at its end stays. Returns false when it would
// not fit (206) or on failure.
bool full_path(const char* path, char* full);

// Writes the system's text for `code` into `buffer` (FormatMessageA from the system, language 0,
// at most `capacity` bytes with the terminator). Returns false when there is no such text.
bool system_error_text(u32 code, char* buffer, u32 capacity);

// ---------------------------------------------------------------------------------------------
// Memory and process.

// Allocates `length` zero-filled bytes from the process heap. Returns null when out of memory.
void* allocate_zeroed(u32 length);

// Releases a block from allocate_zeroed; null is ignored.
void release_memory(void* block);

// Writes the `length` bytes of `text` (`length` above 0) into `utf8` in UTF-8: as they are when they
// are valid UTF-8, otherwise converted from the ANSI code page. `utf8` has room for three bytes for
// each of them. Windows: MultiByteToWideChar from CP_UTF8 with MB_ERR_INVALID_CHARS, or else from
// CP_ACP, then WideCharToMultiByte to CP_UTF8; the host layer takes Windows-1252 for the ANSI code
// page. Returns the bytes written, or 0 on failure.
u32 text_to_utf8(const char* text, u32 length, char* utf8);

// The process's whole command line (GetCommandLineA). The text belongs to the system.
const char* command_line();

// Enters and leaves the COM apartment that shell links and the folder chooser need.
void com_initialize();
void com_uninitialize();

// ---------------------------------------------------------------------------------------------
// User interface.

// Shows a modal message box (MessageBoxA) and returns the answer: kIdOk, kIdYes or kIdNo.
int show_message(WindowRef owner, const char* text, const char* caption, u32 style);

// Takes the place of the screen for every later message box when not null: it gets what
// show_message would show and returns the answer, and nothing is shown (a run without a window).
using MessageAnswerer = int (*)(const char* text, const char* caption, u32 style);
void set_message_answerer(MessageAnswerer answerer);

// Shows the folder chooser with `title` and writes the chosen folder's path into `path`
// (kMaxPath bytes). Returns false, with `path` empty, when the user cancels or the chosen item
// has no file-system path.
bool choose_folder(WindowRef owner, const char* title, char* path);

// Shows the Save As dialog for a .zep file, without an owner (GetSaveFileNameA: filter
// "ZEP files(*.ZEP)" / "*.zep", default extension "zep", flags 0x28280E), and writes the chosen file's
// path into `path` (kMaxPath bytes). Returns false, with `path` empty, when the user cancels.
bool choose_save_file(char* path);

// Appends one line to a list control (LB_ADDSTRING).
void append_list_line(WindowRef list, const char* line);

// Replaces the text of a control (WM_SETTEXT).
void set_control_text(WindowRef control, const char* text);

// Shows how far a long command has come in `control`: "File 3 of 12, 40%" for the file `file` of
// `files` and `percent` of the bytes (just "40%" when `file` is 0). Then handles the messages waiting
// for this thread's windows (PeekMessageA, TranslateMessage, DispatchMessageA), so that a window
// stays answering while the command runs; a WM_QUIT found is posted again for the message loop.
void show_progress(WindowRef control, u32 file, u32 files, u32 percent);

// Handles the messages waiting for this thread's windows, as show_progress does.
void pump_messages();

// Enables or disables a control (EnableWindow).
void enable_control(WindowRef control, bool enabled);

// ---------------------------------------------------------------------------------------------
// Registry. Key paths are relative to a root and used exactly as given.

enum class RegistryRoot { kCurrentUser, kLocalMachine };

// Opens a key, creating it and any missing parents first (RegCreateKeyA). Returns 0 and stores
// the key in `key`, or returns the system's error code and stores null.
i32 open_or_create_key(RegistryRoot root, const char* path, KeyRef* key);

// Opens an existing key to read it (RegOpenKeyExA with KEY_READ). Returns 0 and stores the key in
// `key`, or returns the system's error code (2 when it does not exist) and stores null.
i32 open_existing_key(RegistryRoot root, const char* path, KeyRef* key);

// Sets a REG_SZ value to `text`, its terminating zero counted in the size. Returns 0 or the code.
i32 set_string_value(KeyRef key, const char* name, const char* text);

// Reads a value into `buffer`, at most `capacity` bytes (RegQueryValueExA; the value's type is not
// examined). Returns 0, 234 when the value does not fit, 2 when it is missing, or another code.
i32 query_string_value(KeyRef key, const char* name, char* buffer, u32 capacity);

// Deletes a key that has no subkeys (RegDeleteKeyA). Returns 0 or the system's error code.
i32 delete_key(RegistryRoot root, const char* path);

// Closes a key; null is ignored.
void close_key(KeyRef key);

// ---------------------------------------------------------------------------------------------
// Shell.

// Opens a file with the program registered for its type (ShellExecuteA with the verb "open",
// no parameters, working folder ".", SW_SHOW). The outcome is not reported.
void open_with_shell(WindowRef owner, const char* path);

// The outcome of make_shell_link: the result code of the last step taken, and whether that step
// was saving the link file (so that a failed save can be told from a missing link object).
struct ShellLinkResult {
  i32 code;         // 0 on success, otherwise a failure result (HRESULT)
  bool save_tried;  // true when the link object was made and its save was attempted
};

// Writes a shortcut file at `link_path` that starts `target` with `arguments`, described by
// `description`; an existing file of that name is replaced. COM must be initialised.
ShellLinkResult make_shell_link(const char* target, const char* arguments, const char* description,
                                const char* link_path);

}  // namespace zep
