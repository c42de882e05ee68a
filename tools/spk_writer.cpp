#include "tools/spk_writer.h"

#include <algorithm>
#include <cstdio>

#include "archive/names.h"

namespace zep::tool {
namespace {

std::string hex(u64 value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
  return text;
}

std::string number(u64 value) { return std::to_string(value); }

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

// A position as a text for messages: "text 2's position 0x50".
std::string where(std::size_t text_index, u32 position) {
  return "text " + number(text_index) + "'s position " + hex(position);
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
        return where(t, position) + " is not inside the " + number(patch.resource.size()) +
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
      return "position " + hex(after.position) + " is given twice (texts " + number(before.text) + " and " +
             number(after.text) + "); only the later strref would stay";
    }
    if (after.position < before.position + kStrrefLength) {
      return where(after.text, after.position) + " overlaps " + where(before.text, before.position) +
             " (a strref takes 4 bytes)";
    }
  }
  return {};
}

}  // namespace

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

namespace {

// Reads the u32 fields of a header that follow one another, starting at `offset` of `header`.
u32 field(const std::vector<u8>& header, std::size_t offset) { return get_u32(header.data() + offset); }

void read_entries(ByteSource& source, SpkFile& spk, const std::vector<u32>& references, bool with_texts) {
  u32 entry_length = spk.version == 4 ? kSpk4EntryLength : kSpk3EntryLength;
  u64 table_length = u64{entry_length} * spk.entry_count;
  u32 readable = spk.entry_count;
  if (!fits(spk.entry_table, table_length, source.size())) {
    spk.problems.push_back("the string entry table (" + number(spk.entry_count) + " entries of " +
                           number(entry_length) + " bytes at " + number(spk.entry_table) +
                           ") leaves the " + number(source.size()) + "-byte file");
    readable = spk.entry_table >= source.size()
                   ? 0
                   : static_cast<u32>((source.size() - spk.entry_table) / entry_length);
  }
  bool resource_readable = fits(spk.resource_offset, spk.resource_length, source.size());
  std::vector<u8> entry;
  for (u32 i = 0; i < readable; ++i) {
    if (!source.read_bytes(spk.entry_table + u64{entry_length} * i, entry_length, entry)) {
      spk.problems.push_back("string entry " + number(i) + " cannot be read");
      break;
    }
    SpkText text;
    text.text_offset = get_u32(&entry[0]);
    text.text_length = get_u32(&entry[4]);
    const u8* sound = spk.version == 4 ? &entry[8] : &entry[12];
    std::size_t sound_length = 0;
    while (sound_length < kResrefWidth && sound[sound_length] != 0) ++sound_length;
    text.sound.assign(reinterpret_cast<const char*>(sound), sound_length);
    if (spk.version == 4) {
      text.volume_variance = get_u32(&entry[16]);
      text.pitch_variance = get_u32(&entry[20]);
      text.flags = get_u16(&entry[24]);
      text.first_reference = get_u32(&entry[26]);
      text.reference_count = get_u32(&entry[30]);
      if (!fits(text.first_reference, text.reference_count, references.size())) {
        spk.problems.push_back("text " + number(i) + "'s references " + number(text.first_reference) + " + " +
                               number(text.reference_count) + " leave the reference table of " +
                               number(references.size()) + " values");
      } else {
        text.positions.assign(references.begin() + text.first_reference,
                              references.begin() + text.first_reference + text.reference_count);
      }
    } else {
      u32 position = get_u32(&entry[8]);
      text.first_reference = 0;
      text.reference_count = position == kNoPosition ? 0 : 1;
      if (position != kNoPosition) text.positions.push_back(position);
    }
    for (u32 position : text.positions) {
      if (resource_readable && !fits(position, kStrrefLength, spk.resource_length)) {
        spk.problems.push_back(where(i, position) + " is not inside the " + number(spk.resource_length) +
                               "-byte resource");
      }
    }
    u64 text_start = u64{spk.text_base} + text.text_offset;
    if (!fits(text_start, text.text_length, source.size())) {
      spk.problems.push_back("text " + number(i) + " (" + number(text.text_length) + " bytes at " +
                             number(text_start) + ") leaves the " + number(source.size()) + "-byte file");
    } else if (with_texts) {
      std::vector<u8> bytes;
      if (source.read_bytes(text_start, text.text_length, bytes)) {
        text.text.assign(bytes.begin(), bytes.end());
      } else {
        spk.problems.push_back("text " + number(i) + " cannot be read");
      }
    }
    spk.texts.push_back(std::move(text));
  }
}

}  // namespace

SpkFile read_string_patch(ByteSource& source, bool with_texts) {
  SpkFile spk;
  std::vector<u8> bytes;
  std::size_t magic_length = source.size() < 4 ? static_cast<std::size_t>(source.size()) : 4;
  if (!source.read_bytes(0, magic_length, bytes)) {
    spk.problems.push_back("the file cannot be read");
    return spk;
  }
  spk.magic.assign(bytes.begin(), bytes.end());
  if (magic_length < 4) {
    spk.problems.push_back("the file is " + number(source.size()) + " bytes, too short for a magic");
    return spk;
  }
  if (spk.magic == "SPK3") {
    spk.version = 3;
  } else if (spk.magic == "SPK4") {
    spk.version = 4;
  } else if (spk.magic == "SPKN") {
    spk.problems.push_back("the magic is SPKN, which the installer refuses (\"SPKN not (yet)supported!\")");
    return spk;
  } else {
    spk.problems.push_back("the magic is \"" + printable(spk.magic) + "\", not SPK3 or SPK4");
    return spk;
  }

  u32 header_length = spk.version == 4 ? kSpk4HeaderLength : kSpk3HeaderLength;
  if (!source.read_bytes(0, header_length, bytes)) {
    spk.problems.push_back("the file is " + number(source.size()) + " bytes, shorter than the " +
                           number(header_length) + "-byte " + spk.magic + " header");
    return spk;
  }
  spk.unused_4 = field(bytes, 4);
  std::size_t name_length = 0;
  while (name_length < kResourceNameWidth && bytes[8 + name_length] != 0) ++name_length;
  spk.resource_name.assign(reinterpret_cast<const char*>(&bytes[8]), name_length);
  spk.resource_offset = field(bytes, 20);
  spk.resource_length = field(bytes, 24);
  spk.unused_28 = field(bytes, 28);
  spk.text_base = field(bytes, 32);
  spk.entry_count = field(bytes, 36);
  spk.entry_table = field(bytes, 40);
  if (spk.version == 4) {
    spk.reference_count = field(bytes, 44);
    spk.reference_table = field(bytes, 48);
    spk.further_count = field(bytes, 52);
    spk.further_offset = field(bytes, 56);
  }

  std::string name_problem = check_resource_name(spk.resource_name);
  if (!name_problem.empty()) spk.problems.push_back(name_problem);
  if (!fits(spk.resource_offset, spk.resource_length, source.size())) {
    spk.problems.push_back("the resource (" + number(spk.resource_length) + " bytes at " +
                           number(spk.resource_offset) + ") leaves the " + number(source.size()) + "-byte file");
  }

  std::vector<u32> references;
  if (spk.version == 4) {
    u64 table_length = u64{kStrrefLength} * spk.reference_count;
    if (!fits(spk.reference_table, table_length, source.size())) {
      spk.problems.push_back("the reference offset table (" + number(spk.reference_count) + " values at " +
                             number(spk.reference_table) + ") leaves the " + number(source.size()) +
                             "-byte file");
    } else if (source.read_bytes(spk.reference_table, static_cast<std::size_t>(table_length), bytes)) {
      references.resize(spk.reference_count);
      for (u32 i = 0; i < spk.reference_count; ++i) references[i] = get_u32(&bytes[4 * std::size_t{i}]);
    } else {
      spk.problems.push_back("the reference offset table cannot be read");
    }
  }
  read_entries(source, spk, references, with_texts);
  return spk;
}

}  // namespace zep::tool
