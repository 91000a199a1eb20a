#pragma once

// The table loop that both send buttons share. Each direction passes in what is its own:
// the lists, the quoting, the step numbers, the CREATE TABLE and INSERT statements it
// builds, how it reads the source's shape and gives it to the copy. The rows of each table
// go through transfer/RowPump. With the choice "Foreign keys", TableCopyForeignKeys.cpp
// gives the copies their foreign keys once every table has its rows, and keeps those of
// other tables across an overwrite.

#include "app/ErrorReport.h"
#include "app/db/Connection.h"
#include "transfer/TableShape.h"
#include "transfer/TransferSteps.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>

class CopyProgress;
class TableList;
struct ListedTable;
class WindowPointer;

// The steps of one table up to the SELECT of its rows, which both send handlers number
// alike.
struct TableLines
{
    int selected;
    int name;
    int listed;
    int ask;
    int answerNo;
    int answerYes;
    int drop;
    int unlist;
    int select;
};
inline constexpr TableLines kTableLines{
    .selected = 130,
    .name = 132,
    .listed = 134,
    .ask = 136,
    .answerNo = 140,
    .answerYes = 142,
    .drop = 144,
    .unlist = 146,
    .select = 148,
};

// The numbered steps of the table loop and the row pump, as the error report names them.
// Each direction gives its own, in the order they stand in its handler, as one constant
// beside the handler; 0 marks a step the direction does not take.
struct CopyLines
{
    int tableLoop;  // the walk's start at the source list's last item
    int tableYield; // 0: no yield between the tables
    TableLines table;
    int names; // 0: no check of the names' lengths
    int create;
    int recordCount;
    int rowLoop;
    int rowYield;
    int progress;
    int buildRow;
    int sendRow;
    int moveNext;
    int pointer;
    int resetBar;
    int closeRows;
    int list;
    int finishRows;
    int readShape;      // the source's shape, before the overwrite question
    int shapeStatement; // each statement that gives the copy its shape
};

// What one direction of the copy is made of.
class CopyDirection
{
public:
    virtual ~CopyDirection() = default;

    virtual const CopyLines& lines() const = 0;
    virtual TableList* sourceList() const = 0;
    virtual TableList* targetList() const = 0;
    // The source list's table as the source's statements name it.
    virtual QString sourceName(const ListedTable& table) const = 0;
    virtual QString targetName(const QString& table) const = 0;
    // Refuses a table whose names the target cannot hold as they are.
    virtual void checkNames(const QString& /*table*/, const Fields& /*fields*/) const {}
    // Builds the CREATE TABLE statement into statement, each part under its own line, and
    // takes note of what the rows' values need.
    virtual void buildCreate(Handler& handler, QString& statement, const QString& table,
                             const Fields& fields) = 0;
    // Appends one row to row, which is empty, in the target's bulk spelling (rowFormat).
    // Returns how many of its values were written otherwise than they were, by a type rule.
    virtual int buildRow(QByteArray& row, const QString& table, const Fields& fields) = 0;
    // How the rows buildRow spells go to the target, and how one of them is made its own
    // INSERT when it goes alone or is reported.
    virtual RowFormat rowFormat(const QString& table) const = 0;
    // The source table's shape from its server's catalogue, and what the CREATE TABLE needs to
    // know of the source's values; statement holds each query's text.
    virtual TableShape readShape(Connection& source, const ListedTable& table, QString& statement) = 0;
    // Gives the table that buildCreate made the shape, each statement through run.
    virtual void addShape(Connection& target, const QString& table, const TableShape& shape,
                          const ShapeRunner& run) const = 0;
    // The source table's foreign keys; statement holds the query's text.
    virtual QList<ShapeForeignKey> readForeignKeys(Connection& source, const ListedTable& table,
                                                   QString& statement) const = 0;
    // The foreign keys of the target's other tables that refer to its table of that name.
    virtual QList<ShapeForeignKey> referringKeys(Connection& target, const QString& table,
                                                 QString& statement) const = 0;
    // The statements that give a table of the target a foreign key, and that remove one.
    virtual ShapeStatement addForeignKey(Connection& target, const ShapeForeignKey& key) const = 0;
    virtual ShapeStatement dropForeignKey(const ShapeForeignKey& key) const = 0;
    // A query whose answer has a row when the target holds a table of that name.
    virtual QString findTable(const QString& table) const = 0;
    // Where the target list keeps each table's schema: reads again which tables of that
    // name the target holds and sets the list's items of the name to match. False where
    // the list is not kept that way; throws when the catalogue cannot be read.
    virtual bool relist(Connection& /*target*/, const QString& /*table*/) { return false; }
};

// Copies the tables selected in the direction's source list, from the bottom up.
class TableCopy
{
public:
    // foreignKeys: the user's choice "Foreign keys".
    TableCopy(Handler& handler, QString& statement, TransferObjects& objects, CopyDirection& direction,
              CopyProgress& progress, WindowPointer& pointer, bool foreignKeys);

    // From the source list's last item up to the first, then the copies' foreign keys; ends
    // early when a server went away.
    void copySelected();

private:
    enum class Next { Table, EndClick };

    // The numbered steps of one table.
    Next copyTable(int index);
    // The overwrite question when the target lists the name: 0 when none was asked.
    int askOverwrite(const QString& table);
    // The source's shape, read before anything is asked or dropped; false when it cannot be
    // read.
    bool readShape(const ListedTable& item);
    // The source's rows, and its names checked; false when the table cannot be copied.
    bool openSource(const ListedTable& item);
    // The target dropped after a Yes; false when it stays.
    bool dropTarget(const QString& table);
    Next copyRows(const QString& table);
    // The source's shape given to the table made, after its rows.
    void addShape(const QString& table);
    // One statement of a shape; refusal words the report of a failure.
    ShapeOutcome runShapeStatement(const ShapeStatement& statement,
                                   const std::function<QString(const Error&)>& refusal);
    // A copied table without all of its shape is named in the summary.
    void noteShape(const QString& table, bool attempted);
    // A table given up on; in part when the target holds some of its rows.
    void countFailed(qint64 rowsWritten);
    Next giveUpTable(const QString& table);
    void countFailed();
    void closeRows();
    // Adds the name to the target list unless it shows it already.
    void list(const QString& table);
    // The same, when the target holds such a table.
    void listIfHeld(const QString& table);
    // The target list's items of the name read again, where the direction does that.
    bool relisted(const QString& table);
    bool lost() const { return m_objects.lost(); }

    // With the choice "Foreign keys" (TableCopyForeignKeys.cpp). Before an overwrite's DROP:
    // the target's foreign keys of other tables that refer to the table, removed.
    void removeReferringKeys(const QString& table);
    // After the table: those removed, made again, each that cannot be reported.
    void addReferringKeysBack();
    // Once every table of the click has its rows and shape: the copies' own, where the table
    // each refers to is on the target.
    void addForeignKeys();
    // True when made; words begin the report of a refusal, which says how many rows refer to
    // nothing when they kept it from being made.
    bool runForeignKey(const ShapeForeignKey& key, const ShapeStatement& statement, const QString& words);

    Handler& m_handler;
    QString& m_statement;
    TransferObjects& m_objects;
    CopyDirection& m_direction;
    const CopyLines& m_lines;
    CopyProgress& m_progress;
    WindowPointer& m_pointer;
    TableShape m_shape;
    QString m_select;    // the statement that reads the source's rows
    int m_shapeMade = 0; // statements of the table's shape made, and not made
    int m_shapeMissed = 0;
    const bool m_foreignKeys;
    QString m_overwritten;               // the table whose DROP removed m_removed
    QList<ShapeForeignKey> m_removed;    // to be made again after it
    QList<ShapeForeignKey> m_copiesKeys; // of the tables shaped, for the click's end
};
