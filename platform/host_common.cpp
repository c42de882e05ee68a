#include "platform/host_common.h"

namespace zep {
namespace host_detail {

char fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string folded(const std::string& text) {
  std::string result = text;
  for (char& c : result) c = fold(c);
  return result;
}

}  // namespace host_detail
}  // namespace zep
