#include "eliding_label.h"

#include <QPainter>
#include <QStyle>

namespace oakvane {

ElidingLabel::ElidingLabel(const QString& text, QWidget* parent) : QLabel(parent)
{
    // Wants its whole text, and gives way down to its minimum before any other control does.
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    setFullText(text);
}

void ElidingLabel::setFullText(const QString& text)
{
    setText(text);
    setToolTip(text);
    setAccessibleDescription(text);
}

QString ElidingLabel::shownText() const
{
    return fontMetrics().elidedText(text(), Qt::ElideMiddle, contentsRect().width());
}

// Room for a few characters at least, so that a cut text still shows both its ends.
QSize ElidingLabel::minimumSizeHint() const
{
    return {fontMetrics().averageCharWidth() * 12, QLabel::minimumSizeHint().height()};
}

void ElidingLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    style()->drawItemText(&painter, contentsRect(), static_cast<int>(alignment()), palette(),
                          isEnabled(), shownText(), foregroundRole());
}

}  // namespace oakvane
