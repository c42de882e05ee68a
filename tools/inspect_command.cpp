// zep inspect: shows what a self-extracting file, a bare archive or a string patch file holds, field by
// field, and names everything that does not fit the file. It never reads outside the file.
#include <cstdlib>
#include <iomanip>

#include "archive/format.h"
#include "tools/byte_io.h"
#include "tools/commands.h"
#include "tools/help.h"
#include "tools/spk_fields.h"

namespace zep::tool {
namespace {

namespace fs = std::filesystem;

std::string quoted(const std::string& bytes) { return "\"" + printable(bytes) + "\""; }

// A text of a string patch file or a talk table: whole when `whole`, else its first 200 bytes.
std::string quoted_text(const std::string& bytes, bool whole) {
  return "\"" + printable(bytes, whole ? bytes.size() : 200) + "\"";
}

// An 8-byte resref field: its characters up to the first zero byte ("" when it starts with one).
std::string quoted_resref(const u8* field) {
  std::size_t length = 0;
  while (length < 8 && field[length] != 0) ++length;
  return quoted(std::string(reinterpret_cast<const char*>(field), length));
}

// Lists one string patch file; returns the number of problems found.
std::size_t list_string_patch(ByteSource& source, const std::string& indent, bool with_texts, std::ostream& out) {
  SpkFile spk = read_spk_fields(source, with_texts);
  if (spk.version != 0) {
    out << indent << spk.magic << ": resource " << quoted(spk.resource_name) << ", " << spk.resource_length
        << " bytes at " << spk.resource_offset << "; " << spk.entry_count << " text(s) at " << spk.entry_table
        << ", text base " << spk.text_base;
    if (spk.version == 4) {
      out << "; " << spk.reference_count << " position(s) at " << spk.reference_table << ", further table "
          << spk.further_count << " at " << spk.further_offset;
    }
    out << "\n";
    for (std::size_t i = 0; i < spk.texts.size(); ++i) {
      const SpkText& text = spk.texts[i];
      out << indent << "  text " << i << ": " << text.text_length << " bytes at " << text.text_offset
          << ", flags " << text.flags << ", sound " << quoted(text.sound) << ", volume " << text.volume_variance
          << ", pitch " << text.pitch_variance;
      if (text.reference_count == 0) {
        out << ", no position";
      } else if (spk.version == 3) {
        out << ", position " << text.position;
      } else {
        // Ranges of one table, which is shown once below: texts may share its values.
        out << ", positions " << text.first_reference << " to " << (u64{text.first_reference} + text.reference_count - 1)
            << " of the table";
      }
      out << "\n";
      if (with_texts && !text.text.empty()) out << indent << "    " << quoted_text(text.text, true) << "\n";
    }
    if (!spk.references.empty()) {
      out << indent << "  position table:";
      for (std::size_t j = 0; j < spk.references.size(); ++j) {
        if (j % 16 == 0) out << "\n" << indent << "    " << j << ":";
        out << " " << spk.references[j];
      }
      out << "\n";
    }
  }
  for (const std::string& problem : spk.problems) out << indent << "problem: " << problem << "\n";
  return spk.problems.size();
}

// Lists the archive that starts at `base` in `file`; returns the number of problems found.
std::size_t list_archive(ByteSource& file, u64 base, bool with_texts, std::ostream& out) {
  u64 archive_size = file.size() - base;
  SliceSource archive(file, base, archive_size);
  std::vector<u8> head;
  if (!archive.read_bytes(0, sizeof(ArchiveHeader), head)) {
    out << "problem: the archive is " << archive_size << " bytes, too short for its " << sizeof(ArchiveHeader)
        << "-byte header\n";
    return 1;
  }
  std::size_t problems = 0;
  u32 patch_count = get_u32(&head[8]);
  u32 file_count = get_u32(&head[12]);
  u32 total = get_u32(&head[17]);
  out << "header: magic " << quoted(std::string(head.begin(), head.begin() + 4)) << ", " << get_u32(&head[4])
      << ", " << patch_count << " string patch file(s), " << file_count << " other file(s), "
      << unsigned{head[16]} << ", total length " << total << "\n";
  if (total != archive_size) {
    out << "problem: the total length is " << total << " but the archive is " << archive_size << " bytes\n";
    ++problems;
  }
  u64 count = u64{patch_count} + file_count;
  if (!fits(kEntryTableOffset, count * sizeof(ArchiveEntry), archive_size)) {
    out << "problem: the entry table of " << count << " records leaves the archive\n";
    return problems + 1;
  }
  out << "record  name at  length  flags  data at  length  name\n";
  for (u32 i = 0; i < count; ++i) {
    std::vector<u8> record;
    archive.read_bytes(entry_offset(i), sizeof(ArchiveEntry), record);
    u32 name_offset = get_u32(&record[0]);
    u32 name_length = get_u32(&record[4]);
    u32 flags = get_u32(&record[8]);
    u32 data_offset = get_u32(&record[12]);
    u32 data_length = get_u32(&record[16]);
    std::vector<u8> name;
    bool name_fits = archive.read_bytes(name_offset, name_length, name);
    out << std::setw(6) << i << std::setw(9) << name_offset << std::setw(8) << name_length << std::setw(7)
        << flags << std::setw(9) << data_offset << std::setw(8) << data_length << "  "
        << (name_fits ? quoted(std::string(name.begin(), name.end())) : "(outside the archive)");
    if (i >= patch_count && flags == kRunAfterInstall) out << "  opened after installation";
    out << "\n";
    if (!name_fits) ++problems;
    if (!fits(data_offset, data_length, archive_size)) {
      out << "problem: record " << i << "'s data leaves the archive\n";
      ++problems;
    } else if (i < patch_count) {
      SliceSource data(archive, data_offset, data_length);
      problems += list_string_patch(data, "        ", with_texts, out);
    }
  }
  return problems;
}

}  // namespace

// Lists a talk table's header and its entries from strref `first` on, their texts whole when
// `whole`; returns the number of problems. A `first` past the last entry is one.
std::size_t list_talk_table(ByteSource& source, u32 first, bool whole, std::ostream& out) {
  std::vector<u8> header;
  if (!source.read_bytes(0, 18, header)) {
    out << "problem: the file ends inside the 18-byte header\n";
    return 1;
  }
  const u32 count = get_u32(header.data() + 10);
  const u32 strings = get_u32(header.data() + 14);
  out << "language " << get_u16(header.data() + 8) << ", " << count << " entries, string data at " << strings
      << "\n";
  std::size_t problems = 0;
  if (strings != 18 + 26 * u64{count} && !(count == 0 && strings == 0)) {
    out << "problem: the string data does not begin right after the entry table (" << 18 + 26 * u64{count}
        << ")\n";
    ++problems;
  }
  if (first != 0 && first >= count) {
    out << "problem: --from " << first << " is past the end: the table's strrefs are "
        << (count == 0 ? std::string("none") : "0 to " + std::to_string(count - 1)) << "\n";
    ++problems;
  }
  for (u32 i = first; i < count; ++i) {
    std::vector<u8> entry;
    if (!source.read_bytes(18 + 26 * u64{i}, 26, entry)) {
      out << "problem: the entry table ends before entry " << i << "\n";
      return problems + 1;
    }
    const u32 offset = get_u32(entry.data() + 18);
    const u32 length = get_u32(entry.data() + 22);
    std::vector<u8> text;
    out << "strref " << i << ": flags " << get_u16(entry.data()) << ", sound " << quoted_resref(entry.data() + 2)
        << ", " << length << " bytes at " << offset;
    if (source.read_bytes(u64{strings} + offset, length, text)) {
      out << ": " << quoted_text(std::string(text.begin(), text.end()), whole) << "\n";
    } else {
      out << "\nproblem: the text of entry " << i << " lies outside the file\n";
      ++problems;
    }
  }
  return problems;
}

int run_inspect(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  bool with_texts = false;
  u32 first_strref = 0;
  std::vector<std::string> paths;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& word = args[i];
    if (word == "--texts") {
      with_texts = true;
    } else if (word == "--from") {
      if (i + 1 >= args.size()) return usage_error("inspect", "--from needs a value: a strref", err);
      const std::string& number = args[++i];
      char* end = nullptr;
      const unsigned long long value = std::strtoull(number.c_str(), &end, 10);
      if (number.empty() || number[0] < '0' || number[0] > '9' || *end != 0 || value > 0xFFFFFFFFull) {
        return usage_error("inspect", "--from takes a strref (0 to 4294967295), not " + number, err);
      }
      first_strref = static_cast<u32>(value);
    } else if (!word.empty() && word[0] == '-') {
      return usage_error("inspect", "unknown option " + word, err);
    } else {
      paths.push_back(word);
    }
  }
  if (paths.empty()) {
    return usage_error("inspect", "name a file: an add-on's .exe, a .zep archive, an .spk file or a dialog.tlk", err);
  }
  std::size_t problems = 0;
  for (const std::string& path : paths) {
    FileSource file;
    std::string error;
    if (!file.open(path, error)) {
      err << "zep inspect: " << error << "\n";
      return kExitFailed;
    }
    std::vector<u8> magic;
    file.read_bytes(0, file.size() < 4 ? static_cast<std::size_t>(file.size()) : 4, magic);
    std::string start(magic.begin(), magic.end());
    if (start == "TLK ") {
      out << path << ": talk table, " << file.size() << " bytes\n";
      problems += list_talk_table(file, first_strref, with_texts, out);
    } else if (start.compare(0, 3, "SPK") == 0) {
      out << path << ": string patch file, " << file.size() << " bytes\n";
      problems += list_string_patch(file, "", with_texts, out);
    } else if (start.compare(0, 2, "MZ") == 0) {
      out << path << ": self-extracting file, " << file.size() << " bytes; uninstaller image at "
          << kUninstallerOffset << ", archive at " << kArchiveOffset << "\n";
      if (file.size() < kArchiveOffset) {
        out << "problem: the file ends before " << kArchiveOffset << ", where its archive would begin\n";
        ++problems;
      } else {
        problems += list_archive(file, kArchiveOffset, with_texts, out);
      }
    } else if (start == std::string("ZEP\0", 4)) {
      out << path << ": archive, " << file.size() << " bytes\n";
      problems += list_archive(file, 0, with_texts, out);
    } else {
      out << path << ": unknown: neither an add-on's .exe, a .zep archive, a string patch file nor a talk table"
          << " (it starts with " << quoted(start) << ")\n";
      ++problems;
    }
  }
  if (problems != 0) {
    err << "zep inspect: " << problems << " problem(s) found\n";
    return kExitFailed;
  }
  return kExitOk;
}

}  // namespace zep::tool
