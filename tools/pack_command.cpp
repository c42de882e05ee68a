// zep pack: gathers an add-on's files, checks every archive name, and writes the self-extracting
// file and/or the bare archive. Outputs appear only when complete (see output_file.h).
#include <algorithm>
#include <filesystem>
#include <map>
#include <system_error>

#include "archive/names.h"
#include "install/placement.h"
#include "shell/self_location.h"
#include "tools/archive_writer.h"
#include "tools/byte_io.h"
#include "tools/commands.h"
#include "tools/embedded.h"
#include "tools/error_words.h"
#include "tools/help.h"
#include "tools/native_file.h"
#include "tools/output_file.h"
#include "tools/spk_source.h"

namespace zep::tool {
namespace {

namespace fs = std::filesystem;

struct PackRequest {
  std::vector<fs::path> folders;                          // add-on folders laid out as the game folder
  std::vector<fs::path> patches;                          // --spk: .spk files or .spks sources
  std::vector<std::pair<fs::path, std::string>> files;    // --add FILE NAME
  std::vector<std::string> open;                          // --open NAME
  fs::path exe_output;                                    // -o
  fs::path zep_output;                                    // --zep
  fs::path stub;                                          // --stub (empty: the built-in one)
  fs::path uninstaller;                                   // --uninstaller (empty: the built-in one)
};

bool has_extension(const fs::path& path, const std::string& extension) {
  return fold_case(path.extension().string()) == extension;
}

// Reads the command line into `request`. Returns false with the problem in `error`.
bool parse_pack_arguments(const std::vector<std::string>& args, PackRequest& request, std::string& error) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& word = args[i];
    auto value = [&](std::size_t count) {
      if (i + count < args.size()) return true;
      error = word + " needs " + (count == 1 ? "a value" : std::to_string(count) + " values");
      return false;
    };
    if (word == "-o" || word == "--output") {
      if (!value(1)) return false;
      request.exe_output = args[++i];
    } else if (word == "--zep") {
      if (!value(1)) return false;
      request.zep_output = args[++i];
    } else if (word == "--spk") {
      if (!value(1)) return false;
      request.patches.emplace_back(args[++i]);
    } else if (word == "--add") {
      if (!value(2)) return false;
      // A forward slash separates folders, as it does on Windows; archive names use backslashes.
      std::string name = args[i + 2];
      std::replace(name.begin(), name.end(), '/', '\\');
      request.files.emplace_back(args[i + 1], name);
      i += 2;
    } else if (word == "--open") {
      if (!value(1)) return false;
      std::string name = args[++i];
      std::replace(name.begin(), name.end(), '/', '\\');
      request.open.push_back(name);
    } else if (word == "--stub") {
      if (!value(1)) return false;
      request.stub = args[++i];
    } else if (word == "--uninstaller") {
      if (!value(1)) return false;
      request.uninstaller = args[++i];
    } else if (!word.empty() && word[0] == '-') {
      error = "unknown option " + word;
      return false;
    } else {
      request.folders.emplace_back(word);
    }
  }
  if (request.exe_output.empty() && request.zep_output.empty()) {
    error = "name an output: -o ADDON.exe for the self-extracting file, --zep ADDON.zep for the bare archive";
    return false;
  }
  if (request.folders.empty() && request.patches.empty() && request.files.empty()) {
    error = "nothing to pack: name an add-on folder, --spk or --add";
    return false;
  }
  return true;
}

// What is wrong with `name` as an archive name, or an empty text.
std::string check_archive_name(const std::string& name) {
  for (char c : name) {
    if (static_cast<u8>(c) >= 0x80) {
      return "the name \"" + printable(name) +
             "\" holds non-ASCII bytes, which Windows would read in its own code page";
    }
  }
  NameProblem problem = check_relative_name(name.data(), static_cast<u32>(std::min<std::size_t>(name.size(), 0xFFFFFFFFu)));
  if (problem == NameProblem::kNameOk) return {};
  return "the name \"" + printable(name) + "\" is refused: " + describe_name_problem(problem);
}

// The archive name of `file` below `folder`: its relative path with backslashes.
std::string name_below(const fs::path& folder, const fs::path& file) {
  std::string name;
  for (const fs::path& part : file.lexically_relative(folder)) {
    if (!name.empty()) name += '\\';
    name += part.string();
  }
  return name;
}

// True when `path` lies somewhere below `folder`: when one of the folders that hold it is `folder`,
// by whatever name.
bool lies_inside(const fs::path& path, const fs::path& folder) {
  std::error_code code;
  fs::path inner = fs::weakly_canonical(fs::absolute(path, code), code);
  for (fs::path above = inner.parent_path(); !above.empty(); above = above.parent_path()) {
    if (same_file(above, folder)) return true;
    if (above == above.parent_path()) break;
  }
  return false;
}

// The add-on name that the installer derives from the file name of `output` (and `zep install` from
// that of a bare archive): the name up to its first dot, lower case but for its first letter. False,
// with the problem in `error`, for a name the installer would refuse.
bool addon_name_of(const fs::path& output, std::string& name, std::string& error) {
  std::string lowered = output.filename().string();
  lower_case_ascii(lowered.data());
  char derived[kAddonNameCapacity];
  if (!derive_addon_name(lowered.c_str(), derived)) {
    error = "the add-on's name, which the installer takes from the file name of " + output.string() +
            ", is longer than " + std::to_string(kAddonNameCapacity - 1) + " characters";
    return false;
  }
  name = derived;
  if (name.empty()) {
    error = "the file name of " + output.string() +
            " gives the add-on no name (the installer takes the name up to the first dot)";
    return false;
  }
  for (char c : name) {
    if (static_cast<u8>(c) < 0x20 || c == ':' || c == '\\') {
      error = "the add-on's name \"" + printable(name) + "\", from the file name of " + output.string() +
              ", holds a character that Windows file names cannot";
      return false;
    }
  }
  return true;
}

// Gathers what the packing needs.
class Gatherer {
 public:
  Gatherer(std::vector<PackItem>& patches, std::vector<PackItem>& files) : patches_(patches), files_(files) {}

  // A name the add-on gets from an output's file name, as the installer derives it: no file may be
  // packed as that add-on's log or backup folder.
  void add_addon_name(const std::string& name) { addon_names_.push_back(name); }

  // A file this run writes: no input may be it.
  void add_output(const fs::path& path) { outputs_.push_back(path); }

  // Refuses `path` as an input when it is one of the outputs.
  bool refuse_output(const fs::path& path, std::string& error) const {
    for (const fs::path& output : outputs_) {
      if (same_file(path, output)) {
        error = "the output " + output.string() + " is also an input (" + path.string() +
                "); writing it would destroy what is packed";
        return true;
      }
    }
    return false;
  }

  // Leaves `path` out of every folder: a string patch source's resource goes in as its string patch
  // file only.
  void exclude(const fs::path& path) { consumed_.push_back(path); }

  // A string patch file: an .spk as it stands, an .spks source compiled to SPK4 and named after it.
  bool add_patch(const fs::path& path, std::string& error) {
    PackItem item;
    std::vector<u8> file_bytes;
    const std::vector<u8>* bytes = &item.bytes;
    if (has_extension(path, ".spks")) {
      fs::path resource;
      if (refuse_output(path, error)) return false;
      if (!compile_spk_source(path, item.bytes, resource, error)) return false;
      if (refuse_output(resource, error)) return false;
      item.in_memory = true;
      item.length = item.bytes.size();
      item.name = path.stem().string() + ".spk";
      exclude(resource);
    } else {
      if (!add_file_data(path, item, error)) return false;
      item.name = path.filename().string();
      FileSource file;
      if (!file.open(path, error)) return false;
      if (file.size() <= 0xFFFFFFFEu && !file.read_bytes(0, static_cast<std::size_t>(file.size()), file_bytes)) {
        error = "cannot read " + path.string();
        return false;
      }
      bytes = &file_bytes;
    }
    std::string resource_name;
    std::string objection = installer_objection(bytes->data(), item.length, addon_names_, resource_name);
    if (!objection.empty()) {
      error = "the string patch file " + path.string() + " is refused: " + objection;
      return false;
    }
    // Its resource is installed as override\<name>: no other file of the add-on may be installed there.
    std::string resource = "override\\" + resource_name;
    if (auto other = resources_.find(fold_case(resource)); other != resources_.end()) {
      error = "the string patch files " + other->second.string() + " and " + path.string() +
              " would both install " + resource;
      return false;
    }
    if (auto other = file_names_.find(fold_case(resource)); other != file_names_.end()) {
      error = "the string patch file " + path.string() + " and the file " + other->second.string() +
              " would both install " + resource;
      return false;
    }
    if (!add(patches_, patch_names_, std::move(item), path, error)) return false;
    resources_.emplace(fold_case(resource), path);
    return true;
  }

  // An other file under `name`.
  bool add_other(const fs::path& path, const std::string& name, std::string& error) {
    PackItem item;
    if (!add_file_data(path, item, error)) return false;
    if (auto patch = resources_.find(fold_case(name)); patch != resources_.end()) {
      error = "the string patch file " + patch->second.string() + " and the file " + path.string() +
              " would both install " + name;
      return false;
    }
    item.name = name;
    return add(files_, file_names_, std::move(item), path, error);
  }

  // An add-on folder: its top-level .spk and .spks files are string patch files, every other file
  // (those that a source takes as its resource excepted) is an other file under its relative path.
  bool add_folder(const fs::path& folder, std::string& error) {
    std::error_code code;
    if (!fs::is_directory(folder, code)) {
      error = fs::exists(folder, code) ? folder.string() + " is not a folder" : cannot("read", folder.string(), 3);
      return false;
    }
    std::vector<fs::path> top_patches;
    std::vector<std::pair<std::string, fs::path>> others;
    fs::recursive_directory_iterator walk(folder, code), end;
    for (; !code && walk != end; walk.increment(code)) {
      const fs::path& path = walk->path();
      if (path.filename().string()[0] == '.') {
        // Hidden files and folders (editor and version-control leftovers) are not part of an add-on.
        std::error_code ignored;
        if (walk->is_directory(ignored)) walk.disable_recursion_pending();
        continue;
      }
      if (walk->is_directory(code)) continue;
      if (!walk->is_regular_file(code)) {
        error = path.string() + " is neither a file nor a folder";
        return false;
      }
      bool top = walk.depth() == 0;
      if (top && (has_extension(path, ".spk") || has_extension(path, ".spks"))) {
        top_patches.push_back(path);
      } else {
        others.emplace_back(name_below(folder, path), path);
      }
    }
    if (code) {
      error = cannot("read the folder", folder.string(), code);
      return false;
    }
    // A fixed order, whatever order the file system lists: string patch files by name, other files by
    // archive name, both without regard to letter case.
    std::sort(top_patches.begin(), top_patches.end(), [](const fs::path& a, const fs::path& b) {
      return fold_case(a.filename().string()) < fold_case(b.filename().string());
    });
    std::sort(others.begin(), others.end(),
              [](const auto& a, const auto& b) { return fold_case(a.first) < fold_case(b.first); });
    for (const fs::path& path : top_patches) {
      if (!add_patch(path, error)) return false;
    }
    for (const auto& [name, path] : others) {
      if (is_consumed(path)) continue;
      if (!add_other(path, name, error)) return false;
    }
    return true;
  }

 private:
  bool add_file_data(const fs::path& path, PackItem& item, std::string& error) {
    if (refuse_output(path, error)) return false;
    std::error_code code;
    if (!fs::is_regular_file(path, code)) {
      error = fs::exists(path, code) ? path.string() + " is not a file" : cannot("read", path.string(), 2);
      return false;
    }
    u64 size = fs::file_size(path, code);
    if (code) {
      error = cannot("read", path.string(), code);
      return false;
    }
    item.path = path;
    item.length = size;
    return true;
  }

  bool add(std::vector<PackItem>& group, std::map<std::string, fs::path>& names, PackItem item,
           const fs::path& source, std::string& error) {
    std::string problem = check_archive_name(item.name);
    if (!problem.empty()) {
      error = source.string() + ": " + problem;
      return false;
    }
    for (const std::string& addon : addon_names_) {
      if (&group == &files_ && is_installer_own_name(item.name.c_str(), addon.c_str())) {
        error = source.string() + ": the name \"" + item.name + "\" is one the installer keeps for itself (" +
                "dialog.tlk, dialogF.tlk and the files written beside them at the top of the game folder or in "
                "lang\\, UInst.exe, any add-on's log or backup folder at the top of the game folder, or a first part such as NAME~1.EXT that Windows may take for the short name of one); it "
                "would never be installed";
        return false;
      }
    }
    auto [existing, fresh] = names.emplace(fold_case(item.name), source);
    if (!fresh) {
      error = "the name \"" + item.name + "\" is given twice (" + existing->second.string() + " and " +
              source.string() + "); names differing only in letter case are the same file on Windows";
      return false;
    }
    group.push_back(std::move(item));
    return true;
  }

  bool is_consumed(const fs::path& path) const {
    return std::any_of(consumed_.begin(), consumed_.end(), [&](const fs::path& used) { return same_file(path, used); });
  }

  std::vector<PackItem>& patches_;
  std::vector<PackItem>& files_;
  std::vector<std::string> addon_names_;  // see add_addon_name
  std::map<std::string, fs::path> patch_names_;  // folded name -> where it came from
  std::map<std::string, fs::path> file_names_;
  std::vector<fs::path> consumed_;  // files that no folder contributes
  std::vector<fs::path> outputs_;   // see add_output
  std::map<std::string, fs::path> resources_;  // folded "override\<resource>" of each string patch file -> the file
};

// The stub or uninstaller: the named file, else the one built into the tool.
bool load_program(const fs::path& named, EmbeddedProgram built_in, const char* what, std::vector<u8>& out,
                  std::string& error) {
  if (named.empty()) {
    if (built_in.data == nullptr) {
      error = std::string("this zep was built without its ") + what + "; name one with --" +
              (std::string(what) == "installer stub" ? "stub" : "uninstaller");
      return false;
    }
    out.assign(built_in.data, built_in.data + built_in.length);
    return true;
  }
  FileSource file;
  if (!file.open(named, error)) return false;
  if (file.size() > kArchiveOffset) {
    error = named.string() + " is too large for a " + what;
    return false;
  }
  if (!file.read_bytes(0, static_cast<std::size_t>(file.size()), out)) {
    error = "cannot read " + named.string();
    return false;
  }
  return true;
}

}  // namespace

bool same_file(const fs::path& a, const fs::path& b) {
  std::error_code code;
  const fs::path first = fs::weakly_canonical(fs::absolute(a, code), code);
  const fs::path second = fs::weakly_canonical(fs::absolute(b, code), code);
  if (first == second) return true;
  // Two names of one existing file (a link), or one file named in another letter case where the
  // file system ignores case; a file that does not exist yet is told by its folder and name.
  std::error_code other;
  if (fs::equivalent(first, second, other) && !other) return true;
  if (!names_ignore_case() || fold_case(first.filename().string()) != fold_case(second.filename().string())) {
    return false;
  }
  return fs::equivalent(first.parent_path(), second.parent_path(), other) && !other;
}

int run_pack(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  PackRequest request;
  std::string error;
  if (!parse_pack_arguments(args, request, error)) {
    return usage_error("pack", error, err);
  }

  std::vector<PackItem> patches;
  std::vector<PackItem> files;
  Gatherer gatherer(patches, files);
  bool gathered = true;
  if (!request.exe_output.empty() && !request.zep_output.empty() && same_file(request.exe_output, request.zep_output)) {
    return usage_error("pack", "-o and --zep name the same file", err);
  }
  std::vector<std::pair<fs::path, std::string>> addon_names;  // each output with the add-on name it gives
  for (const fs::path& output : {request.exe_output, request.zep_output}) {
    if (output.empty()) continue;
    for (const fs::path& folder : request.folders) {
      if (lies_inside(output, folder)) {
        err << "zep pack: the output " << output.string() << " lies inside the add-on folder " << folder.string()
            << ", every file of which is packed; write it somewhere else\n";
        return kExitFailed;
      }
    }
    gatherer.add_output(output);
    std::string name;
    if (!addon_name_of(output, name, error)) {
      err << "zep pack: " << error << "\n";
      return kExitFailed;
    }
    gatherer.add_addon_name(name);
    addon_names.emplace_back(output, name);
  }
  for (const fs::path& program : {request.stub, request.uninstaller}) {
    if (!program.empty() && gatherer.refuse_output(program, error)) {
      err << "zep pack: " << error << "\n";
      return kExitFailed;
    }
  }
  // Named string patch files first, so that a folder does not also pack their sources' resources.
  for (const fs::path& patch : request.patches) gathered = gathered && gatherer.add_patch(patch, error);
  for (const fs::path& folder : request.folders) gathered = gathered && gatherer.add_folder(folder, error);
  for (const auto& [path, name] : request.files) gathered = gathered && gatherer.add_other(path, name, error);
  for (const std::string& name : request.open) {
    if (!gathered) break;
    auto found = std::find_if(files.begin(), files.end(),
                              [&](const PackItem& item) { return fold_case(item.name) == fold_case(name); });
    if (found == files.end()) {
      error = "--open " + name + ": the add-on has no such file";
      gathered = false;
    } else {
      found->flags = kRunAfterInstall;
    }
  }
  ArchivePlan plan;
  if (!gathered || !plan_archive(patches, files, plan, error)) {
    err << "zep pack: " << error << "\n";
    return kExitFailed;
  }

  std::vector<u8> head;
  if (!request.exe_output.empty()) {
    std::vector<u8> stub;
    std::vector<u8> uninstaller;
    if (!load_program(request.stub, embedded_stub(), "installer stub", stub, error) ||
        !load_program(request.uninstaller, embedded_uninstaller(), "uninstaller", uninstaller, error) ||
        !build_self_extracting_head(stub, uninstaller, head, error)) {
      err << "zep pack: " << error << "\n";
      return kExitFailed;
    }
  }

  // Both outputs are written in one pass over the add-on's files and put in place only at the end.
  PendingFile exe;
  PendingFile zep;
  FileSink sink;
  bool written = true;
  if (!request.exe_output.empty()) {
    written = exe.create(request.exe_output, error) &&
              std::fwrite(head.data(), 1, head.size(), exe.file()) == head.size();
    if (written) sink.add(exe.file());
  }
  if (written && !request.zep_output.empty()) {
    written = zep.create(request.zep_output, error);
    if (written) sink.add(zep.file());
  }
  written = written && write_archive(plan, patches, files, sink, error);
  if (written && !request.exe_output.empty()) written = exe.commit(error);
  if (written && !request.zep_output.empty()) written = zep.commit(error);
  if (!written) {
    if (error.empty()) error = "cannot write the output";
    err << "zep pack: " << error << "\n";
    return kExitFailed;
  }

  for (const auto& [output, name] : addon_names) {
    out << output.string() << ": installs as the add-on \"" << name << "\"\n";
    std::string suggested = output.stem().string();
    if (suggested != name) {
      err << "zep pack: warning: " << output.string() << " installs as \"" << name << "\", not \"" << suggested
          << "\": the installer takes its file name up to the first dot, with the first letter in upper case and "
             "the others in lower case\n";
    }
  }
  u64 archive_length = plan.header.total_length;
  if (!request.exe_output.empty()) {
    out << request.exe_output.string() << ": " << kArchiveOffset + archive_length
        << " bytes (stub, uninstaller at " << kUninstallerOffset << ", archive at " << kArchiveOffset << ")\n";
  }
  if (!request.zep_output.empty()) out << request.zep_output.string() << ": " << archive_length << " bytes\n";
  out << patches.size() << " string patch file(s), " << files.size() << " other file(s)\n";
  return kExitOk;
}

}  // namespace zep::tool
