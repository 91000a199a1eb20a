// The table window without servers: selection, the messages that come before any
// statement, the hover pointer and closing.

#include "app/Settings.h"
#include "app/db/Waiting.h"
#include "tests/support/Servers.h"

#include <QGroupBox>
#include <QHash>

namespace {
// The controls a user sees and uses, without the frames that hold them.
QList<QWidget*> leafControls(Form2& form)
{
    QList<QWidget*> controls;
    for (QWidget* child : form.findChildren<QWidget*>()) {
        if (!child->objectName().isEmpty() && !child->inherits("QGroupBox") && child->parentWidget() &&
            (child->parentWidget() == &form || child->parentWidget()->inherits("QGroupBox")))
            controls.append(child);
    }
    return controls;
}
} // namespace

class TestTablesWindow : public ServerCase
{
    Q_OBJECT
private slots:

    void selectAndDeselectAll()
    {
        Form2& form = Windows::form2();
        form.show();
        for (const char* name : {"a", "b", "c"})
            form.List1->addName(QLatin1String(name));
        form.List2->addName(QStringLiteral("p"));

        QTest::mouseClick(form.PushButton10, Qt::LeftButton);
        QCOMPARE(selectedNames(form.List1), QStringList({"a", "b", "c"}));
        // The last item touched is current, so the operations that follow see a choice.
        QCOMPARE(form.List1->currentRow(), 2);
        QVERIFY(selectedNames(form.List2).isEmpty());
        QCOMPARE(form.List2->currentRow(), -1);
        QTest::mouseClick(form.PushButton8, Qt::LeftButton);
        QCOMPARE(selectedNames(form.List2), QStringList({"p"}));
        QTest::mouseClick(form.PushButton11, Qt::LeftButton);
        QVERIFY(selectedNames(form.List1).isEmpty());
        QCOMPARE(form.List1->currentRow(), 2);
        QCOMPARE(selectedNames(form.List2), QStringList({"p"}));
        QTest::mouseClick(form.PushButton9, Qt::LeftButton);
        QVERIFY(selectedNames(form.List2).isEmpty());

        form.List1->clear();
        form.List2->clear();
        for (QPushButton* button : {form.PushButton8, form.PushButton9, form.PushButton10, form.PushButton11})
            QTest::mouseClick(button, Qt::LeftButton);
        QS_VERIFY_NO_BOXES();
    }

    // The checks that come before any statement: the MySQL side opens no connection for
    // them (its server is unreachable here), the PostgreSQL side opens one first.
    // Without its server the PostgreSQL side reports the failed connection once and stops:
    // no selection message, no prompt, and the list as it was.
    void anUnreachablePostgreSQLServerIsReportedOnce()
    {
        Form1& connection = Windows::form1();
        connection.Text1->setText(QStringLiteral("127.0.0.1"));
        connection.Text2->setText(kDeadPort);
        Form2& form = Windows::form2();
        form.show();
        for (const char* name : {"a", "b"})
            form.List2->addName(QLatin1String(name));
        select(form.List2, {"a"});
        form.List2->setCurrentRow(0, QItemSelectionModel::NoUpdate);
        QTest::mouseClick(form.PushButton5, Qt::LeftButton);
        QTest::mouseClick(form.PushButton7, Qt::LeftButton);
        QCOMPARE(shownBoxes(),
                 QStringList({"report Form2.PushButton5_Click 104", "report Form2.PushButton7_Click 104"}));
        QCOMPARE(names(form.List2), QStringList({"a", "b"}));
        QCOMPARE(form.pointer().value(), 0);
    }

    void messagesBeforeAnyStatement_data()
    {
        QTest::addColumn<const Server*>("server");
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("selection"); // none, current (but nothing selected) or two
        QTest::addColumn<QStringList>("boxes");
        const QString none = QStringLiteral("none");
        const QString nothingSelected = QStringLiteral("current");
        const QString two = QStringLiteral("two");
        QTest::newRow("MySQL delete, no current item")
            << &Server::mySQL() << "PushButton1" << none << QStringList{"Please select a table"};
        QTest::newRow("PostgreSQL delete, no current item")
            << &Server::postgreSQL() << "PushButton5" << none << QStringList{"Please select a table"};
        QTest::newRow("MySQL rename, no current item")
            << &Server::mySQL() << "PushButton6" << none << QStringList{"Please select a table"};
        QTest::newRow("PostgreSQL rename, no current item")
            << &Server::postgreSQL() << "PushButton7" << none
            << QStringList{"Please select a table to rename."};
        QTest::newRow("MySQL rename, nothing selected")
            << &Server::mySQL() << "PushButton6" << nothingSelected
            << QStringList{"Please select just one table to rename"};
        QTest::newRow("PostgreSQL rename, nothing selected")
            << &Server::postgreSQL() << "PushButton7" << nothingSelected
            << QStringList{"Please select just one table to rename."};
        QTest::newRow("MySQL rename, two selected") << &Server::mySQL() << "PushButton6" << two
                                                    << QStringList{"Please select just one table to rename"};
        QTest::newRow("PostgreSQL rename, two selected")
            << &Server::postgreSQL() << "PushButton7" << two
            << QStringList{"Please select just one table to rename."};
    }

    void messagesBeforeAnyStatement()
    {
        QFETCH(const Server*, server);
        QFETCH(QString, button);
        QFETCH(QString, selection);
        QFETCH(QStringList, boxes);
        Form1& connection = Windows::form1();
        for (QLineEdit* host : {connection.Text1, connection.Text6})
            host->setText(QStringLiteral("127.0.0.1"));
        connection.Text2->setText(kDeadPort);
        connection.Text10->setText(kDeadPort);
        if (!server->isMySQL()) {
            connection.Text2->setText(Sandbox::env("QS_PG_PORT"));
            connection.Text3->setText(Sandbox::env("QS_PG_USER"));
            connection.Text4->setText(Sandbox::env("QS_PG_PASSWORD"));
            connection.Text5->setText(Sandbox::env("QS_PG_DATABASE"));
        }
        Form2& form = Windows::form2();
        form.show();
        TableList* list = server->list();
        for (const char* name : {"a", "b", "c"})
            list->addName(QLatin1String(name));
        if (selection == QLatin1String("current")) {
            list->setCurrentRow(1);
            QTest::mouseClick(server->deselectAllButton(), Qt::LeftButton);
        } else if (selection == QLatin1String("two")) {
            select(list, {"a", "b"});
        }

        QTest::mouseClick(form.findChild<QPushButton*>(button), Qt::LeftButton);
        QCOMPARE(shownBoxes(), boxes);
        for (const MessageBox::Shown& shown : MessageBox::history())
            if (shown.icon == MessageBox::NoIcon)
                QCOMPARE(shown.title, QStringLiteral("Quillstone"));
        QCOMPARE(names(list), QStringList({"a", "b", "c"}));
        QCOMPARE(form.pointer().value(), 0);
    }

    void hoverSetsPointerUnlessBusy()
    {
        Form2& form = Windows::form2();
        const QList<QPushButton*> buttons = form.findChildren<QPushButton*>();
        QCOMPARE(buttons.size(), 13);
        const QList<QWidget*> surfaces{&form, form.Frame1, form.Frame2, form.List1->viewport(), form.List2};
        QCOMPARE(form.pointer().value(), 0);
        for (QPushButton* button : buttons) {
            moveOver(surfaces.first());
            QCOMPARE(form.pointer().value(), 0);
            moveOver(button);
            QVERIFY2(form.pointer().value() == 99, qPrintable(button->objectName()));
        }
        for (QWidget* surface : surfaces) {
            moveOver(buttons.first());
            moveOver(surface);
            QVERIFY2(form.pointer().value() == 0, qPrintable(surface->objectName()));
        }
        form.pointer().set(WindowPointer::Busy);
        for (QWidget* widget : surfaces + QList<QWidget*>(buttons.begin(), buttons.end())) {
            moveOver(widget);
            QCOMPARE(form.pointer().value(), 11);
        }
    }

    // At its first start the window has the design's places, with Stop and the summary
    // line in a row below; made larger, the lists take the room, every button keeps its
    // size and order, nothing overlaps; the next start opens at the size it was left at.
    // The choice "Foreign keys" beside Stop is off at first, and remembered.
    void theWindowGrowsItsListsAndRemembersItsSize()
    {
        Form2& form = Windows::form2();
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(form.size(), QSize(536, 405));
        QVERIFY(!form.stopButton()->isEnabled());
        QTest::keyClick(form.List1, Qt::Key_Escape);
        QVERIFY(!Waiting::stopRequested());
        const QList<QWidget*> controls = leafControls(form);
        auto place = [&](const QWidget* widget) {
            return QRect(widget->mapTo(&form, QPoint(0, 0)), widget->size());
        };
        const QHash<QString, QRect> designed = {
            {"List1", {24, 32, 222, 109}},         {"PushButton10", {24, 148, 106, 26}},
            {"PushButton11", {138, 148, 106, 26}}, {"PushButton3", {24, 181, 222, 26}},
            {"PushButton1", {24, 214, 222, 26}},   {"PushButton6", {24, 248, 222, 27}},
            {"List2", {288, 32, 222, 109}},        {"PushButton8", {288, 148, 106, 26}},
            {"PushButton9", {402, 148, 106, 26}},  {"PushButton4", {288, 181, 222, 26}},
            {"PushButton5", {288, 214, 222, 26}},  {"PushButton7", {288, 248, 222, 26}},
            {"ProgressBar1", {8, 297, 520, 27}},   {"PushButton2", {8, 332, 256, 27}},
            {"PushButton12", {272, 332, 256, 27}}, {"SummaryLine", {8, 367, 308, 29}},
            {"StopButton", {432, 368, 96, 27}},    {"ForeignKeys", {324, 368, 100, 27}}};
        QCOMPARE(controls.size(), designed.size());
        for (const QWidget* control : controls)
            QCOMPARE(place(control), designed.value(control->objectName()));

        form.resize(760, 560);
        QVERIFY(!form.copiesForeignKeys());
        QTest::mouseClick(form.foreignKeysBox(), Qt::LeftButton);
        QCOMPARE(m_program->settings().read(QStringLiteral("ForeignKeys"), QString()), QStringLiteral("1"));
        QTRY_COMPARE(m_program->settings().read(QStringLiteral("TableWindowSize"), QString()),
                     QStringLiteral("760x560"));
        for (const QWidget* control : controls) {
            const QRect before = designed.value(control->objectName());
            const QRect now = place(control);
            if (control->inherits("QListWidget"))
                QCOMPARE(now.size(), before.size() + QSize(112, 155));
            else if (control->inherits("QPushButton"))
                QCOMPARE(now.size(), before.size());
            QVERIFY2(form.rect().contains(now), qPrintable(control->objectName()));
            for (const QWidget* other : controls)
                QVERIFY2(other == control || !now.intersects(place(other)),
                         qPrintable(control->objectName() + QLatin1Char(' ') + other->objectName()));
        }
        // Each half's buttons stay below its list, in their order.
        for (const auto& half :
             {QStringList{"List1", "PushButton10", "PushButton3", "PushButton1", "PushButton6"},
              QStringList{"List2", "PushButton8", "PushButton4", "PushButton5", "PushButton7"}})
            for (int i = 0; i + 1 < half.size(); ++i)
                QVERIFY(place(form.findChild<QWidget*>(half[i])).bottom() <
                        place(form.findChild<QWidget*>(half[i + 1])).top());

        Windows::destroyForTests();
        QCOMPARE(Windows::form2().size(), QSize(760, 560));
        QVERIFY(Windows::form2().copiesForeignKeys());
        // A size smaller than the design's is not taken.
        m_program->settings().write(QStringLiteral("TableWindowSize"), QStringLiteral("300x200"));
        Windows::destroyForTests();
        QCOMPARE(Windows::form2().size(), QSize(536, 405));
    }

    void closingEndsTheProgram()
    {
        Form2& form = Windows::form2();
        form.show();
        QVERIFY(form.close());
        QCOMPARE(m_program->endCalls(), 1);
    }
};

QTEST_MAIN(TestTablesWindow)
#include "test_tables_window.moc"
