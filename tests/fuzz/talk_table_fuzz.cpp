// Fuzz target: a dialog.tlk of any content checked without its texts, loaded, padded by up to three
// empty entries and grown by one text collected on its own, and saved. The check and the load must
// agree; a table that loads must save to a file that loads again with the same entries, the padding
// and the one new text at the end.
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
  const std::string path = root + "dialog.tlk";
  TalkTable checked;
  const TalkLoad check = read_talk_table(&checked, path.c_str(), nullptr, false);
  TalkTable table;
  if (!load_talk_table(&table, root.c_str(), nullptr)) {
    if (check == TalkLoad::kLoaded) abort();
    return 0;
  }
  const u32 count = table.entry_count();
  if (check != TalkLoad::kLoaded || checked.entry_count() != count) abort();
  const u32 strings = table.total_string_size();
  const u32 padding = size > 0 ? data[size - 1] % 4 : 0;
  TalkTable additions;
  start_talk_table(&additions);
  if (append_string(&additions, "new text", 8, 1, nullptr, 0, 0) != 0) abort();
  if (!append_table(&table, additions, count + padding)) return 0;
  if (table.entry_count() != count + padding + 1) abort();
  if (!save_talk_table(&table, root.c_str(), nullptr)) abort();

  TalkTable again;
  if (!load_talk_table(&again, root.c_str(), nullptr)) abort();
  if (again.entry_count() != count + padding + 1 || again.total_string_size() != strings + 8) abort();
  for (u32 i = count; i < count + padding; ++i) {
    if (again.entry(i).string_length != 0 || again.entry(i).flags != 0) abort();
  }
  const TalkEntry& added = again.entry(count + padding);
  if (added.string_offset != strings || added.string_length != 8 || added.flags != 1) abort();
  if (host::open_file_count() != 0) abort();
  return 0;
}
