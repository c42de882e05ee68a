// String patch sources (.spks): the small text a mod author writes to describe one string patch
// file, compiled by `zep spk` and by `zep pack`.
//
//   # A comment runs from # to the end of the line.
//   resource lantern.itm          the resource file, relative to the source's folder (required)
//   name LANTERN.ITM              its file name under override\ (default: the resource's file name)
//   string ~Brass Lantern~        a new text; the words after it until the next `string` describe it:
//     at 0x08 0x0C                  positions in the resource that receive its strref (any number,
//                                   decimal or 0x hex; `at` may repeat)
//     sound LANT01                  sound resref, up to 8 characters
//     volume 0                      volume variance
//     pitch 0                       pitch variance
//     flags 3                       `TalkEntry` flags (default 1, or 3 when a sound is given)
//
// A text is delimited by ~ ~, by " ", or by ~~~~~ ~~~~~ when it holds ~ or ", and may span lines;
// its bytes are stored as written, except that CR LF becomes LF. Words are separated by blanks or
// line ends; a file name with blanks is written as a delimited text.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tools/spk_writer.h"

namespace zep::tool {

// A parsed source, before its resource is read.
struct SpkSource {
  std::string resource;         // the resource file's path as written, relative to the source
  std::string name;             // the override name; empty when not given
  std::vector<PatchText> texts;
};

// Parses the source `text`. Returns false with "<origin>:<line>: <problem>" in `error` for the first
// problem found: an unknown word, a missing or repeated `resource`, a text attribute before any
// `string`, a bad number, an unterminated text.
bool parse_spk_source(const std::string& text, const std::string& origin, SpkSource& out, std::string& error);

// Reads and parses the source file `source` and the resource it names into `patch`, checked as
// check_string_patch checks it. `resource_path` receives the resource file's path. Returns false with
// the problem in `error`.
bool load_spk_source(const std::filesystem::path& source, StringPatch& patch, std::filesystem::path& resource_path,
                     std::string& error);

// What the installer would do with the string patch file of `size` bytes at `bytes`, installed by an
// add-on of each of `addon_names` (none: of any name), as words for a refusal, or an empty text when
// it would apply it; then `resource_name` receives the name of its resource. The installer's own
// check decides.
std::string installer_objection(const u8* bytes, u64 size, const std::vector<std::string>& addon_names,
                                std::string& resource_name);

// load_spk_source, then build_spk4 into `out`, checked as the installer checks what it applies.
bool compile_spk_source(const std::filesystem::path& source, std::vector<u8>& out,
                        std::filesystem::path& resource_path, std::string& error);

}  // namespace zep::tool
