// The installer's process entry and its one window: the window class, the main window with its seven
// controls, the message loop and the window procedure.
#include <windows.h>

#include "archive/extraction.h"
#include "archive/format.h"
#include "archive/listing.h"
#include "archive/reader.h"
#include "install/driver.h"
#include "platform/error_message.h"
#include "shell/game_folder.h"
#include "platform/platform.h"
#include "shell/scripted_install.h"
#include "shell/self_location.h"

namespace zep {
namespace {

constexpr char kClassName[] = "ZEPExtractor";
constexpr char kCaption[] = "ZEP self-extracting archive v1.1 by Vantrel";
constexpr u32 kPathStorageLength = 260;  // bytes of the GamePath and of the AddonName storage

// One control of the main window, as created. Its place and size, all below 256 pixels, are kept
// in bytes (a larger one would not compile), 12 bytes a control rather than 32. Every control is a
// visible child; the list alone has further styles.
struct ControlSpec {
  const char* class_name;
  const char* text;
  u8 x, y, width, height;
};

enum Control { kContentsLabel, kContentsList, kSelectButton, kPathLabel, kImportButton, kExtractButton,
               kCreditsLabel, kControlCount };

constexpr DWORD kChildVisible = WS_CHILD | WS_VISIBLE;  // 0x50000000: plain SS_LEFT / BS_PUSHBUTTON
constexpr DWORD kListStyle = kChildVisible | WS_VSCROLL | WS_HSCROLL | LBS_NOSEL;
constexpr DWORD kListExStyle = WS_EX_CLIENTEDGE;

const ControlSpec kControls[kControlCount] = {
    {"static", "ZEP contents", 4, 5, 150, 15},
    {"listbox", "", 3, 20, 175, 170},
    {"button", "Select game path", 200, 25, 120, 25},
    {"static", "<Please select a game path>", 190, 55, 150, 15},
    {"button", "Import ZEP into game", 200, 80, 120, 25},
    {"button", "Extract ZEP from archive", 200, 110, 120, 25},
    {"static", "ZEP installer by Vantrel\nzep.example.org", 200, 140, 120, 45},
};
static_assert(kListStyle == 0x50304000, "list style");

// Program-wide state, kept for the whole run. Plain data only: no start-up code runs to construct it.
struct WindowProgram {
  HINSTANCE instance;
  HWND main_window;             // set when window creation has returned
  HWND controls[kControlCount]; // in the order of kControls
  HFONT font;                   // the controls' font
  char* game_path;              // GamePath storage, kPathStorageLength bytes
  char* addon_name;             // AddonName storage, kPathStorageLength bytes
  ArchiveCounts counts;         // what the listing found; 0 and unusable until it succeeds
  FileRef working_copy;         // the working copy, open until the program ends; null when not made
  bool busy;                    // a command is running (an ownerless dialog of it may be up)
  bool destroyed;               // the window was destroyed while a command was running
  bool close_requested;         // the window was asked to close while a command was running
};
static_assert(kPathStorageLength == kAddonNameCapacity, "one size for both storages");
// Each function below that uses several of its fields reaches it through_register (archive/reader.h).
WindowProgram g_program;

void on_create(HWND window) {
  WindowProgram& state = through_register(g_program);
  com_initialize();
  state.font = CreateFontA(15, 0, 0, 0, 0, FALSE, FALSE, FALSE, ANSI_CHARSET, 0, 0, 0, 0, "MS Sans Serif");
  for (int i = 0; i < kControlCount; ++i) {
    const ControlSpec& spec = kControls[i];
    const bool list = i == kContentsList;
    state.controls[i] = CreateWindowExA(list ? kListExStyle : 0, spec.class_name, spec.text,
                                        list ? kListStyle : kChildVisible, spec.x, spec.y, spec.width,
                                        spec.height, window, nullptr, state.instance, nullptr);
  }
  for (int i = 0; i < kControlCount; ++i) {
    SendMessageA(state.controls[i], WM_SETFONT, reinterpret_cast<WPARAM>(state.font), TRUE);
  }
  EnableWindow(state.controls[kImportButton], FALSE);
  state.game_path = static_cast<char*>(allocate_zeroed(kPathStorageLength));
  state.addon_name = static_cast<char*>(allocate_zeroed(kPathStorageLength));
  // Messages raised during creation are owned by the window being created: the program-wide
  // handle is stored only when creation has returned.
  FileHandle working_copy;
  locate_self(reinterpret_cast<WindowRef>(window), reinterpret_cast<WindowRef>(state.controls[kContentsList]),
              state.addon_name, &state.counts, &working_copy);
  state.working_copy = working_copy.release();
}

WindowRef main_window() { return reinterpret_cast<WindowRef>(g_program.main_window); }

// The working copy, or null after the message that it was never made.
FileRef working_copy() {
  WindowProgram& state = through_register(g_program);
  if (state.working_copy == nullptr) {
    set_last_error(win_error::kFileNotFound);
    show_error_number(main_window(), kReadErrorCaption);
  }
  return state.working_copy;
}

void extract_command() {
  if (FileRef copy = working_copy()) extract_archive(copy, layout_number(kStubLayout.archive_offset), main_window());
}

void import_command() {
  WindowProgram& state = through_register(g_program);
  // Without the storage (the heap was exhausted at start) there is no game folder to install into.
  if (state.game_path == nullptr || state.addon_name == nullptr) return;
  FileRef copy = working_copy();
  if (copy == nullptr) return;
  const InstallSource source = {copy, layout_number(kStubLayout.archive_offset), &state.counts, nullptr, false};
  install_addon(source, state.game_path, state.addon_name, main_window());
}

void select_command() {
  WindowProgram& state = through_register(g_program);
  if (state.game_path == nullptr) return;
  if (choose_game_folder(main_window(), state.game_path) != FolderChoice::kAccepted) return;
  SendMessageA(state.controls[kPathLabel], WM_SETTEXT, 0, reinterpret_cast<LPARAM>(state.game_path));
  EnableWindow(state.controls[kImportButton], TRUE);
}

// While Import or Extract copies, the path label shows how far it has come (archive/reader.h), and
// the window keeps answering its messages; afterwards the label shows the game folder again.
void run_copying_command(void (*command)()) {
  WindowProgram& state = through_register(g_program);
  HWND label = state.controls[kPathLabel];
  g_copy_progress = {reinterpret_cast<WindowRef>(label), 0, 0, 0, 0};
  command();
  g_copy_progress.shown_in = nullptr;
  const char* path = state.game_path;
  SendMessageA(label, WM_SETTEXT, 0,
               reinterpret_cast<LPARAM>(path != nullptr && *path != 0 ? path : kControls[kPathLabel].text));
}

void end_program();

void on_command(WPARAM wparam, LPARAM lparam) {
  WindowProgram& state = through_register(g_program);
  if (HIWORD(wparam) != BN_CLICKED) return;
  // While an ownerless dialog of a running command is up the buttons can still be pressed; a second
  // command must not start inside the first.
  if (state.busy) return;
  HWND sender = reinterpret_cast<HWND>(lparam);
  state.busy = true;
  if (sender == state.controls[kImportButton]) {
    run_copying_command(import_command);
  } else if (sender == state.controls[kExtractButton]) {
    run_copying_command(extract_command);
  } else if (sender == state.controls[kSelectButton]) {
    select_command();
  }
  state.busy = false;
  // The window was closed while the command ran: what the destroy handler left for the command to
  // finish with goes now.
  if (state.destroyed) {
    end_program();
  } else if (state.close_requested) {
    state.close_requested = false;
    DestroyWindow(state.main_window);
  }
}

// The destroy handler's work: the storage, the working copy, COM, and the end of the message loop.
void end_program() {
  WindowProgram& state = through_register(g_program);
  release_memory(state.game_path);
  state.game_path = nullptr;
  release_memory(state.addon_name);
  state.addon_name = nullptr;
  close_file(state.working_copy);  // which deletes it
  state.working_copy = nullptr;
  com_uninitialize();
  PostQuitMessage(0);
}

void on_destroy() {
  WindowProgram& state = through_register(g_program);
  // A running command still uses the storage, holds the working copy open and may still make
  // shortcuts: it ends the program when it returns.
  if (state.busy) {
    state.destroyed = true;
    return;
  }
  end_program();
}

LRESULT CALLBACK window_procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  WindowProgram& state = through_register(g_program);
  switch (message) {
    case WM_CREATE:
      on_create(window);
      return 0;
    case WM_COMMAND:
      on_command(wparam, lparam);
      return 0;
    case WM_DESTROY:
      on_destroy();
      return 0;
    case WM_CLOSE:
    case WM_QUIT:
      // While a command runs (it copies, or a dialog of it is up) the window stays, as the command's
      // messages are owned by it; it closes as soon as the command has ended. Only a sent WM_QUIT
      // arrives here; a posted one ends the message loop instead.
      if (state.busy) {
        state.close_requested = true;
        return 0;
      }
      DestroyWindow(window);
      return 0;
    default:
      return DefWindowProcA(window, message, wparam, lparam);
  }
}

int run_window_program(HINSTANCE instance) {
  WindowProgram& state = through_register(g_program);
  state.instance = instance;
  WNDCLASSEXA window_class = {};
  window_class.cbSize = sizeof(WNDCLASSEXA);
  window_class.style = CS_HREDRAW | CS_VREDRAW;
  window_class.lpfnWndProc = window_procedure;
  window_class.hInstance = instance;
  window_class.hIcon = LoadIconA(nullptr, MAKEINTRESOURCEA(32517));  // IDI_WINLOGO
  window_class.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
  // 5 is COLOR_MENU + 1: the window is painted in the menu colour.
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(5));
  window_class.lpszClassName = kClassName;
  window_class.hIconSm = LoadIconA(nullptr, MAKEINTRESOURCEA(32517));
  RegisterClassExA(&window_class);

  state.main_window = CreateWindowExA(0, kClassName, kCaption, WS_VISIBLE | WS_SYSMENU, CW_USEDEFAULT,
                                          CW_USEDEFAULT, 350, 210, nullptr, nullptr, instance, nullptr);
  // Without a window nothing could ever end the message loop.
  if (state.main_window == nullptr) return 1;
  ShowWindow(state.main_window, SW_SHOW);
  UpdateWindow(state.main_window);

  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return static_cast<int>(message.wParam);
}

}  // namespace
}  // namespace zep

// The process entry: no runtime start-up code runs before it.
extern "C" void zep_entry() {
  int code = zep::run_command_line(GetCommandLineA());
  if (code == zep::kOpenTheWindow) code = zep::run_window_program(GetModuleHandleA(nullptr));
  ExitProcess(static_cast<UINT>(code));
}
