#include "tests/support/spk_bytes.h"

#include "tests/support/archive_builder.h"

namespace zep::test {
namespace {

void put(std::string& out, std::uint32_t value) {
  out.resize(out.size() + 4);
  put_u32_at(out, out.size() - 4, value);
}

std::string padded(const std::string& text, std::size_t width) {
  std::string field = text.substr(0, width);
  field.resize(width, '\0');
  return field;
}

}  // namespace

std::string build_spk4(const std::string& resource_name, const std::string& resource,
                       const std::vector<SpkText>& texts) {
  std::uint32_t references = 0;
  for (const SpkText& text : texts) references += static_cast<std::uint32_t>(text.positions.size());
  const std::uint32_t entry_table = 60;
  const std::uint32_t reference_table = entry_table + 50 * static_cast<std::uint32_t>(texts.size());
  const std::uint32_t resource_offset = reference_table + 4 * references;
  const std::uint32_t text_base = resource_offset + static_cast<std::uint32_t>(resource.size());
  std::string out = "SPK4";
  put(out, 0);
  out += padded(resource_name, 12);
  put(out, resource_offset);
  put(out, static_cast<std::uint32_t>(resource.size()));
  put(out, 0);
  put(out, text_base);
  put(out, static_cast<std::uint32_t>(texts.size()));
  put(out, entry_table);
  put(out, references);
  put(out, reference_table);
  put(out, 0);
  put(out, resource_offset);
  std::uint32_t text_offset = 0, first = 0;
  for (const SpkText& text : texts) {
    put(out, text_offset);
    put(out, static_cast<std::uint32_t>(text.text.size()));
    out += padded(text.sound, 8);
    put(out, text.volume);
    put(out, text.pitch);
    out += static_cast<char>(text.flags & 0xFF);
    out += static_cast<char>(text.flags >> 8);
    put(out, first);
    put(out, static_cast<std::uint32_t>(text.positions.size()));
    out += std::string(16, '\0');
    text_offset += static_cast<std::uint32_t>(text.text.size());
    first += static_cast<std::uint32_t>(text.positions.size());
  }
  for (const SpkText& text : texts) {
    for (std::uint32_t position : text.positions) put(out, position);
  }
  out += resource;
  for (const SpkText& text : texts) out += text.text;
  return out;
}

std::string build_spk3(const std::string& resource_name, const std::string& resource,
                       const std::vector<SpkText>& texts) {
  const std::uint32_t entry_table = 44;
  const std::uint32_t resource_offset = entry_table + 20 * static_cast<std::uint32_t>(texts.size());
  const std::uint32_t text_base = resource_offset + static_cast<std::uint32_t>(resource.size());
  std::string out = "SPK3";
  put(out, 0);
  out += padded(resource_name, 12);
  put(out, resource_offset);
  put(out, static_cast<std::uint32_t>(resource.size()));
  put(out, 0);
  put(out, text_base);
  put(out, static_cast<std::uint32_t>(texts.size()));
  put(out, entry_table);
  std::uint32_t text_offset = 0;
  for (const SpkText& text : texts) {
    put(out, text_offset);
    put(out, static_cast<std::uint32_t>(text.text.size()));
    put(out, text.positions.empty() ? 0xFFFFFFFFu : text.positions[0]);
    out += padded(text.sound, 8);
    text_offset += static_cast<std::uint32_t>(text.text.size());
  }
  out += resource;
  for (const SpkText& text : texts) out += text.text;
  return out;
}

}  // namespace zep::test
