#pragma once

#include <QListWidget>

// A list of table names, kept in ascending order without regard to case (locale-aware),
// with extended multiple selection.
class TableList : public QListWidget
{
public:
    explicit TableList(QWidget* parent = nullptr);
    // Adds a name at its sorted place.
    void addName(const QString& name);
    int selectedCount() const;
    // The item at the index; throws when there is none, as the index may be stale after
    // the list changed.
    QListWidgetItem& at(int index) const;

protected:
    void focusInEvent(QFocusEvent* event) override;
};
