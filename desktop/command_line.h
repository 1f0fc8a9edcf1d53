#pragma once
// The desktop program's command line: it takes no arguments of its own, but answers --help and
// --version (and refuses what it does not know) like every other program of the project.

#include <optional>

class QCoreApplication;

namespace oakvane {

// True when the command line asks only for text (help or version), which must not need a
// display: the caller then answers it with a QCoreApplication instead of the window's.
bool wants_text_only(int argc, const char* const argv[]);

// Parses the application's arguments. Help and version are printed and end the program with
// status 0, an unknown option with Qt's message and status 1; a stray argument is refused with
// status 1 here. None when the window is to open.
std::optional<int> answer_command_line(const QCoreApplication& app);

}  // namespace oakvane
