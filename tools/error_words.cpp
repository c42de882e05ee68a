#include "tools/error_words.h"

#include <cerrno>

namespace zep::tool {

std::string error_words(u32 code) {
  struct Words {
    u32 code;
    const char* words;
  };
  static const Words kWords[] = {
      {2, "no such file"},
      {3, "no such folder"},
      {5, "access denied"},
      {8, "not enough memory"},
      {19, "the medium is write-protected"},
      {23, "data error"},
      {32, "it is in use by another program"},
      {33, "part of it is locked by another program"},
      {38, "it ends sooner than it says"},
      {80, "it exists already"},
      {82, "cannot create a file there"},
      {87, "the name is not valid"},
      {112, "the disk is full"},
      {123, "the name is not valid"},
      {145, "the folder is not empty"},
      {183, "it exists already"},
      {206, "the name or path is too long"},
      {267, "it is not a folder"},
      {1392, "the file or folder is damaged"},
  };
  for (const Words& entry : kWords) {
    if (entry.code == code) return std::string(entry.words) + " (" + std::to_string(code) + ")";
  }
  return "error " + std::to_string(code);
}

u32 windows_code_of_errno(int error) {
  switch (error) {
    case 0: return 0;
    case ENOENT: return 2;
    case ENOTDIR: return 3;
    case EACCES:
    case EPERM:
    case EROFS: return error == EROFS ? 19 : 5;
    case ENOMEM: return 8;
    case EBUSY: return 32;
#ifdef ETXTBSY
    case ETXTBSY: return 32;
#endif
    case EEXIST: return 80;
    case EINVAL: return 87;
    case ENOSPC: return 112;
    case ENAMETOOLONG: return 206;
    case ENOTEMPTY: return 145;
    case EISDIR: return 5;
    case EIO: return 23;
    default: return 0x20000000u | static_cast<u32>(error);  // no Windows number: marked as the C library's own
  }
}

std::string cannot(const std::string& verb, const std::string& path, u32 code) {
  return "cannot " + verb + " " + path + ": " + error_words(code);
}

std::string cannot(const std::string& verb, const std::string& path, const std::error_code& code) {
  // The portable condition of the code, whichever system's numbers it holds.
  const u32 windows_code = windows_code_of_errno(code.default_error_condition().value());
  if (windows_code & 0x20000000u) return "cannot " + verb + " " + path + ": " + code.message();
  return cannot(verb, path, windows_code);
}

std::string cannot_errno(const std::string& verb, const std::string& path) {
  int error = errno;
  u32 code = windows_code_of_errno(error);
  if (code & 0x20000000u) return "cannot " + verb + " " + path + ": C library error " + std::to_string(error);
  return cannot(verb, path, code);
}

}  // namespace zep::tool
