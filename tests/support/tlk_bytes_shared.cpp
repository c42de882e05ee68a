#include <algorithm>

#include "tests/support/tlk_bytes.h"

namespace zep::test {

const std::string kEmptyTalkTable("TLK V1  \0\0\0\0\0\0\x12\0\0\0", 18);

std::string resref_field(const std::string& resref) {
  std::string field = resref.substr(0, 8);
  field.resize(8, '\0');
  return field;
}

std::string build_tlk(const std::vector<Line>& lines, std::uint16_t language, const std::string& tail,
                      const std::string& signature) {
  std::string bytes = signature.substr(0, 8);
  put_u16(bytes, language);
  put_u32(bytes, static_cast<std::uint32_t>(lines.size()));
  put_u32(bytes, static_cast<std::uint32_t>(18 + 26 * lines.size()));
  std::uint32_t offset = 0;
  for (const Line& line : lines) {
    put_u16(bytes, line.flags);
    bytes += resref_field(line.resref);
    put_u32(bytes, line.volume);
    put_u32(bytes, line.pitch);
    put_u32(bytes, offset);
    put_u32(bytes, static_cast<std::uint32_t>(line.text.size()));
    offset += static_cast<std::uint32_t>(line.text.size());
  }
  for (const Line& line : lines) bytes += line.text;
  return bytes + tail;
}

ParsedTable parse_tlk(const std::string& bytes) {
  ParsedTable table;
  if (bytes.size() < 18) return table;
  table.signature_and_version = bytes.substr(0, 8);
  table.language = u16_at(bytes, 8);
  table.count = u32_at(bytes, 10);
  table.string_data_offset = u32_at(bytes, 14);
  if (table.string_data_offset != 18 + 26ull * table.count || table.string_data_offset > bytes.size()) return table;
  for (std::uint32_t i = 0; i < table.count; ++i) {
    std::size_t at = 18 + 26 * static_cast<std::size_t>(i);
    ParsedEntry entry;
    entry.flags = u16_at(bytes, at);
    entry.resref = bytes.substr(at + 2, 8);
    entry.volume = u32_at(bytes, at + 10);
    entry.pitch = u32_at(bytes, at + 14);
    entry.offset = u32_at(bytes, at + 18);
    entry.length = u32_at(bytes, at + 22);
    table.entries.push_back(entry);
  }
  table.strings = bytes.substr(table.string_data_offset);
  for (const ParsedEntry& entry : table.entries) {
    if (static_cast<std::uint64_t>(entry.offset) + entry.length > table.strings.size()) return table;
  }
  table.sound = true;
  return table;
}

std::string tidied(const std::string& resref) {
  std::string field = resref_field(resref);
  std::size_t end = field.find('\0');
  if (end != std::string::npos) std::fill(field.begin() + static_cast<std::ptrdiff_t>(end), field.end(), '\0');
  return field;
}

}  // namespace zep::test
