#include "tests/support/folder_link.h"

namespace zep::test {

bool may_refuse_links() { return false; }

bool make_folder_link(const std::filesystem::path& link, const std::filesystem::path& target) {
  std::error_code error;
  std::filesystem::create_directory_symlink(target, link, error);
  return !error && std::filesystem::is_symlink(link);
}

}  // namespace zep::test
