#include "output_list.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFocusEvent>

#include <algorithm>

namespace oakvane {

OutputList::OutputList(QWidget* parent) : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    auto* copy = new QAction(tr("&Copy"), this);
    copy->setObjectName(QStringLiteral("copyOutput"));
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetShortcut);
    connect(copy, &QAction::triggered, this, &OutputList::copySelection);
    addAction(copy);
    setContextMenuPolicy(Qt::ActionsContextMenu);
}

QString OutputList::selectedText() const
{
    QList<int> rows;
    for (const QListWidgetItem* item : selectedItems())
        rows.append(row(item));
    std::sort(rows.begin(), rows.end());
    QStringList lines;
    for (int r : rows)
        lines.append(item(r)->text());
    return lines.join(QLatin1Char('\n'));
}

void OutputList::copySelection() const
{
    const QString text = selectedText();
    if (!text.isEmpty())
        QApplication::clipboard()->setText(text);
}

void OutputList::focusInEvent(QFocusEvent* event)
{
    if (m_parkedRow >= 0 && m_parkedRow < count())
        selectionModel()->setCurrentIndex(model()->index(m_parkedRow, 0),
                                          QItemSelectionModel::NoUpdate);
    m_parkedRow = -1;
    QListWidget::focusInEvent(event);
}

void OutputList::focusOutEvent(QFocusEvent* event)
{
    QListWidget::focusOutEvent(event);
    // A context menu borrows the focus only to act on the current line.
    if (event->reason() == Qt::PopupFocusReason)
        return;
    m_parkedRow = currentRow();
    selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
}

}  // namespace oakvane
