#pragma once
// The new-name question, for a new user-named folder or a new preference set.

#include <QDialog>
#include <QString>

#include <string>

class QLineEdit;

namespace oakvane {

class CNewNameDlg : public QDialog {
    Q_OBJECT
public:
    // A name is at most this long, as a folder or set name the user can still read in a list.
    static constexpr int kMaxChars = 31;

    explicit CNewNameDlg(QWidget* parent = nullptr);
    QString name() const;

private:
    void OnChangeName();

    QLineEdit* m_edit;
};

// A name keeps no "/" (nor, when it has none, any ":"): either would make it a path.
QString without_separators(const QString& text);

// Asks for a name in a box that starts empty: the name when closed with OK, "" otherwise.
std::string AskNewName(QWidget* parent);

}  // namespace oakvane
