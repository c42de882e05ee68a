// Times an installation's texts going into an Enhanced Edition of 15 languages through the real
// GameTalkTables on the host platform layer: each lang\<locale>\dialog.tlk of 100,000 entries (about
// 12.6 MB, texts of 50 to 150 bytes), found and checked (load), 20 texts appended, every table grown
// and put in place (save). Beside it, the least any installation must do: copy each of the 15 files
// once and flush the copy to the disk, as the save flushes each grown table before it replaces the
// original. It also reports the process's peak memory, to show that one table at a time is in memory.
//
//   enhanced_tables_bench [FOLDER]
// works in FOLDER (default: a fresh folder in the system's temporary folder, removed afterwards).
// Each time is the median of several runs. The tables grow by the 20 texts at each run, which is
// 0.02% of their size.
#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "install/game_talk_tables.h"
#include "bench/large_tables.h"
#include "platform/platform.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kRuns = 5;
constexpr std::uint32_t kEntries = 100000;
constexpr std::uint32_t kAppends = 20;
const char* const kLocales[] = {"en_US", "de_DE", "fr_FR", "es_ES", "it_IT", "pl_PL", "ru_RU", "cs_CZ",
                                "tr_TR", "uk_UA", "hu_HU", "pt_BR", "ja_JP", "ko_KR", "zh_CN"};

using bench::build_tlk;
using bench::text_length;

double milliseconds(Clock::duration duration) { return std::chrono::duration<double, std::milli>(duration).count(); }

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

// A field of /proc/self/status in kB ("VmHWM", "VmRSS"), or -1.
long status_kb(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field + ":", 0) == 0) return std::stol(line.substr(field.size() + 1));
  }
  return -1;
}

// Starts the resident set's high-water mark (VmHWM) afresh at the present size; false when the
// system does not let it.
bool reset_peak_resident() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  clear.close();
  return static_cast<bool>(clear);
}

// Copies each table beside itself and flushes the copy, as a save flushes each grown table.
bool copy_and_flush(const std::string& game_path) {
  for (const char* locale : kLocales) {
    const std::string table = game_path + "lang\\" + locale + "\\dialog.tlk";
    const std::string copy = game_path + "lang\\" + locale + "\\copy.tlk";
    bool done = zep::copy_file(table.c_str(), copy.c_str());
    zep::FileRef file = done ? zep::open_for_reading(copy.c_str()) : nullptr;
    done = file != nullptr && zep::flush_file(file);
    zep::close_file(file);
    if (!done) {
      std::fprintf(stderr, "copying and flushing %s failed: %u\n", table.c_str(), zep::last_error());
      return false;
    }
  }
  return true;
}

struct Install {
  double load = 0, append = 0, save = 0;
  double total() const { return load + append + save; }
};

// One installation's texts into every table. Returns false when anything failed (reported on stderr).
bool install(const std::string& game_path, const std::string& texts, Install* times) {
  zep::GameTalkTables tables;
  const Clock::time_point start = Clock::now();
  if (!tables.load(game_path.c_str(), nullptr)) return false;
  const Clock::time_point loaded = Clock::now();
  const std::uint32_t first = tables.next_strref();
  std::size_t at = 0;
  for (std::uint32_t i = 0; i < kAppends; ++i) {
    const std::uint32_t length = text_length(kEntries + i);
    const zep::u8 resref[8] = {'N', 'E', 'W', 0, 0, 0, 0, 0};
    if (tables.append(texts.data() + at, length, 1, resref, 0, 0) != first + i) {
      std::fprintf(stderr, "append %u refused\n", i);
      return false;
    }
    at += length;
  }
  const Clock::time_point appended = Clock::now();
  if (!tables.save(game_path.c_str(), nullptr)) return false;
  const Clock::time_point saved = Clock::now();
  *times = {milliseconds(loaded - start), milliseconds(appended - loaded), milliseconds(saved - appended)};
  return true;
}

bool measure(const fs::path& folder) {
  const std::string game_path = folder.string() + "/";
  std::uintmax_t size = 0;
  {
    const std::string original = build_tlk(kEntries);
    size = original.size();
    for (const char* locale : kLocales) {
      fs::create_directories(folder / "lang" / locale);
      std::ofstream out(folder / "lang" / locale / "dialog.tlk", std::ios::binary | std::ios::trunc);
      out.write(original.data(), static_cast<std::streamsize>(original.size()));
    }
  }  // the builder's 12.6 MB released before anything is measured
  std::string texts;
  std::uint32_t grown = 0;  // bytes each table grows by at each installation
  for (std::uint32_t i = 0; i < kAppends; ++i) {
    texts += std::string(text_length(kEntries + i), 'n');
    grown += 26 + text_length(kEntries + i);
  }
  std::printf("%zu tables of %u entries, %.1f MB each (%.0f MB in all), in %s\n", std::size(kLocales), kEntries,
              static_cast<double>(size) / 1e6, static_cast<double>(size) * std::size(kLocales) / 1e6,
              folder.string().c_str());

  std::vector<double> copies, loads, appends, saves, totals;
  for (int run = 0; run < kRuns; ++run) {
    Clock::time_point start = Clock::now();
    if (!copy_and_flush(game_path)) return false;
    copies.push_back(milliseconds(Clock::now() - start));
    for (const char* locale : kLocales) fs::remove(folder / "lang" / locale / "copy.tlk");

    Install times;
    if (!install(game_path, texts, &times)) {
      std::fprintf(stderr, "the installation failed (see the message above)\n");
      return false;
    }
    loads.push_back(times.load);
    appends.push_back(times.append);
    saves.push_back(times.save);
    totals.push_back(times.total());
    size += grown;
    for (const char* locale : kLocales) {
      if (fs::file_size(folder / "lang" / locale / "dialog.tlk") != size) {
        std::fprintf(stderr, "lang/%s/dialog.tlk is not %ju bytes\n", locale, size);
        return false;
      }
    }
  }

  const double total = median(totals);
  const double copy = median(copies);
  std::printf("installation (median of %d): %.0f ms: load (find and check) %.0f ms, %u appends %.2f ms, "
              "save (grow, write, flush, put in place) %.0f ms\n",
              kRuns, total, median(loads), kAppends, median(appends), median(saves));
  std::printf("copy and flush of each of the %zu tables once (median of %d): %.0f ms\n", std::size(kLocales), kRuns,
              copy);
  std::printf("ratio: %.2f\n", total / copy);

  // One more installation, untimed, for its memory: every block of 64 KiB or more mapped on its own
  // and returned when freed, so that the resident set follows the blocks in use rather than what the
  // allocator keeps of earlier runs; then the resident high-water mark over the installation alone.
  mallopt(M_MMAP_THRESHOLD, 64 * 1024);
  mallopt(M_TRIM_THRESHOLD, 64 * 1024);
  malloc_trim(0);
  const long before_kb = status_kb("VmRSS");
  Install ignored;
  if (reset_peak_resident()) {
    if (!install(game_path, texts, &ignored)) return false;
    const long peak_kb = status_kb("VmHWM");
    std::printf("peak resident memory of an installation (VmHWM, reset before it): %.1f MB above the %.1f MB "
                "resident before it\n",
                (peak_kb - before_kb) / 1024.0, before_kb / 1024.0);
  }
  rusage usage = {};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("peak resident memory of the whole process (ru_maxrss, with the benchmark's own 12.6 MB table "
              "builder): %.1f MB\n",
              usage.ru_maxrss / 1024.0);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const bool own_folder = argc < 2;
  const fs::path folder =
      own_folder ? fs::temp_directory_path() /
                       ("zep-enhanced-tables-bench-" + std::to_string(Clock::now().time_since_epoch().count()))
                 : fs::path(argv[1]);
  fs::create_directories(folder);
  const bool ok = measure(folder);
  if (!ok) std::fprintf(stderr, "the benchmark failed\n");
  if (own_folder) fs::remove_all(folder);
  return ok ? 0 : 1;
}
