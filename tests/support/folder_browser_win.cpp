// The folder browser, steered from outside its process (see folder_browser.h).
#include "tests/support/folder_browser.h"

#include <commctrl.h>

#include <gtest/gtest.h>

#include "tests/support/windows_ui.h"

namespace zep::test {

constexpr char kBrowserTitle[] = "Choose the directory containing the IE game.";

namespace {

// The browser's tree view, read and driven through memory in the browser's process: a tree item's
// text can only be fetched into a buffer that lives there.
class RemoteTree {
 public:
  RemoteTree(HWND tree, DWORD process_id) : tree_(tree) {
    process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, process_id);
    if (process_ != nullptr) {
      remote_ = static_cast<char*>(
          VirtualAllocEx(process_, nullptr, kBlockSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    }
  }
  ~RemoteTree() {
    if (remote_ != nullptr) VirtualFreeEx(process_, remote_, 0, MEM_RELEASE);
    if (process_ != nullptr) CloseHandle(process_);
  }
  RemoteTree(const RemoteTree&) = delete;
  RemoteTree& operator=(const RemoteTree&) = delete;

  bool usable() const { return remote_ != nullptr; }

  HTREEITEM root() const { return next_item(nullptr, TVGN_ROOT); }
  // The item's children, the browser having been asked to fill them in first.
  std::vector<HTREEITEM> children(HTREEITEM item) const {
    send(TVM_EXPAND, TVE_EXPAND, reinterpret_cast<LPARAM>(item));
    std::vector<HTREEITEM> found;
    for (HTREEITEM child = next_item(item, TVGN_CHILD); child != nullptr; child = next_item(child, TVGN_NEXT)) {
      found.push_back(child);
    }
    return found;
  }

  std::string text(HTREEITEM item) const {
    TVITEMW request = {};
    request.mask = TVIF_TEXT | TVIF_HANDLE;
    request.hItem = item;
    request.pszText = reinterpret_cast<LPWSTR>(remote_ + kTextOffset);
    request.cchTextMax = kTextCharacters;
    WCHAR wide[kTextCharacters] = {};
    if (!WriteProcessMemory(process_, remote_, &request, sizeof request, nullptr) ||
        !WriteProcessMemory(process_, remote_ + kTextOffset, wide, sizeof wide, nullptr) ||
        send(TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(remote_)) == 0 ||
        !ReadProcessMemory(process_, remote_, &request, sizeof request, nullptr) ||
        !ReadProcessMemory(process_, request.pszText, wide, sizeof wide, nullptr)) {
      return "<unreadable>";
    }
    wide[kTextCharacters - 1] = 0;
    char text[2 * kTextCharacters] = {};
    WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof text, nullptr, nullptr);
    return text;
  }

  // Selects `item` as a click on it does; the browser takes it as its choice.
  bool select(HTREEITEM item) const {
    return send(TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item)) != 0 &&
           reinterpret_cast<HTREEITEM>(send(TVM_GETNEXTITEM, TVGN_CARET, 0)) == item;
  }

 private:
  static constexpr SIZE_T kBlockSize = 4096;
  static constexpr SIZE_T kTextOffset = 256;
  static constexpr int kTextCharacters = 512;  // fits the block behind the request
  static_assert(sizeof(TVITEMW) <= kTextOffset, "the request fits before the text");
  static_assert(kTextOffset + kTextCharacters * sizeof(WCHAR) <= kBlockSize, "the text fits the block");

  LRESULT send(UINT message, WPARAM wparam, LPARAM lparam) const {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(tree_, message, wparam, lparam, SMTO_ABORTIFHUNG, 10000, &result)) return 0;
    return static_cast<LRESULT>(result);
  }
  HTREEITEM next_item(HTREEITEM item, WPARAM how) const {
    return reinterpret_cast<HTREEITEM>(send(TVM_GETNEXTITEM, how, reinterpret_cast<LPARAM>(item)));
  }

  HWND tree_;
  HANDLE process_ = nullptr;
  char* remote_ = nullptr;
};

}  // namespace

std::vector<std::string> split_path(const std::string& path) {
  std::vector<std::string> names;
  std::string name;
  for (char c : path) {
    if (c == '\\') {
      if (!name.empty()) names.push_back(name);
      name.clear();
    } else {
      name += c;
    }
  }
  if (!name.empty()) names.push_back(name);
  return names;
}

namespace {

bool same_name(const std::string& a, const std::string& b) { return lstrcmpiA(a.c_str(), b.c_str()) == 0; }

// A drive's item is shown as "C:", "C:\" or in brackets after its label: "Local Disk (C:)", or
// " (C:)" under wine.
bool names_drive(const std::string& text, const std::string& drive) {
  const std::string in_brackets = "(" + drive + ")";
  return same_name(text, drive) || same_name(text, drive + "\\") ||
         (text.size() >= in_brackets.size() &&
          same_name(text.substr(text.size() - in_brackets.size()), in_brackets));
}

// The texts of `items`, for the messages of a walk that lost its way.
std::string list_texts(const RemoteTree& tree, const std::vector<HTREEITEM>& items) {
  std::string texts;
  for (HTREEITEM item : items) texts += "\"" + tree.text(item) + "\" ";
  return texts;
}

// Walks the browser's tree as a user clicks through it: from the Desktop to the computer, to the
// drive of `folder` (a full path such as "C:\users\me\Temp\game"), then one folder level after the
// other, and selects the last. Returns an empty string on success, otherwise where the walk got lost.
}  // namespace

std::string select_in_tree(HWND browser, DWORD process_id, const std::string& folder) {
  HWND tree_window = find_descendant(browser, "SysTreeView32");
  if (tree_window == nullptr) return "the browser has no tree";
  RemoteTree tree(tree_window, process_id);
  if (!tree.usable()) return "cannot reach the browser's memory";
  HTREEITEM root = nullptr;
  if (!wait_until([&] { return (root = tree.root()) != nullptr; }, kWindowPatience)) return "the tree has no root";

  const std::vector<std::string> names = split_path(folder);
  if (names.empty()) return "nothing to select";
  // The computer is a child of the Desktop, under one of the names the systems give it; the drive is
  // one of its children.
  std::vector<HTREEITEM> top = tree.children(root);
  HTREEITEM current = nullptr;
  for (HTREEITEM item : top) {
    const std::string name = tree.text(item);
    if (!same_name(name, "My Computer") && !same_name(name, "Computer") && !same_name(name, "This PC")) continue;
    for (HTREEITEM drive : tree.children(item)) {
      if (names_drive(tree.text(drive), names[0])) current = drive;
    }
    if (current != nullptr) break;
  }
  if (current == nullptr) {
    return "no drive " + names[0] + " under the computer; the Desktop (\"" + tree.text(root) + "\") holds " +
           list_texts(tree, top);
  }
  for (std::size_t i = 1; i < names.size(); ++i) {
    std::vector<HTREEITEM> below = tree.children(current);
    HTREEITEM next = nullptr;
    for (HTREEITEM item : below) {
      if (same_name(tree.text(item), names[i])) next = item;
    }
    if (next == nullptr) {
      return "no \"" + names[i] + "\" under \"" + tree.text(current) + "\": " + list_texts(tree, below);
    }
    current = next;
  }
  if (!tree.select(current)) return "the tree did not take the selection of \"" + tree.text(current) + "\"";
  return "";
}

// Presses "Select game path" while the program shows no dialog and returns the folder browser it opens
// then; null when none came. The browser must show the installer's title and belong to the main
// window, which it holds back while it is up.
HWND open_folder_browser(InstallerRun& run, HWND window) {
  press_button(select_button(window));
  HWND browser = wait_for_dialog(
      run.process_id(), [](HWND dialog) { return find_descendant(dialog, "SysTreeView32") != nullptr; }, kWindowPatience);
  if (browser == nullptr) return nullptr;
  bool titled = false;
  for (HWND child : child_windows(browser)) {
    if (same_name(window_class_name(child), "Static") && window_text(child) == kBrowserTitle) titled = true;
  }
  EXPECT_TRUE(titled) << "the folder browser does not show \"" << kBrowserTitle << "\"";
  EXPECT_EQ(GetWindow(browser, GW_OWNER), window) << "the folder browser belongs to the main window";
  EXPECT_FALSE(IsWindowEnabled(window)) << "the main window waits while the folder browser is up";
  EXPECT_NE(find_button(browser, "OK"), nullptr);
  EXPECT_NE(find_button(browser, "Cancel"), nullptr);
  return browser;
}

// Chooses `folder` in the browser the Select button opens and presses OK. Returns false, with a
// failure, when that cannot be done.
bool choose_folder_in_browser(InstallerRun& run, HWND window, const std::string& folder) {
  HWND browser = open_folder_browser(run, window);
  EXPECT_NE(browser, nullptr) << "pressing \"Select game path\" showed no folder browser";
  if (browser == nullptr) return false;
  const std::string lost = select_in_tree(browser, run.process_id(), folder);
  EXPECT_EQ(lost, "") << "while choosing " << folder;
  HWND ok = find_button(browser, "OK");
  if (!lost.empty() || ok == nullptr) {
    if (HWND cancel = find_button(browser, "Cancel")) press_button(cancel);
    return false;
  }
  press_button(ok);
  return true;
}

}  // namespace zep::test
