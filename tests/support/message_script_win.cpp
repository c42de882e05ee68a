// The Windows half of MessageScript: a thread that looks for message boxes (dialogs of class
// "#32770" with nothing but Static and Button children) of this process, or of a watched one, reads
// them and presses the scripted button, as a user would.
#include <windows.h>

#include <atomic>
#include <set>
#include <thread>

#include "tests/support/message_script.h"
#include "tests/support/windows_ui.h"

namespace zep::test {

struct MessageScript::Watcher {
  std::atomic<bool> stop{false};
  std::atomic<DWORD> other_process{0};
  std::set<HWND> answered;
  std::thread thread;
};

namespace {

struct Search {
  DWORD process_a;
  DWORD process_b;
  std::vector<HWND> boxes;
};

BOOL CALLBACK collect_box(HWND window, LPARAM param) {
  Search* search = reinterpret_cast<Search*>(param);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process != search->process_a && process != search->process_b) return TRUE;
  if (!IsWindowVisible(window) || window_class_name(window) != "#32770") return TRUE;
  // Other dialogs of that class, such as the Save As dialog, are the test's to drive: pressing OK
  // on one of them would choose whatever it happens to show.
  if (!looks_like_message_box(window)) return TRUE;
  search->boxes.push_back(window);
  return TRUE;
}

int button_for(int answer) {
  switch (answer) {
    case kIdYes: return IDYES;
    case kIdNo: return IDNO;
    default: return IDOK;
  }
}

}  // namespace

MessageScript::MessageScript() : watcher_(new Watcher) {
  watcher_->thread = std::thread([this] {
    while (!watcher_->stop) {
      Search search{GetCurrentProcessId(), watcher_->other_process.load(), {}};
      EnumWindows(collect_box, reinterpret_cast<LPARAM>(&search));
      for (HWND box : search.boxes) {
        if (watcher_->answered.count(box) != 0) continue;
        ShownMessage message;
        message.has_owner = GetWindow(box, GW_OWNER) != nullptr;
        message.caption = window_text(box);
        bool yes_no = false;
        for (HWND child : child_windows(box)) {
          std::string kind = window_class_name(child);
          std::string text = window_text(child);
          if (kind == "Static" && !text.empty() && message.text.empty()) message.text = text;
          if (kind == "Button" && text == "&Yes") yes_no = true;
        }
        // A box whose text has not been filled in yet is looked at again on the next round.
        if (message.text.empty()) continue;
        message.style = yes_no ? kMbYesNo : kMbOk;
        watcher_->answered.insert(box);
        int id = button_for(take(message));
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(box, id)));
      }
      Sleep(20);
    }
  });
}

MessageScript::~MessageScript() {
  watcher_->stop = true;
  watcher_->thread.join();
  delete watcher_;
}

void MessageScript::watch_process(std::uint32_t process_id) { watcher_->other_process = process_id; }

}  // namespace zep::test
