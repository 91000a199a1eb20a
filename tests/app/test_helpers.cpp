// The shared helpers: the searches of the table lists, the file probe, the skin, the
// application title and the words of numbers and times.

#include "app/AppFolder.h"
#include "app/Main.h"
#include "app/SkinFramework.h"
#include "app/Wording.h"
#include "tables/TableList.h"
#include "tests/support/TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QTest>

namespace {
QStringList texts(const QListWidget& list)
{
    QStringList result;
    for (int i = 0; i < list.count(); ++i)
        result << list.item(i)->text();
    return result;
}
} // namespace

class HelpersTest : public QObject
{
    Q_OBJECT
private slots:
    // The windows' numbers are English whatever the desktop's language; times are short.
    void numbersAndTimesInWords()
    {
        const QLocale before;
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        QCOMPARE(thousands(1234567), QStringLiteral("1,234,567"));
        QCOMPARE(thousands(999), QStringLiteral("999"));
        QCOMPARE(counted(1, QStringLiteral("row"), QStringLiteral("rows")), QStringLiteral("1 row"));
        QCOMPARE(counted(1000, QStringLiteral("row"), QStringLiteral("rows")), QStringLiteral("1,000 rows"));
        QCOMPARE(counted(0, QStringLiteral("table"), QStringLiteral("tables")), QStringLiteral("0 tables"));
        QCOMPARE(duration(412), QStringLiteral("0.4 s"));
        QCOMPARE(duration(12400), QStringLiteral("12 s"));
        QCOMPARE(duration(59600), QStringLiteral("1 min 0 s"));
        QCOMPARE(duration(125000), QStringLiteral("2 min 5 s"));
        QCOMPARE(duration(3780000), QStringLiteral("1 h 3 min"));
        QLocale::setDefault(before);
    }

    void listContainsIgnoresOnlyLetterCase()
    {
        TableList list;
        QVERIFY(!ListContains(&list, QStringLiteral("orders")));
        list.addName(QStringLiteral("Orders"));
        QVERIFY(ListContains(&list, QStringLiteral("orders")));
        QVERIFY(ListContains(&list, QStringLiteral("ORDERS")));
        QVERIFY(!ListContains(&list, QStringLiteral("Orders ")));
        // A table that its bare name does not reach is not the one the name finds.
        list.addTable({QStringLiteral("other"), QStringLiteral("dup"), false});
        QVERIFY(!ListContains(&list, QStringLiteral("dup")));
    }

    void removeListItemMatchesExactlyAndSkipsTheMovedItem()
    {
        TableList list;
        list.addName(QStringLiteral("Orders"));
        RemoveListItem(&list, QStringLiteral("orders"));
        QCOMPARE(texts(list), QStringList{"Orders"});
        RemoveListItem(&list, QStringLiteral("Orders"));
        QCOMPARE(list.count(), 0);

        for (const char* name : {"A", "A", "B"})
            list.addName(QString::fromLatin1(name));
        RemoveListItem(&list, QStringLiteral("A"));
        QCOMPARE(texts(list), (QStringList{"A", "B"}));
        list.addTable({QStringLiteral("other"), QStringLiteral("B"), false});
        RemoveListItem(&list, QStringLiteral("B"));
        QCOMPARE(texts(list), (QStringList{"A", "other.B"}));
    }

    void fileExistsAnswersWithoutRaising()
    {
        QTemporaryDir folder;
        QVERIFY(!FileExists(QString()));
        QVERIFY(!FileExists(folder.filePath("missing.cur")));
        QVERIFY(!FileExists(QStringLiteral("\x01:/\\?*")));
        QFile file(folder.filePath("HAND-M.CUR"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QVERIFY(FileExists(file.fileName()));
    }

    void applicationTitleCutsAtLeastOnceAtABlank()
    {
        // Five words, 44 characters; the fourth word has 6 and the last 2.
        const QString fiveWords = QStringLiteral("Abcdefghij Klmnopqrstu Vwxyzabcdef ghijkl mn");
        QCOMPARE(fiveWords.size(), 44);
        QCOMPARE(ApplicationTitleFrom(fiveWords), QStringLiteral("Abcdefghij Klmnopqrstu Vwxyzabcdef"));
        QCOMPARE(ApplicationTitleFrom(QStringLiteral("Table Copier Deluxe")), QStringLiteral("Table Copier"));
        QCOMPARE(ApplicationTitleFrom(QStringLiteral("Quillstone")), QStringLiteral("Quillstone"));
    }

    void skinIsAppliedOnlyWhenItsFileExists()
    {
        ProgramUnderTest program;
        QWidget window;
        auto* frame = new QGroupBox(&window);
        auto* label = new QLabel(frame);
        auto* field = new QLineEdit(frame);
        const QColor fieldColour = field->palette().color(QPalette::Window);
        SkinFramework skin;

        ApplySkin(window, skin);
        QVERIFY(!label->autoFillBackground());
        QCOMPARE(skin.property(SkinFramework::ApplyOptions).toInt(), 0);

        // A hidden file of that name, or a folder, does not count.
        QDir(program.appFolder()).mkpath(QStringLiteral("x/o.cjs"));
        ApplySkin(window, skin);
        QVERIFY(!label->autoFillBackground());
        QDir(program.appFolder()).rmdir(QStringLiteral("x/o.cjs"));

        QFile sheet(program.appFolder() + QStringLiteral("/x/o.cjs"));
        QVERIFY(sheet.open(QIODevice::WriteOnly));
        sheet.write("QLabel { color: rgb(1, 2, 3); }");
        sheet.close();
        ApplySkin(window, skin);
        const QColor buttonFace = QApplication::palette().color(QPalette::Button);
        QCOMPARE(label->palette().color(QPalette::Window), buttonFace);
        QCOMPARE(frame->palette().color(QPalette::Window), buttonFace);
        QCOMPARE(window.palette().color(QPalette::Window), buttonFace);
        QCOMPARE(field->palette().color(QPalette::Window), fieldColour);
        QCOMPARE(skin.property(SkinFramework::ApplyOptions).toInt() & 1, 1);
        QVERIFY(skin.property(SkinFramework::ApplyToNewWindows).toBool());
        QCOMPARE(window.styleSheet(), QStringLiteral("QLabel { color: rgb(1, 2, 3); }"));
    }
};

QTEST_MAIN(HelpersTest)
#include "test_helpers.moc"
