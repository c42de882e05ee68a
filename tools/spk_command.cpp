// zep spk: compiles a string patch source into an SPK4 file.
#include <filesystem>

#include "tools/byte_io.h"
#include "tools/commands.h"
#include "tools/help.h"
#include "tools/output_file.h"
#include "tools/spk_source.h"

namespace zep::tool {

int run_spk(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  namespace fs = std::filesystem;
  fs::path source;
  fs::path output;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& word = args[i];
    if (word == "-o" || word == "--output") {
      if (i + 1 >= args.size()) return usage_error("spk", word + " needs a value: the .spk file to write", err);
      output = args[++i];
    } else if (!word.empty() && word[0] == '-') {
      return usage_error("spk", "unknown option " + word, err);
    } else if (source.empty()) {
      source = word;
    } else {
      return usage_error("spk", "one source at a time, not also " + word, err);
    }
  }
  if (source.empty()) return usage_error("spk", "name a string patch source (.spks)", err);
  if (output.empty()) output = fs::path(source).replace_extension(".spk");
  std::vector<u8> bytes;
  fs::path resource;
  std::string error;
  if (same_file(source, output)) {
    err << "zep spk: the output " << output.string() << " is the source itself; writing it would destroy it\n";
    return kExitFailed;
  }
  if (!compile_spk_source(source, bytes, resource, error)) {
    err << "zep spk: " << error << "\n";
    return kExitFailed;
  }
  if (same_file(resource, output)) {
    err << "zep spk: the output " << output.string() << " is the resource " << resource.string()
        << " that the source names; writing it would destroy it\n";
    return kExitFailed;
  }
  PendingFile file;
  if (!file.create(output, error) || std::fwrite(bytes.data(), 1, bytes.size(), file.file()) != bytes.size() ||
      !file.commit(error)) {
    err << "zep spk: " << (error.empty() ? "cannot write " + output.string() : error) << "\n";
    return kExitFailed;
  }
  out << output.string() << ": " << bytes.size() << " bytes\n";
  return kExitOk;
}

}  // namespace zep::tool
