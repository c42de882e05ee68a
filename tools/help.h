// The tool's help: what each command does and how to call it, and the shared handling of a command
// line that is wrong (the problem, then the command's usage) and of a question asked on the terminal.
#pragma once

#include <functional>
#include <istream>
#include <ostream>
#include <string>

namespace zep::tool {

// The tool's version, as `zep --version` prints it.
extern const char kVersion[];

// The help of every command.
std::string help_text();

// The help of `command` ("pack", "list", ...), or null for a command that does not exist.
const char* command_help(const std::string& command);

// Prints "zep COMMAND: PROBLEM", then the command's help, to `err`; returns kExitUsage.
int usage_error(const std::string& command, const std::string& problem, std::ostream& err);

// Asks on the terminal: prints "[y/n] " to `err` and reads lines from `in` until one is an answer
// (y, yes, n or no, in any case), asking again after anything else. The end of the input is No.
bool ask_yes_no(std::istream& in, std::ostream& err);

// From now on, shows the message boxes of the installer's and the uninstaller's code on the
// terminal: each as "caption: text" on `err`, a box that holds only an error number in words
// ("Write error: the disk is full (112)"). A Yes/No box is answered by `answer`, given the box's
// text, when it returns kIdYes or kIdNo (it may print why); otherwise, or without `answer`, it is
// asked on the terminal with ask_yes_no.
// With `report`, each box also goes there as one line, "caption: text", its line ends made blanks.
void show_boxes_on_terminal(std::ostream& err, std::function<int(const std::string& text)> answer = nullptr,
                            std::ostream* report = nullptr);

}  // namespace zep::tool
