#pragma once
// The folder and program pickers of the preferences dialog and of Start, and the product's web
// pages. Qt's own dialogs (not the platform's) so that they behave alike everywhere and can be
// answered by the window tests.

#include <QString>

#include <optional>
#include <string>

class QWidget;

namespace oakvane {

// The folder picker, opened at start_at: the chosen folder, or none when it was cancelled or
// gave no path.
std::optional<std::string> BrowseForFolder(QWidget* parent, const QString& title,
                                           const QString& start_at);

// Where a folder picker opens: at current when that is a folder, else where the user's cards
// are mounted (/media/$USER or /run/media/$USER, whichever is there) for a card, else the
// user's home.
enum class PickerFor { Card, Folder };
QString picker_start(const std::string& current, PickerFor what);

// The program picker for the viewer and the converter: an existing file, or none when it was
// cancelled. Starts in /usr/bin, where programs live.
std::optional<std::string> ChooseProgram(QWidget* parent, const QString& title,
                                         const QString& filter);

// Opens a page of the product web site (path below the site's base) in the default browser.
void open_web_page(const std::string& path);

}  // namespace oakvane
