#pragma once
// The about box.

#include <QDialog>

namespace oakvane {

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

}  // namespace oakvane
