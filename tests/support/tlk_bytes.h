// Talk table files for tests, written and read field by field with the standard library,
// independently of dialog/talk_table.cpp, so that each checks the other.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/byte_fields.h"

namespace zep::test {

// A TLK V1 file with no entries, its string data right after the header.
extern const std::string kEmptyTalkTable;

// One entry as a test describes it; `resref` is padded with zeros to 8 bytes when written.
struct Line {
  std::uint16_t flags = 1;
  std::string resref;
  std::uint32_t volume = 0;
  std::uint32_t pitch = 0;
  std::string text;
};

// `resref` cut or padded with zeros to its 8 bytes.
std::string resref_field(const std::string& resref);

// A TLK V1 file of `lines` with their texts back to back in entry order, then `tail` (bytes no entry
// points at).
std::string build_tlk(const std::vector<Line>& lines, std::uint16_t language = 0, const std::string& tail = "",
                      const std::string& signature = "TLK V1  ");

// A talk table file taken apart field by field. `sound` is false when the file does not hold what
// its header says.
struct ParsedEntry {
  std::uint16_t flags = 0;
  std::string resref;  // all 8 bytes
  std::uint32_t volume = 0;
  std::uint32_t pitch = 0;
  std::uint32_t offset = 0;
  std::uint32_t length = 0;
};

struct ParsedTable {
  bool sound = false;
  std::string signature_and_version;  // the first 8 bytes
  std::uint16_t language = 0;
  std::uint32_t count = 0;
  std::uint32_t string_data_offset = 0;
  std::vector<ParsedEntry> entries;
  std::string strings;  // from the string data offset to the end

  std::string text(std::size_t index) const { return strings.substr(entries[index].offset, entries[index].length); }
};

ParsedTable parse_tlk(const std::string& bytes);

// The resref as a grown table keeps it: the bytes up to the first zero, then zeros.
std::string tidied(const std::string& resref);

}  // namespace zep::test
