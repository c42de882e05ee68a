#include "dialog/string_patch.h"

#include "platform/buffers.h"

namespace zep {
namespace {

constexpr u32 kSpk3HeaderLength = 44;
constexpr u32 kSpk4HeaderLength = 60;
constexpr u32 kSpk3EntryLength = 20;
constexpr u32 kSpk4EntryLength = 50;
constexpr u32 kNoPosition = 0xFFFFFFFFu;
constexpr u16 kSpk3Flags = 3;
constexpr u32 kResourceNameWidth = 12;

u32 read_u32(const u8* bytes) {
  return static_cast<u32>(bytes[0]) | static_cast<u32>(bytes[1]) << 8 | static_cast<u32>(bytes[2]) << 16 |
         static_cast<u32>(bytes[3]) << 24;
}

u16 read_u16(const u8* bytes) { return static_cast<u16>(bytes[0] | bytes[1] << 8); }

void write_u32(u8* bytes, u32 value) {
  bytes[0] = static_cast<u8>(value);
  bytes[1] = static_cast<u8>(value >> 8);
  bytes[2] = static_cast<u8>(value >> 16);
  bytes[3] = static_cast<u8>(value >> 24);
}

// True when the `length` bytes at `offset` lie inside `size` bytes. Cannot wrap.
bool inside(u32 offset, u32 length, u32 size) { return length <= size && offset <= size - length; }

// A string patch file read whole, with its header's fields.
struct Patch {
  const u8* bytes;
  u32 size;
  int version;             // 3 or 4
  char resource_name[kResourceNameWidth + 1];
  u32 resource_offset;
  u32 resource_length;
  u32 text_base;
  u32 entry_count;
  u32 entry_table;
  u32 reference_count;     // SPK4
  u32 reference_table;     // SPK4

  u32 entry_length() const { return version == 4 ? kSpk4EntryLength : kSpk3EntryLength; }
  const u8* entry(u32 index) const { return bytes + entry_table + index * entry_length(); }
  u32 reference(u32 index) const { return read_u32(bytes + reference_table + 4 * index); }
};

// What is wrong with a patch, for the message; null when it is sound.
const char* check_patch(Patch& patch) {
  const u32 header_length = patch.version == 4 ? kSpk4HeaderLength : kSpk3HeaderLength;
  if (patch.size < header_length) return "it ends inside its header";
  const u8* b = patch.bytes;
  copy_bytes(patch.resource_name, b + 8, kResourceNameWidth);
  patch.resource_name[kResourceNameWidth] = 0;  // a name of 12 characters has no terminator of its own
  patch.resource_offset = read_u32(b + 20);
  patch.resource_length = read_u32(b + 24);
  patch.text_base = read_u32(b + 32);
  patch.entry_count = read_u32(b + 36);
  patch.entry_table = read_u32(b + 40);
  patch.reference_count = patch.version == 4 ? read_u32(b + 44) : 0;
  patch.reference_table = patch.version == 4 ? read_u32(b + 48) : 0;

  if (!inside(patch.resource_offset, patch.resource_length, patch.size)) return "its resource lies outside it";
  if (patch.entry_count > patch.size / patch.entry_length() ||
      !inside(patch.entry_table, patch.entry_count * patch.entry_length(), patch.size)) {
    return "its list of texts lies outside it";
  }
  if (patch.version == 4 && (patch.reference_count > patch.size / 4 ||
                             !inside(patch.reference_table, patch.reference_count * 4, patch.size))) {
    return "its table of positions lies outside it";
  }
  if (patch.text_base > patch.size) return "its texts lie outside it";
  for (u32 i = 0; i < patch.entry_count; ++i) {
    const u8* entry = patch.entry(i);
    if (!inside(read_u32(entry), read_u32(entry + 4), patch.size - patch.text_base)) {
      return "a text lies outside it";
    }
    if (patch.version == 3) {
      const u32 position = read_u32(entry + 8);
      if (position != kNoPosition && !inside(position, 4, patch.resource_length)) {
        return "a position lies outside its resource";
      }
      continue;
    }
    const u32 first = read_u32(entry + 26);
    const u32 count = read_u32(entry + 30);
    if (!inside(first, count, patch.reference_count)) return "a text's positions lie outside its table";
    for (u32 j = 0; j < count; ++j) {
      if (!inside(patch.reference(first + j), 4, patch.resource_length)) return "a position lies outside its resource";
    }
  }
  return nullptr;
}

void show_refusal(const char* shown_name, const char* problem, WindowRef owner) {
  BoundedText<400> text;
  text.assign("The string patch file ");
  if (!text.append(shown_name)) text.append("of this add-on");
  text.append(" is damaged: ");
  text.append(problem);
  text.append(".\nIt was not applied: nothing of it was installed.");
  show_message(owner, text.c_str(), "ZEP string patch error", kMbOk | kMbIconWarning);
}

// Reads the whole of `file` (at most 4 GiB - 1 bytes) into `bytes`.
bool read_whole(FileRef file, HeapBuffer* bytes) {
  u32 size = 0;
  if (!get_file_size(file, &size) || !bytes->allocate(size)) return false;
  return size == 0 || (seek_file(file, 0) && read_file(file, bytes->data(), size));
}

}  // namespace

PatchOutcome apply_string_patch_file(const char* file_name, const char* shown_name, TalkTable* table,
                                     const char* game_path, InstallLog* log, WindowRef owner) {
  PatchOutcome outcome = {PatchStatus::kUnreadable, PlaceResult::kFailed, 0, 0};
  HeapBuffer bytes;
  {
    FileHandle file(open_for_reading(file_name));
    if (!file.is_open() || !read_whole(file.get(), &bytes)) return outcome;
  }
  const u32 size = bytes.length();
  Patch patch = {};
  patch.bytes = bytes.data();
  patch.size = size;
  // The magic is compared exactly, as four characters, with SPK3, then SPK4, then SPKN.
  auto magic_is = [&](const char* magic) {
    return size >= 4 && bytes.data()[0] == magic[0] && bytes.data()[1] == magic[1] && bytes.data()[2] == magic[2] &&
           bytes.data()[3] == magic[3];
  };
  if (magic_is("SPK3")) {
    patch.version = 3;
  } else if (magic_is("SPK4")) {
    patch.version = 4;
  } else if (magic_is("SPKN")) {
    show_message(owner, "SPKN not (yet)supported!", "", kMbOk);
    outcome.status = PatchStatus::kSpkn;
    return outcome;
  } else {
    outcome.status = PatchStatus::kPassedOver;
    return outcome;
  }

  outcome.status = PatchStatus::kRefused;
  if (const char* problem = check_patch(patch)) {
    show_refusal(shown_name, problem, owner);
    return outcome;
  }
  BoundedText<kResourceNameWidth + 16> relative;
  relative.assign("override\\");
  relative.append(patch.resource_name);
  if (!accept_placement_name(relative.c_str(), owner)) return outcome;

  // The resource is patched in a copy and placed once, with every strref in it.
  HeapBuffer resource;
  if (!resource.allocate(patch.resource_length)) {
    show_refusal(shown_name, "it does not fit in memory", owner);
    return outcome;
  }
  copy_bytes(resource.data(), patch.bytes + patch.resource_offset, patch.resource_length);

  outcome.status = PatchStatus::kApplied;
  log->append_line(relative.c_str());
  for (u32 i = 0; i < patch.entry_count; ++i) {
    const u8* entry = patch.entry(i);
    const u8* text = patch.bytes + patch.text_base + read_u32(entry);
    const u32 length = read_u32(entry + 4);
    u32 strref;
    if (patch.version == 3) {
      strref = append_string(table, text, length, kSpk3Flags, entry + 12, 0, 0);
    } else {
      strref = append_string(table, text, length, read_u16(entry + 24), entry + 8, read_u32(entry + 16),
                             read_u32(entry + 20));
    }
    if (strref == kAppendRefused) {
      ++outcome.texts_refused;
      continue;
    }
    ++outcome.texts;
    if (patch.version == 3) {
      const u32 position = read_u32(entry + 8);
      if (position != kNoPosition) write_u32(resource.data() + position, strref);
    } else {
      const u32 first = read_u32(entry + 26);
      const u32 count = read_u32(entry + 30);
      for (u32 j = 0; j < count; ++j) write_u32(resource.data() + patch.reference(first + j), strref);
    }
  }

  FileHandle placed;
  outcome.placed = place_file(game_path, relative.c_str(), resource.data(), patch.resource_length, owner, &placed);
  if (placed.is_open() && !placed.close()) outcome.placed = PlaceResult::kFailed;
  return outcome;
}

}  // namespace zep
