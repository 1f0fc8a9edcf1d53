#pragma once
// A one-line text that gives way to the controls beside it: too long for its room, it is drawn
// cut in the middle, where a mount path's least telling part is. text() stays whole, and so do
// the tool tip and the accessible description.

#include <QLabel>

namespace oakvane {

class ElidingLabel : public QLabel {
    Q_OBJECT
public:
    explicit ElidingLabel(const QString& text, QWidget* parent = nullptr);

    void setFullText(const QString& text);
    // What is drawn in the room the label has now.
    QString shownText() const;

    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace oakvane
