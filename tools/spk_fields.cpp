#include "tools/spk_fields.h"

#include "tools/spk_writer.h"

namespace zep::tool {
namespace {

// Reads the u32 fields of a header that follow one another, starting at `offset` of `header`.
u32 field(const std::vector<u8>& header, std::size_t offset) { return get_u32(header.data() + offset); }

void read_entries(ByteSource& source, SpkFile& spk, bool with_texts) {
  const std::vector<u32>& references = spk.references;
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
  // For each reference index, the first index from it on whose position leaves the resource, so
  // that each text's range is judged at once.
  std::vector<u32> next_bad(references.size() + 1, static_cast<u32>(references.size()));
  for (std::size_t j = references.size(); j-- > 0;) {
    next_bad[j] = resource_readable && !fits(references[j], kStrrefLength, spk.resource_length) ? static_cast<u32>(j)
                                                                                                 : next_bad[j + 1];
  }
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
      // A text without positions may name any index.
      if (text.reference_count > 0 && !fits(text.first_reference, text.reference_count, references.size())) {
        spk.problems.push_back("text " + number(i) + "'s references " + number(text.first_reference) + " + " +
                               number(text.reference_count) + " leave the reference table of " +
                               number(references.size()) + " values");
      } else if (text.reference_count > 0) {
        const u32 bad = next_bad[text.first_reference];
        if (bad < text.first_reference + text.reference_count) {
          spk.problems.push_back(describe_position(i, references[bad]) + " is not inside the " +
                                 number(spk.resource_length) + "-byte resource");
        }
      }
    } else {
      text.position = get_u32(&entry[8]);
      text.first_reference = 0;
      text.reference_count = text.position == kNoPosition ? 0 : 1;
      if (text.position != kNoPosition && resource_readable &&
          !fits(text.position, kStrrefLength, spk.resource_length)) {
        spk.problems.push_back(describe_position(i, text.position) + " is not inside the " +
                               number(spk.resource_length) + "-byte resource");
      }
    }
    u64 text_start = u64{spk.text_base} + text.text_offset;
    // An empty text may point anywhere.
    if (text.text_length > 0 && !fits(text_start, text.text_length, source.size())) {
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

std::vector<u32> positions_of(const SpkFile& spk, const SpkText& text) {
  if (spk.version != 4) return text.position == kNoPosition ? std::vector<u32>{} : std::vector<u32>{text.position};
  if (!fits(text.first_reference, text.reference_count, spk.references.size())) return {};
  return std::vector<u32>(spk.references.begin() + text.first_reference,
                          spk.references.begin() + text.first_reference + text.reference_count);
}

SpkFile read_spk_fields(ByteSource& source, bool with_texts) {
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

  if (spk.version == 4) {
    u64 table_length = u64{kStrrefLength} * spk.reference_count;
    if (!fits(spk.reference_table, table_length, source.size())) {
      spk.problems.push_back("the reference offset table (" + number(spk.reference_count) + " values at " +
                             number(spk.reference_table) + ") leaves the " + number(source.size()) +
                             "-byte file");
    } else if (source.read_bytes(spk.reference_table, static_cast<std::size_t>(table_length), bytes)) {
      spk.references.resize(spk.reference_count);
      for (u32 i = 0; i < spk.reference_count; ++i) spk.references[i] = get_u32(&bytes[4 * std::size_t{i}]);
    } else {
      spk.problems.push_back("the reference offset table cannot be read");
    }
  }
  read_entries(source, spk, with_texts);
  return spk;
}

}  // namespace zep::tool
