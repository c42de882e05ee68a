#include "tests/support/installer_run.h"

#include <objidl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

namespace zep::test {

InstallerRun::InstallerRun(const std::string& installer, const std::string& arguments,
                           const BeforeItRuns& before_it_runs, const std::string& name)
    : name_(name), installer_(installer) {
  write_native_file(exe(), installer);
  const std::string path = folder_ / (name + ".exe");
  const std::string command_line = "\"" + path + "\"" + (arguments.empty() ? "" : " " + arguments);
  program_ = std::make_unique<StartedProgram>(path, command_line, folder_.path(), before_it_runs);
}

InstallerRun::InstallerRun(bool (*write)(const std::filesystem::path& exe)) {
  const std::string path = folder_ / "Sample.exe";
  // Without its file nothing is started: an empty program name starts nothing.
  program_ = std::make_unique<StartedProgram>(write(exe()) ? path : std::string(), "\"" + path + "\"", folder_.path());
}

HWND InstallerRun::wait_for_main_window() {
  return wait_for_window("ZEPExtractor", program_->process_id(), kWindowPatience);
}

HWND InstallerRun::wait_for_shown_main_window() {
  HWND window = wait_for_main_window();
  if (window == nullptr) return nullptr;
  return wait_until([&] { return IsWindowVisible(window) != 0; }, kWindowPatience) ? window : nullptr;
}

void close_and_expect_clean_end(InstallerRun& run, HWND window) {
  ASSERT_TRUE(PostMessageA(window, WM_CLOSE, 0, 0));
  EXPECT_EQ(run.program().wait_for_exit(kWindowPatience), 0);
  EXPECT_FALSE(std::filesystem::exists(run.working_copy())) << "the working copy \"tmp\" was left behind";
  EXPECT_TRUE(std::filesystem::exists(run.exe())) << "the installer itself must stay";
}

std::string describe(const std::vector<ShownMessage>& shown) {
  std::string text;
  for (const ShownMessage& message : shown) text += "[" + message.caption + ": " + message.text + "] ";
  return text;
}

LinkContent read_link(const std::string& link_path) {
  LinkContent content{"<unreadable>", "<unreadable>", "<unreadable>"};
  IShellLinkA* link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                              reinterpret_cast<void**>(&link)))) {
    return content;
  }
  IPersistFile* file = nullptr;
  if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
    WCHAR wide[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, link_path.c_str(), -1, wide, MAX_PATH);
    if (SUCCEEDED(file->Load(wide, STGM_READ))) {
      char text[1024];
      if (SUCCEEDED(link->GetPath(text, sizeof text, nullptr, 0))) content.path = text;
      if (SUCCEEDED(link->GetArguments(text, sizeof text))) content.arguments = text;
      if (SUCCEEDED(link->GetDescription(text, sizeof text))) content.description = text;
    }
    file->Release();
  }
  link->Release();
  return content;
}

HWND main_window_control(HWND window, std::size_t index) {
  std::vector<HWND> children = child_windows(window);
  return index < children.size() ? children[index] : nullptr;
}

}  // namespace zep::test
