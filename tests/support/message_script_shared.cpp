#include "tests/support/message_script.h"

namespace zep::test {

void MessageScript::answer(int id) {
  std::lock_guard<std::mutex> lock(mutex_);
  answers_.push_back(id);
}

std::vector<ShownMessage> MessageScript::shown() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return shown_;
}

int MessageScript::take(ShownMessage message) {
  std::lock_guard<std::mutex> lock(mutex_);
  int id = kIdOk;
  if (!answers_.empty()) {
    id = answers_.front();
    answers_.pop_front();
  } else if ((message.style & 0xF) == kMbYesNo) {
    id = kIdNo;  // an unplanned question is answered with the harmless choice
  }
  message.answer = id;
  shown_.push_back(message);
  return id;
}

}  // namespace zep::test
