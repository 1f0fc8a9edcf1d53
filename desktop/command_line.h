#pragma once
// The desktop program's command line: an optional card (how the desktop opens the program on a
// card just inserted), and --help and --version (refusing what it does not know) like every
// other program of the project.

#include <QString>

#include <optional>
#include <string>

class QCoreApplication;

namespace oakvane {

// True when the command line asks only for text (help or version), which must not need a
// display: the caller then answers it with a QCoreApplication instead of the window's.
bool wants_text_only(int argc, const char* const argv[]);

// Parses the application's arguments. Help and version are printed and end the program with
// status 0, an unknown option with Qt's message and status 1; more than one card is refused
// with status 1 here. None when the window is to open; card then receives the card folder
// named, if any.
std::optional<int> answer_command_line(const QCoreApplication& app,
                                       std::optional<std::string>* card = nullptr);

// The card folder of a card argument: a mount point, a folder or a file:// URI. A folder with a
// DCIM folder stands for that DCIM folder, as a card's root does.
std::string card_folder_of(const QString& argument);

}  // namespace oakvane
