#include "tools/spk_writer.h"

#include <algorithm>

#include "archive/names.h"

namespace zep::tool {
namespace {

bool is_plain_ascii(const std::string& text) {
  for (char c : text) {
    u8 byte = static_cast<u8>(c);
    if (byte < 0x20 || byte >= 0x7f) return false;
  }
  return true;
}

std::string check_sound(const std::string& sound) {
  if (sound.size() > kResrefWidth) {
    return "the sound resref \"" + printable(sound) + "\" is longer than 8 characters";
  }
  for (char c : sound) {
    u8 byte = static_cast<u8>(c);
    if (byte <= 0x20 || byte >= 0x7f) {
      return "the sound resref \"" + printable(sound) + "\" holds a blank or a byte outside printable ASCII";
    }
  }
  return {};
}

std::string check_positions(const StringPatch& patch) {
  struct Use {
    u32 position;
    std::size_t text;
  };
  std::vector<Use> uses;
  for (std::size_t t = 0; t < patch.texts.size(); ++t) {
    for (u32 position : patch.texts[t].positions) {
      if (!fits(position, kStrrefLength, patch.resource.size())) {
        return describe_position(t, position) + " is not inside the " + number(patch.resource.size()) +
               "-byte resource (a strref takes 4 bytes)";
      }
      uses.push_back({position, t});
    }
  }
  std::stable_sort(uses.begin(), uses.end(), [](const Use& a, const Use& b) { return a.position < b.position; });
  for (std::size_t i = 1; i < uses.size(); ++i) {
    const Use& before = uses[i - 1];
    const Use& after = uses[i];
    if (after.position == before.position) {
      return "position " + hex_number(after.position) + " is given twice (texts " + number(before.text) + " and " +
             number(after.text) + "); only the later strref would stay";
    }
    if (after.position < before.position + kStrrefLength) {
      return describe_position(after.text, after.position) + " overlaps " + describe_position(before.text, before.position) +
             " (a strref takes 4 bytes)";
    }
  }
  return {};
}

}  // namespace

std::string describe_position(std::size_t text_index, u32 position) {
  return "text " + number(text_index) + "'s position " + hex_number(position);
}

std::string check_resource_name(const std::string& name) {
  if (name.empty()) return "the resource name is empty";
  if (name.size() > kResourceNameWidth) {
    return "the resource name \"" + printable(name) + "\" is longer than 12 characters";
  }
  if (!is_plain_ascii(name)) {
    return "the resource name \"" + printable(name) + "\" holds a byte outside printable ASCII";
  }
  if (name.find('\\') != std::string::npos) {
    return "the resource name \"" + name + "\" holds a backslash; it must be a plain file name";
  }
  NameProblem problem = check_relative_name(name.data(), static_cast<u32>(name.size()));
  if (problem != NameProblem::kNameOk) {
    return "the resource name \"" + name + "\" is refused: " + describe_name_problem(problem);
  }
  return {};
}

std::string check_string_patch(const StringPatch& patch) {
  std::string problem = check_resource_name(patch.resource_name);
  if (!problem.empty()) return problem;
  if (patch.resource.empty()) return "the resource is empty";
  for (std::size_t t = 0; t < patch.texts.size(); ++t) {
    problem = check_sound(patch.texts[t].sound);
    if (!problem.empty()) return "text " + number(t) + ": " + problem;
  }
  problem = check_positions(patch);
  if (!problem.empty()) return problem;

  u64 length = kSpk4HeaderLength + u64{kSpk4EntryLength} * patch.texts.size() + patch.resource.size();
  for (const PatchText& text : patch.texts) length += u64{kStrrefLength} * text.positions.size() + text.text.size();
  if (length > 0xFFFFFFFFu) return "the string patch file would be " + number(length) + " bytes, more than 4 GiB - 1";
  return {};
}

bool build_spk4(const StringPatch& patch, std::vector<u8>& out, std::string& error) {
  error = check_string_patch(patch);
  if (!error.empty()) return false;

  u32 text_count = static_cast<u32>(patch.texts.size());
  u32 reference_count = 0;
  for (const PatchText& text : patch.texts) reference_count += static_cast<u32>(text.positions.size());
  u32 entry_table = kSpk4HeaderLength;
  u32 reference_table = entry_table + kSpk4EntryLength * text_count;
  u32 resource_offset = reference_table + kStrrefLength * reference_count;
  u32 resource_length = static_cast<u32>(patch.resource.size());
  u32 text_base = resource_offset + resource_length;

  std::vector<u8> bytes;
  put_bytes(bytes, "SPK4", 4);
  put_u32(bytes, 0);
  put_padded(bytes, patch.resource_name, kResourceNameWidth);
  put_u32(bytes, resource_offset);
  put_u32(bytes, resource_length);
  put_u32(bytes, 0);
  put_u32(bytes, text_base);
  put_u32(bytes, text_count);
  put_u32(bytes, entry_table);
  put_u32(bytes, reference_count);
  put_u32(bytes, reference_table);
  put_u32(bytes, 0);                // no further table ...
  put_u32(bytes, resource_offset);  // ... which would stand where the resource begins

  u32 text_offset = 0;
  u32 first_reference = 0;
  for (const PatchText& text : patch.texts) {
    u32 positions = static_cast<u32>(text.positions.size());
    put_u32(bytes, text_offset);
    put_u32(bytes, static_cast<u32>(text.text.size()));
    put_padded(bytes, text.sound, kResrefWidth);
    put_u32(bytes, text.volume_variance);
    put_u32(bytes, text.pitch_variance);
    put_u16(bytes, text.flags);
    put_u32(bytes, first_reference);
    put_u32(bytes, positions);
    for (int i = 0; i < 4; ++i) put_u32(bytes, 0);
    text_offset += static_cast<u32>(text.text.size());
    first_reference += positions;
  }
  for (const PatchText& text : patch.texts) {
    for (u32 position : text.positions) put_u32(bytes, position);
  }
  put_bytes(bytes, patch.resource.data(), patch.resource.size());
  for (const PatchText& text : patch.texts) put_bytes(bytes, text.text.data(), text.text.size());

  out = std::move(bytes);
  return true;
}

}  // namespace zep::tool
