#include "wrapped_text.h"

#include <QLabel>

namespace oakvane {

QString breakable_path(const QString& text)
{
    QString breakable = text;
    return breakable.replace(QLatin1Char('/'), QStringLiteral("/\u200B"));
}

QLabel* wrapped_label(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(breakable_path(text), parent);
    label->setWordWrap(true);
    label->setMaximumWidth(label->fontMetrics().averageCharWidth() * 70);
    return label;
}

}  // namespace oakvane
