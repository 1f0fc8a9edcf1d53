#pragma once
// The main window's output list: its lines can be selected and copied (Ctrl+C or the context
// menu), and it tells accessibility tools of a focused line only while it has the focus.

#include <QListWidget>

namespace oakvane {

class OutputList : public QListWidget {
    Q_OBJECT
public:
    explicit OutputList(QWidget* parent = nullptr);

    // The selected lines in the list's order, one per line.
    QString selectedText() const;
    void copySelection() const;

protected:
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    // The current line while the focus is elsewhere: Qt's accessibility reports a view's
    // current item as focused whether or not the view has the focus.
    int m_parkedRow = -1;
};

}  // namespace oakvane
