#include "tables/TableList.h"

#include "app/SqlText.h"
#include "app/db/Error.h"

#include <QCollator>
#include <QFocusEvent>
#include <algorithm>

namespace {
// Where an item keeps its table beside the text.
constexpr int kSchemaRole = Qt::UserRole;
constexpr int kNameRole = Qt::UserRole + 1;
constexpr int kReachedRole = Qt::UserRole + 2;

const QCollator& nameCollator()
{
    static const QCollator collator = [] {
        QCollator c;
        c.setCaseSensitivity(Qt::CaseInsensitive);
        return c;
    }();
    return collator;
}

void setTable(QListWidgetItem& item, const ListedTable& table)
{
    item.setData(kSchemaRole, table.schema);
    item.setData(kNameRole, table.name);
    item.setData(kReachedRole, table.reached);
    item.setText(table.text());
}

class TableNameItem : public QListWidgetItem
{
public:
    explicit TableNameItem(const ListedTable& table) { setTable(*this, table); }
    bool operator<(const QListWidgetItem& other) const override
    {
        const int order = nameCollator().compare(text(), other.text());
        // Names equal but for case still get a fixed order.
        return order != 0 ? order < 0 : text() < other.text();
    }
};
} // namespace

QString postgreSQLName(const ListedTable& table)
{
    return table.reached || table.schema.isEmpty()
               ? postgreSQLName(table.name)
               : postgreSQLName(table.schema) + QLatin1Char('.') + postgreSQLName(table.name);
}

TableList::TableList(QWidget* parent) : QListWidget(parent)
{
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSortingEnabled(true);
}

void TableList::addName(const QString& name)
{
    addTable({QString(), name, true});
}

void TableList::addTable(const ListedTable& table)
{
    addItem(new TableNameItem(table));
}

void TableList::setTablesNamed(const QString& name, const QList<ListedTable>& tables)
{
    // Collected first: an item whose text changes moves to its new sorted place.
    QList<QListWidgetItem*> shown;
    for (int i = 0; i < count(); ++i) {
        if (tableOf(*item(i)).name == name)
            shown.append(item(i));
    }
    QList<ListedTable> missing = tables;
    for (QListWidgetItem* each : shown) {
        const QString schema = tableOf(*each).schema;
        const auto held = std::find_if(missing.begin(), missing.end(), [&](const ListedTable& table) {
            return !schema.isEmpty() && table.schema == schema;
        });
        if (held == missing.end()) {
            delete takeItem(row(each));
        } else {
            setTable(*each, *held);
            missing.erase(held);
        }
    }
    for (const ListedTable& table : missing)
        addTable(table);
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

ListedTable TableList::tableOf(const QListWidgetItem& item)
{
    const QVariant name = item.data(kNameRole);
    // An item added by its text alone stands for the table of that name.
    if (!name.isValid())
        return {QString(), item.text(), true};
    return {item.data(kSchemaRole).toString(), name.toString(), item.data(kReachedRole).toBool()};
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

bool ListContains(const TableList* list, const QString& name)
{
    bool found = false;
    const int count = list->count();
    const QString wanted = name.toLower();
    for (int i = 0; i < count; ++i) {
        const ListedTable table = TableList::tableOf(*list->item(i));
        if (table.reached && table.name.toLower() == wanted)
            found = true;
    }
    return found;
}

void RemoveListItem(TableList* list, const QString& name)
{
    const int count = list->count();
    for (int i = 0; i < count; ++i) {
        if (i >= list->count())
            continue;
        const ListedTable table = TableList::tableOf(*list->item(i));
        if (table.reached && table.name == name)
            delete list->takeItem(i);
    }
}
