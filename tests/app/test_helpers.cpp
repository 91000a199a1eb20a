// The shared helpers: list searches, NULL substitution, the file probe, the skin and the
// application title.

#include "app/AppFolder.h"
#include "app/Main.h"
#include "app/SkinFramework.h"
#include "tests/support/TestSupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
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
    void listContainsIgnoresOnlyLetterCase()
    {
        QListWidget list;
        QVERIFY(!ListContains(&list, QStringLiteral("orders")));
        list.addItem(QStringLiteral("Orders"));
        QVERIFY(ListContains(&list, QStringLiteral("orders")));
        QVERIFY(ListContains(&list, QStringLiteral("ORDERS")));
        QVERIFY(!ListContains(&list, QStringLiteral("Orders ")));
    }

    void removeListItemMatchesExactlyAndSkipsTheMovedItem()
    {
        QListWidget list;
        list.addItem(QStringLiteral("Orders"));
        RemoveListItem(&list, QStringLiteral("orders"));
        QCOMPARE(texts(list), QStringList{"Orders"});
        RemoveListItem(&list, QStringLiteral("Orders"));
        QCOMPARE(list.count(), 0);

        list.addItems({"A", "A", "B"});
        RemoveListItem(&list, QStringLiteral("A"));
        QCOMPARE(texts(list), (QStringList{"A", "B"}));
    }

    void nullToDefaultReplacesOnlyNull()
    {
        QCOMPARE(NullToDefault(Value::null(), Value::of(QString())), Value::of(QString()));
        QCOMPARE(NullToDefault(Value::of(QString()), Value::of(QStringLiteral("x"))), Value::of(QString()));
        QCOMPARE(NullToDefault(Value::of(QStringLiteral("0")), Value::of(QStringLiteral("x"))),
                 Value::of(QStringLiteral("0")));
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
