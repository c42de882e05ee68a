// The installer's archive as a user meets it: a self-extracting file is started for real from its
// folder, its contents list is read from outside, the archive is saved through the Save As dialog,
// and a damaged download is reported while the window comes up.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>

#include "tests/support/archive_builder.h"
#include "tests/support/installer_run.h"
#include "tests/support/message_script.h"
#include "tests/support/temp_folder.h"
#include "tests/support/windows_ui.h"

namespace zep::test {
namespace {

constexpr DWORD kPatience = kWindowPatience;

// The contents list as it should read for an archive of `patches` and `files`.
std::vector<std::string> expected_lines(const std::vector<TestEntry>& patches,
                                        const std::vector<TestEntry>& files) {
  std::vector<std::string> lines;
  lines.push_back(patches.empty() ? "No SPK files in this archive" : "SPK files in this archive:");
  for (const TestEntry& entry : patches) lines.push_back(entry.name);
  lines.push_back("");
  lines.push_back(files.empty() ? "No other files in this archive" : "Other files in this archive:");
  for (const TestEntry& entry : files) lines.push_back(entry.name);
  return lines;
}

TEST(ArchiveWindow, ListsTheSampleArchiveAndWorksOnACopyOfItselfUntilClosed) {
  MessageScript script;
  InstallerRun run(build_installer(build_test_archive(sample_patches(), sample_files())));
  ASSERT_FALSE(run.installer().empty()) << "cannot read " << ZEP_TEST_STUB << " or " << ZEP_TEST_UINST;
  ASSERT_TRUE(run.started());
  script.watch_process(run.process_id());
  HWND window = run.wait_for_shown_main_window();
  ASSERT_NE(window, nullptr) << "the main window was not shown";

  EXPECT_TRUE(script.shown().empty()) << describe(script.shown());
  HWND list = contents_list(window);
  ASSERT_NE(list, nullptr);
  const std::vector<std::string> expected = {
      "SPK files in this archive:",
      "EVILAMUL.spk",
      "",
      "Other files in this archive:",
      "Override\\evilamul.spl",
      "Override\\evlamul1.eff",
      "Override\\evlamul2.eff",
      "Override\\evlamul3.eff",
      "Override\\evilamul_readme.txt",
  };
  EXPECT_EQ(list_box_lines(list), expected);
  EXPECT_EQ(list_box_lines(list), expected_lines(sample_patches(), sample_files()));

  // The working copy is the running executable, byte for byte, in the current folder. It can be read
  // (by a program that lets it be deleted as it reads), but neither written nor deleted.
  const std::string copy = run.working_copy().string();
  HANDLE reader = CreateFileA(copy.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(reader, INVALID_HANDLE_VALUE) << "no working copy \"tmp\" in the current folder: " << GetLastError();
  std::string bytes(run.installer().size() + 1, '\0');
  DWORD read = 0;
  ReadFile(reader, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr);
  CloseHandle(reader);
  bytes.resize(read);
  EXPECT_TRUE(bytes == run.installer()) << "\"tmp\" differs from the installer";
  HANDLE writer = CreateFileA(copy.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  EXPECT_EQ(writer, INVALID_HANDLE_VALUE) << "another program could change what is installed";
  if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
  EXPECT_FALSE(DeleteFileA(copy.c_str())) << "another program could swap the working copy";

  close_and_expect_clean_end(run, window);
  EXPECT_TRUE(script.shown().empty()) << describe(script.shown());
}

TEST(ArchiveWindow, NamesAMissingKindOfFileInsteadOfItsHeading) {
  struct Shape {
    const char* name;
    std::vector<TestEntry> patches;
    std::vector<TestEntry> files;
  };
  const std::vector<Shape> shapes = {
      {"no files at all", {}, {}},
      {"other files only", {}, sample_files()},
      {"string patch files only", sample_patches(), {}},
  };
  for (const Shape& shape : shapes) {
    SCOPED_TRACE(shape.name);
    MessageScript script;
    InstallerRun run(build_installer(build_test_archive(shape.patches, shape.files)));
    ASSERT_FALSE(run.installer().empty());
    ASSERT_TRUE(run.started());
    script.watch_process(run.process_id());
    HWND window = run.wait_for_shown_main_window();
    ASSERT_NE(window, nullptr) << "the main window was not shown";
    EXPECT_EQ(list_box_lines(contents_list(window)), expected_lines(shape.patches, shape.files));
    EXPECT_TRUE(script.shown().empty()) << describe(script.shown());
    close_and_expect_clean_end(run, window);
  }
  // The shape without any file, spelled out.
  EXPECT_EQ(expected_lines({}, {}),
            (std::vector<std::string>{"No SPK files in this archive", "", "No other files in this archive"}));
}

// The file name field of the Save As dialog: the edit field inside the file name combo (cmb13).
HWND file_name_field(HWND save_as) { return find_descendant(save_as, "Edit", 0x47C); }

// Waits for a message box of process `process_id` that is not `except`; null when none came.
HWND wait_for_message_box(DWORD process_id, HWND except = nullptr) {
  return wait_for_dialog(
      process_id, [&](HWND dialog) { return dialog != except && looks_like_message_box(dialog); }, kPatience);
}

// Presses "Extract ZEP from archive" while the program shows no dialog, and returns the dialog it
// shows then; null when none came. For a sound archive that is the Save As dialog.
HWND press_extract(InstallerRun& run, HWND window) {
  HWND extract = find_button(window, "Extract ZEP from archive");
  if (extract == nullptr) return nullptr;
  press_button(extract);
  return wait_for_dialog(run.process_id(), [](HWND) { return true; }, kPatience);
}

// Types `path` into the Save As dialog's file name field and presses Save. Returns false when the
// dialog does not have the field or the button.
bool save_as_file(HWND save_as, const std::string& path) {
  HWND name_field = file_name_field(save_as);
  HWND save = find_button(save_as, "&Save");
  if (name_field == nullptr || save == nullptr || !set_window_text(name_field, path)) return false;
  press_button(save);
  return true;
}

// Checks that `box` is the message that ends a successful extraction, owned by the main window.
void expect_ready_message(HWND box, HWND window) {
  EXPECT_EQ(window_text(box), "Ready");
  EXPECT_EQ(message_box_text(box), "ZEP file has been extracted.");
  EXPECT_EQ(GetWindow(box, GW_OWNER), window) << "\"Ready\" is owned by the main window";
  EXPECT_NE(find_button(box, "OK"), nullptr) << "\"Ready\" has just an OK button";
  EXPECT_EQ(find_button(box, "&Yes"), nullptr);
}

TEST(ArchiveWindow, ExtractsTheArchiveThroughAnOwnerlessSaveAsDialog) {
  const std::string archive = build_test_archive(sample_patches(), sample_files());
  InstallerRun run(build_installer(archive));
  ASSERT_FALSE(run.installer().empty());
  ASSERT_TRUE(run.started());
  HWND window = run.wait_for_shown_main_window();
  ASSERT_NE(window, nullptr) << "the main window was not shown";

  // No MessageScript here: the boxes come from two owners (the dialog's own questions and the
  // program's messages), in an order that depends on the system's dialog, so each is met by hand.
  HWND save_as = press_extract(run, window);
  ASSERT_NE(save_as, nullptr) << "pressing Extract showed nothing";
  ASSERT_FALSE(looks_like_message_box(save_as)) << "a message instead of the Save As dialog: "
                                                 << window_text(save_as) << ": " << message_box_text(save_as);
  EXPECT_EQ(GetWindow(save_as, GW_OWNER), nullptr) << "the Save As dialog must have no owner";
  EXPECT_TRUE(IsWindowEnabled(window)) << "an ownerless dialog leaves the main window usable";
  HWND file_type = find_descendant(save_as, "ComboBox", 0x470);  // cmb1, the file type list
  ASSERT_NE(file_type, nullptr);
  EXPECT_EQ(window_text(file_type), "ZEP files(*.ZEP)");

  // A name without an extension gets the default one.
  const std::filesystem::path saved = run.folder().native() / "saved.zep";
  ASSERT_TRUE(save_as_file(save_as, run.folder() / "saved")) << "the Save As dialog has no file name field";

  // The target does not exist yet, so the dialog may first ask whether to create it: Windows' dialog
  // asks, wine's goes straight on.
  HWND box = wait_for_message_box(run.process_id());
  ASSERT_NE(box, nullptr) << "neither a question nor \"Ready\" came";
  if (HWND yes = find_button(box, "&Yes")) {
    EXPECT_EQ(GetWindow(box, GW_OWNER), save_as) << "the question belongs to the Save As dialog";
    EXPECT_FALSE(std::filesystem::exists(saved)) << "nothing is written before the question is answered";
    press_button(yes);
    box = wait_for_message_box(run.process_id(), box);
    ASSERT_NE(box, nullptr) << "no \"Ready\" message came";
  }
  EXPECT_FALSE(IsWindow(save_as)) << "the Save As dialog is gone once the file is chosen";
  expect_ready_message(box, window);
  // The file is complete when the message is shown.
  EXPECT_TRUE(read_native_file(saved) == archive) << "the saved file is not the archive: "
                                                  << read_native_file(saved).size() << " bytes, "
                                                  << archive.size() << " expected";
  press_button(find_button(box, "OK"));
  EXPECT_TRUE(wait_until([&] { return visible_dialogs(run.process_id()).empty(); }, kPatience));

  close_and_expect_clean_end(run, window);
  EXPECT_TRUE(read_native_file(saved) == archive) << "the saved file must outlive the program";
}

TEST(ArchiveWindow, ExtractingAsksBeforeReplacingAndSaysNothingWhenCancelled) {
  const std::string archive = build_test_archive(sample_patches(), sample_files());
  InstallerRun run(build_installer(archive));
  ASSERT_FALSE(run.installer().empty());
  ASSERT_TRUE(run.started());
  HWND window = run.wait_for_shown_main_window();
  ASSERT_NE(window, nullptr) << "the main window was not shown";

  // A cancelled dialog ends the command without a message. The program handles the second press
  // of Extract only after the cancelled command is over, so a message from it would be on the
  // screen, unanswered, by the time the next Save As dialog is.
  HWND cancelled = press_extract(run, window);
  ASSERT_NE(cancelled, nullptr) << "pressing Extract showed nothing";
  ASSERT_FALSE(looks_like_message_box(cancelled));
  HWND cancel = find_button(cancelled, "Cancel");
  ASSERT_NE(cancel, nullptr);
  press_button(cancel);
  press_button(find_button(window, "Extract ZEP from archive"));
  HWND save_as = wait_for_dialog(run.process_id(), [&](HWND dialog) { return dialog != cancelled; }, kPatience);
  ASSERT_NE(save_as, nullptr) << "pressing Extract again showed nothing";
  for (HWND dialog : visible_dialogs(run.process_id())) {
    EXPECT_FALSE(looks_like_message_box(dialog))
        << "a message after a cancelled dialog: " << window_text(dialog) << ": " << message_box_text(dialog);
  }
  ASSERT_FALSE(looks_like_message_box(save_as));

  // An existing file is replaced only when the user agrees, and then replaced entirely.
  const std::filesystem::path target = run.folder().native() / "existing.zep";
  const std::string old_content(archive.size() + 1000, 'x');
  write_native_file(target, old_content);
  ASSERT_TRUE(save_as_file(save_as, run.folder() / "existing.zep"));
  HWND question = wait_for_message_box(run.process_id());
  ASSERT_NE(question, nullptr) << "no question before replacing a file";
  HWND yes = find_button(question, "&Yes");
  ASSERT_NE(yes, nullptr) << "not a question: " << window_text(question) << ": " << message_box_text(question);
  EXPECT_EQ(GetWindow(question, GW_OWNER), save_as) << "the question belongs to the Save As dialog";
  EXPECT_TRUE(read_native_file(target) == old_content) << "the file was touched before the answer";
  press_button(yes);
  HWND ready = wait_for_message_box(run.process_id(), question);
  ASSERT_NE(ready, nullptr) << "no \"Ready\" message came";
  expect_ready_message(ready, window);
  EXPECT_TRUE(read_native_file(target) == archive) << "the replaced file is not exactly the archive: "
                                                   << read_native_file(target).size() << " bytes, "
                                                   << archive.size() << " expected";
  press_button(find_button(ready, "OK"));
  EXPECT_TRUE(wait_until([&] { return visible_dialogs(run.process_id()).empty(); }, kPatience));

  close_and_expect_clean_end(run, window);
}

TEST(ArchiveWindow, WhileTheSaveAsDialogIsUpAnotherPressIsIgnoredAndClosingWaitsForTheCommand) {
  InstallerRun run(build_installer(build_test_archive(sample_patches(), sample_files())));
  ASSERT_FALSE(run.installer().empty());
  ASSERT_TRUE(run.started());
  HWND window = run.wait_for_shown_main_window();
  ASSERT_NE(window, nullptr) << "the main window was not shown";
  HWND save_as = press_extract(run, window);
  ASSERT_NE(save_as, nullptr) << "pressing Extract showed nothing";

  // The dialog has no owner, so the button can be pressed again: nothing may start inside the
  // running command (it would meet the working copy held open and report "ZEP read Error").
  press_button(find_button(window, "Extract ZEP from archive"));
  EXPECT_FALSE(wait_until(
      [&] {
        for (HWND dialog : visible_dialogs(run.process_id())) {
          if (dialog != save_as) return true;
        }
        return false;
      },
      3000))
      << "a second press opened something";

  // Closing the window while the dialog is up keeps it until the command has ended, then ends the
  // program, and the working copy goes with it.
  ASSERT_TRUE(PostMessageA(window, WM_CLOSE, 0, 0));
  EXPECT_EQ(run.program().wait_for_exit(2000), -1) << "the program ended with the dialog still up";
  EXPECT_TRUE(IsWindow(window));
  HWND cancel = find_button(save_as, "Cancel");
  ASSERT_NE(cancel, nullptr);
  press_button(cancel);
  EXPECT_EQ(run.program().wait_for_exit(kPatience), 0);
  EXPECT_FALSE(std::filesystem::exists(run.working_copy())) << "the working copy \"tmp\" was left behind";
}

TEST(ArchiveWindow, ReportsADamagedArchiveWhileTheWindowIsCreatedAndListsNothing) {
  std::string installer = build_installer(build_test_archive(sample_patches(), sample_files()));
  ASSERT_GT(installer.size(), 40960u + 100u);
  installer.resize(installer.size() - 100);  // a download cut short
  InstallerRun run(installer);
  ASSERT_TRUE(run.started());

  HWND box = wait_for_message_box(run.process_id());
  ASSERT_NE(box, nullptr) << "no message about the damage came";
  HWND window = run.wait_for_main_window();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(GetWindow(box, GW_OWNER), window) << "the message is owned by the window being created";
  EXPECT_FALSE(IsWindowVisible(window)) << "the window is still in creation, not yet shown";
  EXPECT_EQ(window_text(box), "ZEP archive damaged");
  const std::string text = message_box_text(box);
  const std::string opening = "This installer's archive is damaged: ";
  EXPECT_EQ(text.substr(0, opening.size()), opening) << text;
  EXPECT_NE(text.find("cut short"), std::string::npos) << text;
  HWND ok = find_button(box, "OK");
  ASSERT_NE(ok, nullptr);
  press_button(ok);

  ASSERT_TRUE(wait_until([&] { return IsWindowVisible(window) != 0; }, kPatience))
      << "the window did not come up after the message";
  HWND list = contents_list(window);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list_box_lines(list), std::vector<std::string>{}) << "nothing is listed from a damaged archive";

  // Extracting checks the archive again and says so once more, now over the shown window.
  HWND again = press_extract(run, window);
  ASSERT_NE(again, nullptr) << "pressing Extract showed nothing";
  EXPECT_TRUE(looks_like_message_box(again)) << "no Save As dialog for a damaged archive";
  EXPECT_EQ(window_text(again), "ZEP archive damaged");
  EXPECT_EQ(GetWindow(again, GW_OWNER), window);
  EXPECT_EQ(message_box_text(again).substr(0, opening.size()), opening);
  press_button(find_button(again, "OK"));
  EXPECT_TRUE(wait_until([&] { return visible_dialogs(run.process_id()).empty(); }, kPatience));

  close_and_expect_clean_end(run, window);
}

}  // namespace
}  // namespace zep::test
