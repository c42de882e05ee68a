// Times the talk table on a large dialog.tlk through the host platform layer: load, appends, save,
// beside one plain copy of the same file (copy_file), for two sizes a tenfold apart, so that both the
// cost against a copy and the growth with the table's size can be read off. A save forces its file to
// the disk before it replaces dialog.tlk and a plain copy does not, so the copy is also timed with the
// same flush after it.
//
//   talk_table_bench [FOLDER]
// works in FOLDER (default: a fresh folder in the system's temporary folder, removed afterwards).
// Each figure is the median of several runs.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "dialog/talk_table.h"
#include "platform/host_platform.h"
#include "bench/large_tables.h"
#include "platform/platform.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kRuns = 5;

using bench::build_tlk;
using bench::text_length;

void write_file_whole(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

double milliseconds(Clock::duration duration) { return std::chrono::duration<double, std::milli>(duration).count(); }

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

struct Figures {
  double copy = 0, flushed_copy = 0, load = 0, append = 0, save = 0;
  double total() const { return load + append + save; }
};

// Returns false when anything failed (reported on stderr).
bool measure(const fs::path& folder, std::uint32_t count, std::uint32_t appends, Figures* figures) {
  const std::string game_path = folder.string() + "/";
  const fs::path tlk = folder / "dialog.tlk";
  const std::string original = build_tlk(count);
  std::string texts;
  for (std::uint32_t i = 0; i < appends; ++i) texts += std::string(text_length(i + count), 'n');

  std::vector<double> copies, flushed_copies, loads, grows, saves;
  for (int run = 0; run < kRuns; ++run) {
    write_file_whole(tlk, original);
    const std::string copy = game_path + "copy.tlk";
    Clock::time_point start = Clock::now();
    if (!zep::copy_file((game_path + "dialog.tlk").c_str(), copy.c_str())) {
      std::fprintf(stderr, "copy_file failed: %u\n", zep::last_error());
      return false;
    }
    copies.push_back(milliseconds(Clock::now() - start));
    fs::remove(copy);
    start = Clock::now();
    bool flushed = zep::copy_file((game_path + "dialog.tlk").c_str(), copy.c_str());
    zep::FileRef file = flushed ? zep::open_for_reading(copy.c_str()) : nullptr;
    flushed = file != nullptr && zep::flush_file(file);
    zep::close_file(file);
    if (!flushed) {
      std::fprintf(stderr, "copy and flush failed: %u\n", zep::last_error());
      return false;
    }
    flushed_copies.push_back(milliseconds(Clock::now() - start));
    fs::remove(copy);

    zep::TalkTable table;
    start = Clock::now();
    if (!zep::load_talk_table(&table, game_path.c_str(), nullptr)) return false;
    Clock::time_point loaded = Clock::now();
    std::size_t at = 0;
    for (std::uint32_t i = 0; i < appends; ++i) {
      const std::uint32_t length = text_length(i + count);
      const zep::u8 resref[8] = {'N', 'E', 'W', 0, 0, 0, 0, 0};
      if (zep::append_string(&table, texts.data() + at, length, 1, resref, 0, 0) != count + i) {
        std::fprintf(stderr, "append %u refused\n", i);
        return false;
      }
      at += length;
    }
    Clock::time_point grown = Clock::now();
    if (!zep::save_talk_table(&table, game_path.c_str(), nullptr)) return false;
    Clock::time_point saved = Clock::now();
    loads.push_back(milliseconds(loaded - start));
    grows.push_back(milliseconds(grown - loaded));
    saves.push_back(milliseconds(saved - grown));

    const std::uintmax_t expected = original.size() + 26ull * appends + texts.size();
    if (fs::file_size(tlk) != expected) {
      std::fprintf(stderr, "saved %ju bytes, expected %ju\n", static_cast<std::uintmax_t>(fs::file_size(tlk)),
                   expected);
      return false;
    }
  }
  figures->copy = median(copies);
  figures->flushed_copy = median(flushed_copies);
  figures->load = median(loads);
  figures->append = median(grows);
  figures->save = median(saves);
  std::printf("%7u entries, %4.1f MB: load %6.2f ms, %5u appends %6.2f ms, save %6.2f ms, total %6.2f ms\n"
              "        copy_file %6.2f ms: ratio %.2f; copy_file and flush %6.2f ms: ratio %.2f\n",
              count, static_cast<double>(original.size()) / 1e6, figures->load, appends, figures->append,
              figures->save, figures->total(), figures->copy, figures->total() / figures->copy,
              figures->flushed_copy, figures->total() / figures->flushed_copy);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const bool own_folder = argc < 2;
  fs::path folder = own_folder ? fs::temp_directory_path() / ("zep-talk-table-bench-" +
                                                              std::to_string(Clock::now().time_since_epoch().count()))
                               : fs::path(argv[1]);
  fs::create_directories(folder);
  std::printf("talk table in %s (median of %d runs; save includes flushing the file and its folder)\n",
              folder.string().c_str(), kRuns);
  Figures small, large;
  bool ok = measure(folder, 10000, 1000, &small) && measure(folder, 100000, 10000, &large);
  if (ok) {
    std::printf("growth for ten times the table: %.1fx (copy %.1fx); goal: within 3x the copy, about 10x growth\n",
                large.total() / small.total(), large.copy / small.copy);
  } else {
    std::fprintf(stderr, "the benchmark failed\n");
  }
  if (own_folder) fs::remove_all(folder);
  return ok ? 0 : 1;
}
