// A link planted in a folder, as someone who may write a game folder could plant one there.
#pragma once

#include <filesystem>

namespace zep::test {

// Makes `link` a symbolic link to the folder `target`: on Linux with symlink(); on Windows with
// CreateSymbolicLinkA, and under wine, whose CreateSymbolicLinkA makes nothing, as a Linux symbolic
// link made by /bin/ln, which wine reports as a reparse point. Returns true once the system reports
// `link` as a link.
bool make_folder_link(const std::filesystem::path& link, const std::filesystem::path& target);

// True where make_folder_link may fail for want of a right: only on Windows itself, where making a
// symbolic link takes developer mode or administrator rights. A test skips then; elsewhere it fails.
bool may_refuse_links();

}  // namespace zep::test
