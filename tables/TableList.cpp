#include "tables/TableList.h"

#include "app/Error.h"

#include <QCollator>
#include <QFocusEvent>

namespace {
const QCollator& nameCollator()
{
    static const QCollator collator = [] {
        QCollator c;
        c.setCaseSensitivity(Qt::CaseInsensitive);
        return c;
    }();
    return collator;
}

class TableNameItem : public QListWidgetItem
{
public:
    explicit TableNameItem(const QString& name) : QListWidgetItem(name) {}
    bool operator<(const QListWidgetItem& other) const override
    {
        const int order = nameCollator().compare(text(), other.text());
        // Names equal but for case still get a fixed order.
        return order != 0 ? order < 0 : text() < other.text();
    }
};
} // namespace

TableList::TableList(QWidget* parent) : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSortingEnabled(true);
}

void TableList::addName(const QString& name)
{
    addItem(new TableNameItem(name));
}

int TableList::selectedCount() const
{
    int count = 0;
    for (int i = 0; i < this->count(); ++i)
        count += item(i)->isSelected() ? 1 : 0;
    return count;
}

QListWidgetItem& TableList::at(int index) const
{
    QListWidgetItem* found = item(index);
    if (!found)
        throw Error(QStringLiteral("Invalid list index: %1").arg(index));
    return *found;
}

void TableList::focusInEvent(QFocusEvent* event)
{
    const bool hadCurrent = currentIndex().isValid();
    QListWidget::focusInEvent(event);
    // The view makes the first item current when focus arrives by keyboard or window
    // activation; the operations take a current item as the user's pick, so there is
    // none until the user clicks or moves in the list.
    if (!hadCurrent && event->reason() != Qt::MouseFocusReason && currentIndex().isValid())
        selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
}
