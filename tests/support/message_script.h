// Plays the user at message boxes: while a MessageScript lives, every message box the code under test
// shows is recorded and answered with the next queued answer (IDOK for an OK box when none is queued).
// The host half answers through the host platform's hook; the Windows half watches for the real box
// and presses its button.
#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace zep::test {

struct ShownMessage {
  bool has_owner = false;  // the box had an owner window
  std::string text;
  std::string caption;
  std::uint32_t style = 0;  // MB_* bits; on Windows only the button kind can be read back (0 or 4)
  int answer = 0;           // the ID* that was given
};

class MessageScript {
 public:
  MessageScript();
  ~MessageScript();
  MessageScript(const MessageScript&) = delete;
  MessageScript& operator=(const MessageScript&) = delete;

  // Queues the answer for the next box that has no answer yet (kIdYes, kIdNo or kIdOk).
  void answer(int id);

  // Windows only: also plays the user at the boxes of another process (a program under test).
  void watch_process(std::uint32_t process_id);

  // Every box shown so far, in order.
  std::vector<ShownMessage> shown() const;

  // Called by the platform half for each box: records it and returns the answer to give.
  int take(ShownMessage message);

 private:
  mutable std::mutex mutex_;
  std::deque<int> answers_;
  std::vector<ShownMessage> shown_;
  struct Watcher;
  Watcher* watcher_ = nullptr;  // the per-platform part
};

}  // namespace zep::test
