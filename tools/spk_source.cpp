#include "tools/spk_source.h"

#include <cstdio>
#include <cstring>
#include <system_error>

#include "install/string_patch_import.h"

namespace zep::tool {
namespace {

namespace fs = std::filesystem;

// Sources are a few kilobytes; anything far larger is not a source.
constexpr u64 kMaxSourceLength = 16u << 20;

struct Token {
  bool delimited = false;  // a ~text~ or "text", never a keyword or a number
  std::string value;
  int line = 0;            // where the token starts
};

class Tokenizer {
 public:
  explicit Tokenizer(const std::string& text) : text_(text) {}

  // Reads the next token into `token`. Returns false at the end of the text or on an unterminated
  // text (then `problem` says so and `problem_line` is where it began).
  bool next(Token& token) {
    skip_blanks_and_comments();
    if (at_ >= text_.size()) return false;
    token = Token();
    token.line = line_;
    if (starts_with("~~~~~")) return delimited(token, "~~~~~");
    if (text_[at_] == '~') return delimited(token, "~");
    if (text_[at_] == '"') return delimited(token, "\"");
    while (at_ < text_.size() && !is_blank(text_[at_])) token.value += text_[at_++];
    return true;
  }

  const std::string& problem() const { return problem_; }
  int problem_line() const { return problem_line_; }

 private:
  static bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

  bool starts_with(const char* marker) const { return text_.compare(at_, std::strlen(marker), marker) == 0; }

  void skip_blanks_and_comments() {
    while (at_ < text_.size()) {
      char c = text_[at_];
      if (c == '\n') {
        ++line_;
        ++at_;
      } else if (is_blank(c)) {
        ++at_;
      } else if (c == '#') {
        while (at_ < text_.size() && text_[at_] != '\n') ++at_;
      } else {
        return;
      }
    }
  }

  bool delimited(Token& token, const std::string& marker) {
    token.delimited = true;
    std::size_t start = at_ + marker.size();
    std::size_t end = text_.find(marker, start);
    if (end == std::string::npos) {
      problem_ = "the text begun with " + marker + " is never closed";
      problem_line_ = line_;
      at_ = text_.size();
      return false;
    }
    for (std::size_t i = start; i < end; ++i) {
      if (text_[i] == '\n') ++line_;
      if (text_[i] == '\r' && i + 1 < end && text_[i + 1] == '\n') continue;
      token.value += text_[i];
    }
    at_ = end + marker.size();
    return true;
  }

  const std::string& text_;
  std::size_t at_ = 0;
  int line_ = 1;
  std::string problem_;
  int problem_line_ = 0;
};

// True when `word` is meant as a number: it starts with a digit or a sign.
bool looks_like_number(const std::string& word) {
  return !word.empty() && ((word[0] >= '0' && word[0] <= '9') || word[0] == '-' || word[0] == '+');
}

// Parses a decimal or 0x hexadecimal u32 into `value`. Returns what is wrong with `word` as such a
// number ("`12abc` is not a number ..."), or an empty text.
std::string parse_number(const std::string& word, u32& value) {
  const std::string shown = "`" + printable(word, 40) + "`";
  if (!word.empty() && word[0] == '-') return shown + " is negative; numbers here are 0 or more";
  std::size_t at = 0;
  unsigned base = 10;
  if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) {
    base = 16;
    at = 2;
  }
  bool digits = at < word.size();
  u64 result = 0;
  for (; digits && at < word.size(); ++at) {
    char c = word[at];
    unsigned digit;
    if (c >= '0' && c <= '9') {
      digit = static_cast<unsigned>(c - '0');
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = static_cast<unsigned>(c - 'a' + 10);
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = static_cast<unsigned>(c - 'A' + 10);
    } else {
      digits = false;
      break;
    }
    result = result * base + digit;
    if (result > 0xFFFFFFFFu) return shown + " is larger than 0xFFFFFFFF (4294967295)";
  }
  if (!digits) return shown + " is not a number (write it in decimal, or in hex after 0x)";
  value = static_cast<u32>(result);
  return {};
}

// The attributes given for the text being described, so that a repeated one is refused.
struct Given {
  bool sound = false;
  bool volume = false;
  bool pitch = false;
  bool flags = false;
};

}  // namespace

bool parse_spk_source(const std::string& text, const std::string& origin, SpkSource& out, std::string& error) {
  std::vector<Token> tokens;
  // A UTF-8 byte order mark, which some Windows editors write first, is not part of the source.
  const bool marked = text.compare(0, 3, "\xEF\xBB\xBF") == 0;
  const std::string unmarked = marked ? text.substr(3) : std::string();
  Tokenizer tokenizer(marked ? unmarked : text);
  Token token;
  while (tokenizer.next(token)) tokens.push_back(token);
  if (!tokenizer.problem().empty()) {
    error = origin + ":" + std::to_string(tokenizer.problem_line()) + ": " + tokenizer.problem();
    return false;
  }

  SpkSource source;
  bool have_resource = false;
  bool have_name = false;
  Given given;
  std::size_t i = 0;
  auto fail = [&](int line, const std::string& problem) {
    error = origin + ":" + std::to_string(line) + ": " + problem;
    return false;
  };
  // Moves to the token after the keyword at tokens[i] and takes it as the keyword's argument.
  auto argument = [&](Token& value) {
    if (i + 1 >= tokens.size()) return false;
    value = tokens[++i];
    return true;
  };

  for (; i < tokens.size(); ++i) {
    const Token keyword = tokens[i];
    Token value;
    if (keyword.delimited) return fail(keyword.line, "a text stands where a word such as `string` was expected");
    const std::string& word = keyword.value;
    bool is_attribute = word == "at" || word == "sound" || word == "volume" || word == "pitch" || word == "flags";
    if (is_attribute && source.texts.empty()) {
      return fail(keyword.line, "`" + word + "` stands before any `string`");
    }
    if (word == "resource" || word == "name") {
      bool& have = word == "resource" ? have_resource : have_name;
      if (have) return fail(keyword.line, "`" + word + "` is given twice");
      if (!argument(value)) return fail(keyword.line, "`" + word + "` needs a file name");
      (word == "resource" ? source.resource : source.name) = value.value;
      have = true;
    } else if (word == "string") {
      if (!argument(value) || !value.delimited) {
        return fail(keyword.line, "`string` needs a text in ~ ~ or \" \"");
      }
      PatchText patch_text;
      patch_text.text = value.value;
      source.texts.push_back(std::move(patch_text));
      given = Given();
    } else if (word == "at") {
      std::size_t count = 0;
      u32 position;
      while (i + 1 < tokens.size() && !tokens[i + 1].delimited && looks_like_number(tokens[i + 1].value)) {
        std::string problem = parse_number(tokens[i + 1].value, position);
        if (!problem.empty()) return fail(tokens[i + 1].line, "`at`: " + problem);
        source.texts.back().positions.push_back(position);
        ++i;
        ++count;
      }
      if (count == 0) return fail(keyword.line, "`at` needs at least one position (decimal or 0x hex)");
    } else if (word == "sound") {
      if (given.sound) return fail(keyword.line, "`sound` is given twice for one text");
      if (!argument(value)) return fail(keyword.line, "`sound` needs a resref");
      source.texts.back().sound = value.value;
      given.sound = true;
    } else if (word == "volume" || word == "pitch" || word == "flags") {
      bool& have = word == "volume" ? given.volume : word == "pitch" ? given.pitch : given.flags;
      if (have) return fail(keyword.line, "`" + word + "` is given twice for one text");
      u32 number;
      if (!argument(value) || value.delimited) {
        return fail(keyword.line, "`" + word + "` needs a number (decimal or 0x hex)");
      }
      std::string problem = parse_number(value.value, number);
      if (!problem.empty()) return fail(value.line, "`" + word + "`: " + problem);
      PatchText& patch_text = source.texts.back();
      if (word == "flags") {
        if (number > 0xFFFF) return fail(keyword.line, "`flags` takes 16 bits, at most 0xFFFF");
        patch_text.flags = static_cast<u16>(number);
      } else {
        (word == "volume" ? patch_text.volume_variance : patch_text.pitch_variance) = number;
      }
      have = true;
    } else {
      return fail(keyword.line, "unknown word `" + printable(word, 40) +
                                    "` (expected resource, name, string, at, sound, volume, pitch or flags)");
    }
    if (word == "string" || word == "sound") {
      // Until `flags` says otherwise, a text is marked as having a text, and a sound when it has one.
      PatchText& patch_text = source.texts.back();
      if (!given.flags) patch_text.flags = patch_text.sound.empty() ? kTextFlag : (kTextFlag | kSoundFlag);
    }
  }
  if (!have_resource) return fail(1, "no `resource` names the resource file");
  out = std::move(source);
  return true;
}

namespace {

// Reads a whole file of at most `limit` bytes into `out`.
bool read_whole_file(const fs::path& path, u64 limit, std::string& out, std::string& error) {
  FileSource file;
  if (!file.open(path, error)) return false;
  if (file.size() > limit) {
    error = path.string() + " is " + std::to_string(file.size()) + " bytes, more than the " +
            std::to_string(limit) + " this can take";
    return false;
  }
  std::vector<u8> bytes;
  if (!file.read_bytes(0, static_cast<std::size_t>(file.size()), bytes)) {
    error = "cannot read " + path.string();
    return false;
  }
  out.assign(bytes.begin(), bytes.end());
  return true;
}

}  // namespace

bool load_spk_source(const fs::path& source, StringPatch& patch, fs::path& resource_path, std::string& error) {
  std::string text;
  if (!read_whole_file(source, kMaxSourceLength, text, error)) return false;
  SpkSource parsed;
  if (!parse_spk_source(text, source.string(), parsed, error)) return false;

  fs::path resource = fs::path(parsed.resource);
  if (resource.is_relative()) resource = source.parent_path() / resource;
  std::string resource_bytes;
  if (!read_whole_file(resource, 0xFFFFFFFFu - kSpk4HeaderLength, resource_bytes, error)) {
    error = source.string() + ": the resource: " + error;
    return false;
  }

  StringPatch result;
  result.resource_name = parsed.name.empty() ? resource.filename().string() : parsed.name;
  result.resource.assign(resource_bytes.begin(), resource_bytes.end());
  result.texts = std::move(parsed.texts);
  std::string problem = check_string_patch(result);
  if (!problem.empty()) {
    error = source.string() + ": " + problem;
    return false;
  }
  patch = std::move(result);
  resource_path = resource;
  return true;
}

std::string installer_objection(const u8* bytes, u64 size, const std::vector<std::string>& addon_names,
                                std::string& resource_name) {
  if (size > 0xFFFFFFFEu) return "it is larger than the installer reads (4 GiB - 2 bytes)";
  std::vector<std::string> names = addon_names;
  if (names.empty()) names.emplace_back();
  for (const std::string& addon : names) {
    LoadedPatch loaded;
    const char* problem = nullptr;
    switch (judge_string_patch(bytes, static_cast<u32>(size), addon.c_str(), &loaded, &problem)) {
      case PatchStatus::kSound:
        resource_name = loaded.patch.resource_name;
        break;
      case PatchStatus::kRefused:
        return std::string("it is damaged: ") + problem + "; the installer would refuse the whole add-on";
      case PatchStatus::kNameRefused:
        return "its resource's name \"" + printable(loaded.patch.resource_name) +
               "\" is one the installer never places in override\\";
      case PatchStatus::kSpkn:
        return "it is an SPKN file, which the installer does not apply (\"SPKN not (yet)supported!\")";
      case PatchStatus::kPassedOver:
      case PatchStatus::kUnreadable:
        return "it is not a string patch file (it does not start with SPK3 or SPK4); the installer would pass it over";
    }
  }
  return {};
}

bool compile_spk_source(const fs::path& source, std::vector<u8>& out, fs::path& resource_path, std::string& error) {
  StringPatch patch;
  if (!load_spk_source(source, patch, resource_path, error)) return false;
  std::vector<u8> bytes;
  std::string resource_name;
  std::string objection;
  if (!build_spk4(patch, bytes, error) ||
      !(objection = installer_objection(bytes.data(), bytes.size(), {}, resource_name)).empty()) {
    error = source.string() + ": " + (objection.empty() ? error : objection);
    return false;
  }
  out = std::move(bytes);
  return true;
}

}  // namespace zep::tool
