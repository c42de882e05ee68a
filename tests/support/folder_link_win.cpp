#include "tests/support/folder_link.h"

#include <windows.h>

#include <string>

#include "tests/support/windows_ui.h"

namespace zep::test {
namespace {

bool is_link(const std::filesystem::path& path) {
  const DWORD attributes = GetFileAttributesW(path.wstring().c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

// The Linux path of `path` under wine (through the function wine's kernel32 exports for it); empty
// elsewhere.
std::string unix_path(const std::filesystem::path& path) {
  using UnixFileName = char*(CDECL*)(const wchar_t*);
  // Through void (*)(): GetProcAddress gives every function one type, which is then the right one.
  const auto convert = reinterpret_cast<UnixFileName>(reinterpret_cast<void (*)()>(
      GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name")));
  if (convert == nullptr) return "";
  char* converted = convert(path.wstring().c_str());
  if (converted == nullptr) return "";
  std::string result = converted;
  HeapFree(GetProcessHeap(), 0, converted);
  return result;
}

}  // namespace

bool may_refuse_links() { return unix_path(std::filesystem::temp_directory_path()).empty(); }

bool make_folder_link(const std::filesystem::path& link, const std::filesystem::path& target) {
  const std::string link_name = link.string();
  const std::string target_name = target.string();
  if (CreateSymbolicLinkA(link_name.c_str(), target_name.c_str(),
                          SYMBOLIC_LINK_FLAG_DIRECTORY | SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) &&
      is_link(link)) {
    return true;
  }
  // Wine starts a Linux program as it starts a Windows one.
  const std::string from = unix_path(target);
  const std::string to = unix_path(link);
  if (from.empty() || to.empty()) return false;
  // The command line is split into arguments as Windows splits it.
  std::string command = "/bin/ln -s \"" + from + "\" \"" + to + "\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA("Z:\\bin\\ln", command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return false;
  }
  if (process.hProcess != nullptr) CloseHandle(process.hProcess);
  if (process.hThread != nullptr) CloseHandle(process.hThread);
  return wait_until([&] { return is_link(link); }, 10000);
}

}  // namespace zep::test
