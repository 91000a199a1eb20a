#pragma once

#include <QListWidget>

// Where a listed table is: its schema (none on MySQL's side), its own name, and whether
// its own name alone reaches it. A PostgreSQL table whose bare name finds another table
// first (or none) is shown as schema.name.
struct ListedTable
{
    QString schema;
    QString name;
    bool reached = true;

    QString text() const { return reached ? name : schema + QLatin1Char('.') + name; }
};

// The table as a PostgreSQL statement names it: "name" where the bare name reaches it,
// else "schema"."name".
QString postgreSQLName(const ListedTable& table);

// A list of table names, kept in ascending order without regard to case (locale-aware),
// with extended multiple selection. Each item keeps the table it stands for beside its
// text, so the operations never read a name back out of the text.
class TableList : public QListWidget
{
public:
    explicit TableList(QWidget* parent = nullptr);
    // Adds a table that its bare name reaches (every MySQL table) at its sorted place.
    void addName(const QString& name);
    void addTable(const ListedTable& table);
    // Makes the items of this bare name show exactly these tables: an item whose table is
    // still there keeps its selection and gets its text anew; the others are added or
    // taken away.
    void setTablesNamed(const QString& name, const QList<ListedTable>& tables);
    int selectedCount() const;
    // The item at the index; throws when there is none, as the index may be stale after
    // the list changed.
    QListWidgetItem& at(int index) const;
    static ListedTable tableOf(const QListWidgetItem& item);

protected:
    void focusInEvent(QFocusEvent* event) override;
};

// True when an item stands for a table that the bare name reaches and whose name equals
// the name after both are lower-cased; blanks and every other character must match. The
// walk visits every item.
bool ListContains(const TableList* list, const QString& name);
// Walks the items upwards and removes each whose table the bare name, exactly, reaches; an
// item that moves up into a freed place is not looked at again in the same call.
void RemoveListItem(TableList* list, const QString& name);
