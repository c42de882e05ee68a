// Times the installer's start: from starting a self-extracting file until its window is up with the
// contents list filled (the listing runs while the window is created). Windows only; run under wine
// by scripts/bench-listing.
//
//   window_start.exe PROGRAM FOLDER LINES
// starts PROGRAM (a Windows path) in FOLDER, waits for its "ZEPExtractor" window, checks that the
// list holds LINES lines, prints the time and closes the window.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

struct Search {
  DWORD process;
  HWND found;
};

BOOL CALLBACK find_window(HWND window, LPARAM param) {
  Search* search = reinterpret_cast<Search*>(param);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  char name[64];
  if (process == search->process && IsWindowVisible(window) && GetClassNameA(window, name, sizeof name) &&
      std::string(name) == "ZEPExtractor") {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: window_start PROGRAM FOLDER LINES\n");
    return 2;
  }
  std::string command = std::string("\"") + argv[1] + "\"";
  long expected_lines = std::atol(argv[3]);
  LARGE_INTEGER frequency, start, now;
  QueryPerformanceFrequency(&frequency);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  QueryPerformanceCounter(&start);
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, argv[2], &startup, &process)) {
    std::fprintf(stderr, "cannot start %s (%lu)\n", argv[1], GetLastError());
    return 1;
  }
  Search search = {process.dwProcessId, nullptr};
  for (int i = 0; i < 120000 && search.found == nullptr; ++i) {
    EnumWindows(find_window, reinterpret_cast<LPARAM>(&search));
    if (search.found == nullptr) Sleep(1);
  }
  QueryPerformanceCounter(&now);
  if (search.found == nullptr) {
    std::fprintf(stderr, "no window appeared\n");
    TerminateProcess(process.hProcess, 1);
    return 1;
  }
  double milliseconds = 1000.0 * static_cast<double>(now.QuadPart - start.QuadPart) /
                        static_cast<double>(frequency.QuadPart);
  HWND list = FindWindowExA(search.found, nullptr, "ListBox", nullptr);
  LRESULT lines = SendMessageA(list, LB_GETCOUNT, 0, 0);
  std::printf("%.0f ms to the window with %ld list lines\n", milliseconds, static_cast<long>(lines));
  PostMessageA(search.found, WM_CLOSE, 0, 0);
  WaitForSingleObject(process.hProcess, 60000);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return lines == expected_lines ? 0 : 1;
}
