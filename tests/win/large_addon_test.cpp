// A large add-on installed through the real window: the window answers its messages all through the
// copy (as Windows asks of a window before it calls it "Not responding"), the path label shows the
// progress up to its end, and every byte lands. With ZEP_WINDOW_PICTURE set to a file path, the test
// also saves a picture of the window half-way through (scripts/window-picture).
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/folder_browser.h"
#include "tests/support/installer_run.h"
#include "tests/support/temp_folder.h"
#include "tests/support/tlk_bytes.h"
#include "tests/support/windows_ui.h"

namespace zep::test {
namespace {

namespace fs = std::filesystem;

constexpr std::uint32_t kFileCount = 24;
constexpr std::uint32_t kMegabyte = 1024 * 1024;
constexpr std::uint32_t kFileSize = 10 * kMegabyte;  // 240 MB in all
constexpr DWORD kAnswerWithin = 1000;                // milliseconds
constexpr DWORD kInstallPatience = 10 * 60 * 1000;

std::string big_file_name(std::uint32_t k) {
  char name[32];
  std::snprintf(name, sizeof name, "Override\\big%02u.bin", static_cast<unsigned>(k));
  return name;
}

// The k-th file's bytes from `offset` on, `length` of them: every file different, every megabyte too.
std::string big_file_bytes(std::uint32_t k, std::uint32_t offset, std::uint32_t length) {
  std::string bytes(length, '\0');
  for (std::uint32_t i = 0; i < length; ++i) {
    const std::uint32_t at = offset + i;
    bytes[i] = static_cast<char>(k * 37 + (at >> 20) * 11 + at * 7);
  }
  return bytes;
}

void put_u32(std::string& bytes, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<char>(value >> (8 * i)));
}

// Writes a self-extracting file of the stub and uninstaller under test whose archive holds the big
// files, streamed a megabyte at a time: the whole would not sit well in a 32-bit test's memory.
bool write_large_installer(const fs::path& path) {
  const std::string head = build_installer("");
  if (head.empty()) return false;
  std::uint32_t total = 21 + 20 * kFileCount;
  for (std::uint32_t k = 0; k < kFileCount; ++k) total += static_cast<std::uint32_t>(big_file_name(k).size()) + kFileSize;
  std::string table = {'Z', 'E', 'P', '\0'};
  put_u32(table, 0);
  put_u32(table, 0);  // no string patch files
  put_u32(table, kFileCount);
  table.push_back('\0');
  put_u32(table, total);
  std::uint32_t at = 21 + 20 * kFileCount;
  for (std::uint32_t k = 0; k < kFileCount; ++k) {
    const std::uint32_t name_length = static_cast<std::uint32_t>(big_file_name(k).size());
    put_u32(table, at);
    put_u32(table, name_length);
    put_u32(table, 0);
    put_u32(table, at + name_length);
    put_u32(table, kFileSize);
    at += name_length + kFileSize;
  }
  std::ofstream out(path, std::ios::binary);
  out << head << table;
  for (std::uint32_t k = 0; k < kFileCount; ++k) {
    out << big_file_name(k);
    for (std::uint32_t offset = 0; offset < kFileSize; offset += kMegabyte) out << big_file_bytes(k, offset, kMegabyte);
  }
  return static_cast<bool>(out.flush());
}

// The screen under `window` as a 24-bit BMP file.
bool save_window_picture(HWND window, const std::string& path) {
  RECT frame;
  if (!GetWindowRect(window, &frame)) return false;
  const int width = frame.right - frame.left, height = frame.bottom - frame.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, frame.left, frame.top, SRCCOPY);
  SelectObject(memory, old);
  BITMAPINFOHEADER info = {};
  info.biSize = sizeof info;
  info.biWidth = width;
  info.biHeight = height;  // rows from the bottom up, as a BMP file keeps them
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  const std::uint32_t stride = (static_cast<std::uint32_t>(width) * 3 + 3) & ~3u;
  std::string pixels(stride * static_cast<std::uint32_t>(height), '\0');
  const int rows = GetDIBits(memory, bitmap, 0, height, pixels.data(), reinterpret_cast<BITMAPINFO*>(&info),
                             DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  if (rows != height) return false;
  BITMAPFILEHEADER file = {};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(&file), sizeof file);
  out.write(reinterpret_cast<const char*>(&info), sizeof info);
  out << pixels;
  return static_cast<bool>(out.flush());
}

// "File k of n, p%" read back; false for any other text.
bool read_progress(const std::string& text, unsigned* file, unsigned* files, unsigned* percent) {
  return std::sscanf(text.c_str(), "File %u of %u, %u%%", file, files, percent) == 3;
}

// What the window showed while an Import ran, watched as the test answered its questions.
struct WatchedImport {
  std::vector<std::string> labels;  // each text the label showed, once per change
  std::string final_text;           // the final message
  std::string label_at_end;         // the label while the final message was up
  DWORD slowest = 0;                // milliseconds of the slowest answer to WM_NULL
  std::uint32_t asked = 0;          // WM_NULLs sent
  std::uint32_t under_way = 0;      // progress texts seen between 0% and 100%
};

// Presses Import and, until its final message, asks the window every 50 ms to answer WM_NULL within
// 1 s (failing the test otherwise), answers its questions (no shortcuts, every file overwritten) and
// reads the label. `mid_way` is called once, when the label first shows 40% or more.
WatchedImport watch_import(InstallerRun& run, HWND window, const std::function<void()>& mid_way) {
  WatchedImport seen;
  bool called = false;
  press_button(import_button(window));
  const DWORD start = GetTickCount();
  while (seen.final_text.empty() && GetTickCount() - start < kInstallPatience) {
    const DWORD before = GetTickCount();
    DWORD_PTR ignored = 0;
    const bool answered = SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, kAnswerWithin, &ignored) != 0;
    seen.slowest = std::max<DWORD>(seen.slowest, GetTickCount() - before);
    ++seen.asked;
    EXPECT_TRUE(answered) << "the window did not answer within 1 s; the label last showed \""
                          << (seen.labels.empty() ? "" : seen.labels.back()) << "\"";
    if (!answered) break;
    const std::string label = window_text(path_label(window));
    if (seen.labels.empty() || seen.labels.back() != label) seen.labels.push_back(label);
    unsigned file = 0, files = 0, percent = 0;
    if (!called && read_progress(label, &file, &files, &percent) && percent >= 40) {
      called = true;
      mid_way();
    }
    for (HWND box : visible_dialogs(run.process_id())) {
      if (!looks_like_message_box(box)) continue;
      const std::string text = message_box_text(box);
      if (text == "Do you want to create Start Menu shortcuts?") {
        press_button(find_button(box, "&No"));
      } else if (text == "File already exists. Overwrite?") {
        press_button(find_button(box, "&Yes"));
      } else {
        seen.label_at_end = window_text(path_label(window));
        seen.final_text = text;
        press_button(find_button(box, "OK"));
      }
      // The box is gone before it is looked for again.
      wait_until([&] { return !IsWindow(box) || !IsWindowVisible(box); }, kWindowPatience);
    }
    Sleep(50);
  }
  // The progress went file by file and up the bytes, and was seen half-way, so the window answered
  // while the copy was under way and not only before or after it.
  unsigned last_file = 0, last_percent = 0;
  for (const std::string& label : seen.labels) {
    unsigned file = 0, files = 0, percent = 0;
    if (!read_progress(label, &file, &files, &percent)) continue;
    EXPECT_EQ(files, kFileCount) << label;
    EXPECT_GE(file, last_file) << label;
    EXPECT_GE(percent, last_percent) << label;
    if (percent > 0 && percent < 100) ++seen.under_way;
    last_file = file;
    last_percent = percent;
  }
  EXPECT_GE(seen.under_way, 5u) << "the copy was hardly watched: " << seen.labels.size() << " label texts";
  std::printf("[ figures  ] %u messages answered during the install, the slowest in %lu ms; %u progress texts seen\n",
              seen.asked, static_cast<unsigned long>(seen.slowest), seen.under_way);
  return seen;
}

// The player's own files of the add-on's first names, before the add-on replaces them.
constexpr std::uint32_t kOriginals = 6;
constexpr std::uint32_t kOriginalSeed = 100;  // their bytes are big_file_bytes(kOriginalSeed + k, ...)

void write_big_file(const fs::path& path, std::uint32_t seed) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary);
  for (std::uint32_t offset = 0; offset < kFileSize; offset += kMegabyte) out << big_file_bytes(seed, offset, kMegabyte);
}

// The first `count` big files in `folder`, whole, each of the bytes that `seed + k` makes.
void expect_big_files_in(const fs::path& folder, std::uint32_t count = kFileCount, std::uint32_t seed = 0) {
  for (std::uint32_t k = 0; k < count; ++k) {
    SCOPED_TRACE(big_file_name(k));
    const fs::path placed = folder / big_file_name(k).substr(9);
    ASSERT_TRUE(fs::exists(placed));
    ASSERT_EQ(fs::file_size(placed), kFileSize);
    std::ifstream in(placed, std::ios::binary);
    std::string first(kMegabyte, '\0'), last(kMegabyte, '\0');
    in.read(first.data(), kMegabyte);
    in.seekg(kFileSize - kMegabyte);
    in.read(last.data(), kMegabyte);
    EXPECT_TRUE(first == big_file_bytes(seed + k, 0, kMegabyte));
    EXPECT_TRUE(last == big_file_bytes(seed + k, kFileSize - kMegabyte, kMegabyte));
  }
}

TEST(LargeAddon, TheWindowAnswersAllThroughTheCopyAndItsProgressReachesTheEnd) {
  TempFolder games;
  const fs::path game = games.native() / "Big Game";
  const std::string game_path = games.path() + "Big Game\\";
  write_native_file(game / "dialog.tlk", kEmptyTalkTable);
  for (std::uint32_t k = 0; k < kOriginals; ++k) {
    write_big_file(game / "Override" / big_file_name(k).substr(9), kOriginalSeed + k);
  }

  InstallerRun run(write_large_installer);
  ASSERT_TRUE(run.started()) << "cannot write or start the large installer";
  HWND window = run.wait_for_shown_main_window();
  ASSERT_NE(window, nullptr) << "the main window was not shown";
  ASSERT_TRUE(choose_folder_in_browser(run, window, game_path));
  ASSERT_TRUE(wait_until([&] { return visible_dialogs(run.process_id()).empty(); }, kWindowPatience));

  // Over the player's originals of the first files, which are kept in the backup folder first (each
  // copied whole, 10 MB at a time); with a picture half-way when one is asked for.
  const char* picture = std::getenv("ZEP_WINDOW_PICTURE");
  bool pictured = false;
  WatchedImport first = watch_import(run, window, [&] {
    if (picture != nullptr) pictured = save_window_picture(window, picture);
  });
  ASSERT_EQ(first.final_text, "ZEP imported successfully!") << "after " << first.labels.size() << " label texts";
  if (picture != nullptr) {
    EXPECT_TRUE(pictured) << "no picture saved to " << picture;
  }
  // While the final message is up the label shows the last file and the whole; afterwards the game
  // folder again. Every file is there whole.
  const std::string end = "File " + std::to_string(kFileCount) + " of " + std::to_string(kFileCount) + ", 100%";
  EXPECT_EQ(first.label_at_end, end);
  ASSERT_TRUE(wait_until([&] { return window_text(path_label(window)) == game_path; }, kWindowPatience))
      << window_text(path_label(window));
  expect_big_files_in(game / "Override");
  expect_big_files_in(game / "Sample.zep-backup" / "Override", kOriginals, kOriginalSeed);

  // Again, over the first. Half-way, Import and Extract are pressed (and do nothing while the
  // command runs), and the window is asked to quit and to close: it stays until the command's end,
  // then closes.
  WatchedImport second = watch_import(run, window, [&] {
    press_button(import_button(window));
    press_button(main_window_control(window, 5));  // Extract, which would open the Save As dialog
    DWORD_PTR ignored = 0;
    SendMessageTimeoutW(window, WM_QUIT, 0, 0, SMTO_NORMAL, kAnswerWithin, &ignored);
    PostMessageA(window, WM_CLOSE, 0, 0);
    Sleep(200);
    EXPECT_TRUE(IsWindow(window)) << "closed during the copy";
    for (HWND dialog : visible_dialogs(run.process_id())) {
      EXPECT_TRUE(looks_like_message_box(dialog)) << "a press started a second command";
    }
  });
  EXPECT_EQ(second.final_text, "ZEP imported successfully!");
  EXPECT_EQ(second.label_at_end, end);
  EXPECT_EQ(run.program().wait_for_exit(kWindowPatience), 0) << "the window did not close after the command";
  EXPECT_FALSE(fs::exists(run.working_copy())) << "the working copy \"tmp\" was left behind";
  expect_big_files_in(game / "Override");
  expect_big_files_in(game / "Sample.zep-backup" / "Override", kOriginals, kOriginalSeed);
}

}  // namespace
}  // namespace zep::test
