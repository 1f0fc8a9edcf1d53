#pragma once
// Question texts that name a path: a long path must wrap inside the dialog, not widen it past
// the screen, and a path has no spaces to wrap at.

#include <QString>

class QLabel;
class QWidget;

namespace oakvane {

// text with a zero-width space after every '/', where a line may then break.
QString breakable_path(const QString& text);

// A word-wrapped label of text, at most about 70 characters wide.
QLabel* wrapped_label(const QString& text, QWidget* parent);

}  // namespace oakvane
