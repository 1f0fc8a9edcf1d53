#pragma once
// "Ingest from card ...?": the one mounted card, another folder, or nothing.

#include "start_run.h"

#include <QDialog>

#include <string>

namespace oakvane {

class CChooseCardDlg : public QDialog {
    Q_OBJECT
public:
    CChooseCardDlg(QWidget* parent, const std::string& card_name);

    // Both stay false after Cancel or Escape.
    bool m_okChosen = false;
    bool m_otherChosen = false;
};

// Asks about the card named card_name.
CardAnswer ask_choose_card(QWidget* parent, const std::string& card_name);

}  // namespace oakvane
