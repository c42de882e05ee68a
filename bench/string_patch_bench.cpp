// Times the check and the strref writes of string patch files whose texts' position ranges all
// overlap (every text names the whole reference table, the case in which writing them one by one
// takes texts x positions), and zep inspect on the same files, for two sizes a tenfold apart, so
// that the growth with the file's size can be read off.
//
//   string_patch_bench
// Each figure is the median of several runs.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "dialog/string_patch.h"
#include "tools/commands.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kRuns = 5;

void put_u32(std::string& bytes, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) bytes += static_cast<char>((value >> shift) & 0xFF);
}

// An SPK4 file of about `size` bytes: half of it the reference table, half the texts' entries, every
// text naming the whole table; a resource of 4 KiB.
std::string build_spk4(std::size_t size) {
  const std::uint32_t references = static_cast<std::uint32_t>(size / 2 / 4);
  const std::uint32_t texts = static_cast<std::uint32_t>(size / 2 / 50);
  const std::uint32_t resource_length = 4096;
  const std::uint32_t entry_table = 60, reference_table = entry_table + 50 * texts;
  const std::uint32_t resource = reference_table + 4 * references;
  std::string spk = "SPK4";
  put_u32(spk, 0);
  spk += std::string("BIG.itm\0\0\0\0\0", 12);
  for (std::uint32_t value : {resource, resource_length, 0u, resource + resource_length, texts, entry_table,
                              references, reference_table, 0u, resource}) {
    put_u32(spk, value);
  }
  for (std::uint32_t i = 0; i < texts; ++i) {
    put_u32(spk, 0);
    put_u32(spk, 0);  // empty texts: only the positions matter here
    spk += std::string(16, '\0');
    spk += std::string("\1\0", 2);
    put_u32(spk, 0);
    put_u32(spk, references);
    spk += std::string(16, '\0');
  }
  for (std::uint32_t j = 0; j < references; ++j) put_u32(spk, (j * 4) % (resource_length - 3));
  spk += std::string(resource_length, '\0');
  return spk;
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main() {
  for (std::size_t size : {std::size_t{3} << 20, std::size_t{30} << 20}) {
    const std::string spk = build_spk4(size);
    const auto* bytes = reinterpret_cast<const zep::u8*>(spk.data());
    std::vector<double> check, write, inspect;
    std::string resource(4096, '\0');
    for (int run = 0; run < kRuns; ++run) {
      zep::StringPatch patch;
      auto start = Clock::now();
      const char* problem = zep::read_string_patch(bytes, static_cast<zep::u32>(spk.size()), 4, &patch);
      auto checked = Clock::now();
      if (problem != nullptr) {
        std::printf("refused: %s\n", problem);
        return 1;
      }
      zep::write_strrefs(patch, 1000, reinterpret_cast<zep::u8*>(resource.data()));
      auto written = Clock::now();
      check.push_back(std::chrono::duration<double, std::milli>(checked - start).count());
      write.push_back(std::chrono::duration<double, std::milli>(written - checked).count());
    }
    const std::string path = "/tmp/zep-string-patch-bench.spk";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    std::fwrite(spk.data(), 1, spk.size(), file);
    std::fclose(file);
    for (int run = 0; run < 3; ++run) {
      std::ostringstream out, err;
      auto start = Clock::now();
      zep::tool::run_inspect({path}, out, err);
      inspect.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    std::remove(path.c_str());
    const std::size_t texts = size / 2 / 50, references = size / 2 / 4;
    std::printf("%5.1f MiB, %zu texts x %zu positions each: check %.1f ms, strrefs written %.1f ms, zep inspect %.0f ms\n",
                spk.size() / 1048576.0, texts, references, median(check), median(write), median(inspect));
  }
  return 0;
}
