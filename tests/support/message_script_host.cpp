// The host half of MessageScript: the host platform hands every message box to a handler, and the
// script installs itself as that handler for as long as it lives.
#include "platform/host_platform.h"
#include "tests/support/message_script.h"

namespace zep::test {

// Nothing has to be watched on the host: the handler is called on the thread that shows the box.
struct MessageScript::Watcher {};

MessageScript::MessageScript() {
  host::set_message_handler([this](WindowRef owner, const char* text, const char* caption,
                                   u32 style) {
    ShownMessage message;
    message.has_owner = owner != nullptr;
    message.text = text;
    message.caption = caption;
    message.style = style;
    return take(message);
  });
}

MessageScript::~MessageScript() { host::reset_message_handler(); }

}  // namespace zep::test
