// Fuzz target: a dialog.tlk of any content loaded, grown by one text and saved. A table that loads
// must save to a file that loads again with the same entries and the one new text at the end.
#include <cstdint>
#include <cstring>

#include "dialog/talk_table.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace zep;
  const std::string& root = fuzz::private_folder();
  static const bool ready = [&] {
    host::confine_changes_to(root);
    fuzz::answer_messages(kIdNo);
    return true;
  }();
  (void)ready;
  fuzz::write_file(root + "dialog.tlk", data, size);
  TalkTable table;
  if (!load_talk_table(&table, root.c_str(), nullptr)) return 0;
  const u32 count = table.entry_count();
  const u32 strings = table.total_string_size();
  const u32 strref = append_string(&table, "new text", 8, 1, nullptr, 0, 0);
  if (strref == kAppendRefused) return 0;
  if (strref != count) abort();
  if (!save_talk_table(&table, root.c_str(), nullptr)) abort();

  TalkTable again;
  if (!load_talk_table(&again, root.c_str(), nullptr)) abort();
  if (again.entry_count() != count + 1 || again.total_string_size() != strings + 8) abort();
  const TalkEntry& added = again.entry(count);
  if (added.string_offset != strings || added.string_length != 8) abort();
  if (host::open_file_count() != 0) abort();
  return 0;
}
