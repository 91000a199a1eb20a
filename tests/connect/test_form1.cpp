// The connection window: remembered fields, focus, pointer rules, the start-up sequence,
// the connection tests and the help texts.

#include "app/Program.h"
#include "app/Settings.h"
#include "tests/support/ProgramWindows.h"

#include <QApplication>
#include <QFile>
#include <QGroupBox>
#include <QTcpServer>
#include <QtEndian>

namespace {
QStringList fieldTexts(const Form1& form)
{
    return {form.Text1->text(), form.Text2->text(), form.Text3->text(), form.Text4->text(),
            form.Text5->text(), form.Text6->text(), form.Text7->text(), form.Text8->text(),
            form.Text9->text(), form.Text10->text()};
}

// A 16 x 16 cursor file with its hot spot at (3, 4).
QByteArray cursorFile()
{
    const int side = 16;
    QByteArray image;
    auto put16 = [&](QByteArray& to, quint16 v) { to.append(char(v & 0xff)).append(char(v >> 8)); };
    auto put32 = [&](QByteArray& to, quint32 v) {
        put16(to, v & 0xffff);
        put16(to, v >> 16);
    };
    put32(image, 40);
    put32(image, side);
    put32(image, side * 2);
    put16(image, 1);
    put16(image, 32);
    for (int i = 0; i < 6; ++i)
        put32(image, 0);
    for (int i = 0; i < side * side; ++i)
        put32(image, 0xff2050a0);
    image.append(QByteArray(qsizetype(side) * 4, '\0')); // AND mask, rows padded to 32 bits
    QByteArray file;
    put16(file, 0);
    put16(file, 2);
    put16(file, 1);
    file.append(char(side)).append(char(side)).append(char(0)).append(char(0));
    put16(file, 3);
    put16(file, 4);
    put32(file, static_cast<quint32>(image.size()));
    put32(file, 22);
    return file + image;
}
} // namespace

class Form1Test : public QObject
{
    Q_OBJECT
private slots:
    void layoutFollowsTheDesign()
    {
        ProgramUnderTest program;
        Form1& form = Windows::form1();
        QCOMPARE(form.size(), QSize(536, 441));
        QCOMPARE(form.Frame1->geometry(), QRect(8, 8, 520, 191));
        QCOMPARE(form.Frame1->title(), QStringLiteral("PostgreSQL Database"));
        QCOMPARE(form.Frame2->geometry(), QRect(8, 206, 520, 191));
        QCOMPARE(form.Frame2->title(), QStringLiteral("MySQL Login"));
        QCOMPARE(form.Text6->parentWidget(), form.Frame2);
        QCOMPARE(form.Text2->geometry(), QRect(432, 24, 73, 23));
        QCOMPARE(form.PushButton2->geometry(), QRect(8, 406, 520, 27));
        QCOMPARE(form.PushButton2->text(), QStringLiteral("Next >"));
        QCOMPARE(form.PushButton1->text(), QStringLiteral("Test Connection"));
        QCOMPARE(form.PushButton4->text(), QStringLiteral("Help"));
        QCOMPARE(form.Text4->echoMode(), QLineEdit::Password);
        QCOMPARE(form.Text8->echoMode(), QLineEdit::Password);
        QCOMPARE(form.Text1->echoMode(), QLineEdit::Normal);
        QCOMPARE(form.PushButton3->font().pointSizeF(), 11.25);
        QVERIFY(form.Text1->font().bold());
        QVERIFY(!(form.windowFlags() & Qt::WindowMaximizeButtonHint));
        for (const char* name : {"Label1", "Label2", "Label3", "Label4", "Label5", "Label6", "Label7",
                                 "Label8", "Label9", "Label10"})
            QVERIFY2(form.findChild<QWidget*>(name), name);

        const QStringList expectedOrder = {
            "Text1",  "Text2", "Text3", "Text4", "Text5",       "PushButton3", "PushButton5", "Text6",
            "Text10", "Text7", "Text8", "Text9", "PushButton1", "PushButton4", "PushButton2"};
        QStringList order;
        QWidget* widget = form.Text1;
        for (int guard = 0; guard < 100 && order.size() < expectedOrder.size(); ++guard) {
            if (widget->focusPolicy() & Qt::TabFocus)
                order << widget->objectName();
            widget = widget->nextInFocusChain();
        }
        QCOMPARE(order, expectedOrder);
    }

    void anEmptyStoreGivesTheDefaultsAndKeepsThem()
    {
        ProgramUnderTest program;
        program.settings().write("PostgreSQLPort", "1"); // nobody listens: the window stays
        Form1& form = Windows::form1();
        form.Form_Load();
        QCOMPARE(fieldTexts(form),
                 (QStringList{"localhost", "1", "", "", "", "localhost", "", "", "", "3306"}));
        QCOMPARE(program.settings().read("MySQLServer", "x"), QStringLiteral("localhost"));
        QCOMPARE(program.settings().read("MySQLPort", "x"), QStringLiteral("3306"));
        QCOMPARE(program.settings().read("PostgreSQLServer", "x"), QStringLiteral("localhost"));
        QVERIFY(!Windows::form2Exists());
        QCOMPARE(MessageBox::history().size(), 0);
        QCOMPARE(form.windowTitle(), QStringLiteral("Quillstone"));
        QCOMPARE(MessageBox::applicationTitle(), QStringLiteral("Quillstone"));
    }

    void aClearedFieldComesBackEmpty()
    {
        ProgramUnderTest program;
        program.settings().write("MySQLServer", "");
        program.settings().write("PostgreSQLPort", "abc");
        Form1& form = Windows::form1();
        form.Form_Load();
        QCOMPARE(form.Text6->text(), QString());
        QCOMPARE(form.Text2->text(), QStringLiteral("abc"));
    }

    void everyKeystrokeIsStoredAtOnce()
    {
        ProgramUnderTest program;
        Form1& form = Windows::form1();
        QStringList stored;
        connect(form.Text7, &QLineEdit::textChanged, this,
                [&] { stored << program.settings().read("MySQLUser", "<absent>"); });
        QTest::keyClicks(form.Text7, "alice");
        QCOMPARE(stored, (QStringList{"a", "al", "ali", "alic", "alice"}));
        form.Text7->clear();
        QCOMPARE(Settings(program.settingsFile()).read("MySQLUser", "<absent>"), QString());
    }

    void focusSelectsTheWholeText()
    {
        ProgramUnderTest program;
        Form1& form = Windows::form1();
        form.show();
        QApplication::setActiveWindow(&form);
        form.Text9->setText("inventory");
        form.Text9->setCursorPosition(3);
        form.Text1->setFocus(Qt::OtherFocusReason);
        form.Text9->setFocus(Qt::OtherFocusReason);
        QVERIFY(form.Text9->hasFocus());
        QCOMPARE(form.Text9->selectedText(), QStringLiteral("inventory"));
        QCOMPARE(form.Text9->selectionStart(), 0);
    }

    void pointerFollowsTheHoverRules()
    {
        ProgramUnderTest program;
        Form1& form = Windows::form1();
        WindowPointer& pointer = form.pointer();
        moveOver(form.PushButton3);
        QCOMPARE(pointer.value(), 99);
        moveOver(form.Text3); // leaves it
        QCOMPARE(pointer.value(), 99);
        moveOver(form.Frame2);
        QCOMPARE(pointer.value(), 0);
        moveOver(form.PushButton2);
        moveOver(form.Text6);
        QCOMPARE(pointer.value(), 0);

        pointer.set(11);
        for (QWidget* surface :
             std::initializer_list<QWidget*>{form.PushButton1, form.Frame1, &form, form.Text1})
            moveOver(surface);
        QCOMPARE(pointer.value(), 11);
        moveOver(form.Text4);
        QCOMPARE(pointer.value(), 0);
    }

    void aPointerFileGivesTheHandAndABadOneIsReported_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<bool>("hand");
        QTest::newRow("a cursor") << cursorFile() << true;
        QTest::newRow("not a picture") << QByteArray("not a picture") << false;
    }
    void aPointerFileGivesTheHandAndABadOneIsReported()
    {
        QFETCH(QByteArray, file);
        QFETCH(bool, hand);
        ProgramUnderTest program;
        QFile pointer(program.appFolder() + "/HAND-M.CUR");
        QVERIFY(pointer.open(QIODevice::WriteOnly));
        pointer.write(file);
        pointer.close();
        program.settings().write("PostgreSQLPort", "1");
        Form1& form = Windows::form1();
        form.Form_Load();
        QCOMPARE(form.pointer().hasCustomPicture(), hand);
        if (hand) {
            QCOMPARE(MessageBox::history().size(), 0);
            form.pointer().set(99);
            QCOMPARE(form.cursor().hotSpot(), QPoint(3, 4));
        } else {
            QCOMPARE(MessageBox::history().size(), 1);
            QVERIFY(MessageBox::history().first().text.contains(
                "\r\nin Tablewright2021/08/31.Form1.Form_Load at line 126\r\r"));
            // Loading went on with the fields.
            QCOMPARE(form.Text1->text(), QStringLiteral("localhost"));
        }
    }

    void theHomePageIsVisitedOnlyOnSeven()
    {
        for (int draw : {7, 8}) {
            ProgramUnderTest program;
            program.setDraw(draw);
            program.settings().write("PostgreSQLPort", "1");
            Windows::form1().Form_Load();
            QCOMPARE(program.browserOpens(), draw == 7 ? QStringList{Program::kHomePage} : QStringList());
        }
    }

    void startUpChecksPostgreSQLFirst()
    {
        ProgramUnderTest program;
        program.rememberSandbox();
        QTcpServer fakeMySQL;
        QVERIFY(fakeMySQL.listen(QHostAddress::LocalHost));
        program.settings().write("MySQLPort", QString::number(fakeMySQL.serverPort()));
        program.settings().write("PostgreSQLPassword", "wrong");
        Windows::form1().Form_Load();
        QVERIFY(!fakeMySQL.waitForNewConnection(200));
        QVERIFY(!Windows::form2Exists());
        QCOMPARE(MessageBox::history().size(), 0);
    }

    void startUpMovesOnWhenBothServersAnswer()
    {
        ProgramUnderTest program;
        program.rememberSandbox();
        Form1& form = Windows::form1();
        form.Form_Load();
        QVERIFY(Windows::form2Exists());
        QVERIFY(Windows::form2().isVisible());
        QVERIFY(!form.isVisible());
        QCOMPARE(form.pointer().value(), 0);
        QCOMPARE(MessageBox::history().size(), 0);

        // With one side wrong the window stays where it is.
        ProgramUnderTest again;
        again.rememberSandbox();
        again.settings().write("MySQLDatabase", "no_such_database");
        Windows::form1().Form_Load();
        QVERIFY(!Windows::form2Exists());
    }

    void testConnectionReportsSuccessAndFailure()
    {
        ProgramUnderTest program;
        Form1& form = openConnectionWindow();
        QList<int> pointerWhileShown;
        MessageBox::setObserver(
            [&](const MessageBox::Shown&) { pointerWhileShown << form.pointer().value(); });

        form.Text2->setText(Sandbox::env("QS_PG_PORT"));
        QTest::mouseClick(form.PushButton3, Qt::LeftButton);
        form.Text9->setText("no_such_database");
        QTest::mouseClick(form.PushButton1, Qt::LeftButton);
        form.Text2->setText("1");
        form.PushButton3_Click();

        QCOMPARE(shownTexts(),
                 (QStringList{
                     "Connection successful.",
                     "Could not connect. Please check with your administrator. Make sure you are "
                     "allowed to connect to your database remotely and not just through web-based "
                     "control panels.",
                     "Could not connect. Please check with your administrator.",
                 }));
        for (const MessageBox::Shown& shown : MessageBox::history()) {
            QCOMPARE(shown.title, QStringLiteral("Quillstone"));
            QCOMPARE(shown.icon, MessageBox::NoIcon);
        }
        QCOMPARE(pointerWhileShown, (QList<int>{11, 11, 11}));
        QCOMPARE(form.pointer().value(), 0);
    }

    void theSeparatorPasswordConnectsFromTheFields()
    {
        ProgramUnderTest program;
        Form1& form = openConnectionWindow();
        form.Text2->setText(Sandbox::env("QS_PG_PORT"));
        for (QLineEdit* user : {form.Text3, form.Text7})
            user->setText(Sandbox::env("QS_ODD_USER"));
        for (QLineEdit* password : {form.Text4, form.Text8})
            password->setText(Sandbox::env("QS_ODD_PASSWORD"));
        form.PushButton3_Click();
        form.PushButton1_Click();
        QCOMPARE(shownTexts(), (QStringList{"Connection successful.", "Connection successful."}));
    }

    void helpTextsAreExact()
    {
        ProgramUnderTest program;
        Form1& form = Windows::form1();
        form.PushButton4_Click();
        form.PushButton5_Click();
        form.PushButton5_Click();
        QCOMPARE(shownTexts().at(0),
                 QStringLiteral(
                     "If you cannot establish connection to your database with this program, please go to: "
                     "\r\rhttps://dev.mysql.com/downloads/workbench/\r\rDownload and install the MySQL "
                     "Workbench. Try to connect to the same database (with the same login information you "
                     "are using here). This will determine if the login you are using is correct.\r\r"
                     "Finally, make sure your host allows a direct connection to your MySQL database -- not "
                     "a web based connection, for example."));
        const QString postgreSQLHelp = QStringLiteral(
            "If you can not connect, please try downloading pgAdmin III. If you can not connect with "
            "that software, you know the login information you are providing here is incorrect."
            "\r\n\r\nhttps://www.pgadmin.org/download/");
        QCOMPARE(shownTexts().mid(1), (QStringList{postgreSQLHelp, postgreSQLHelp}));
        QCOMPARE(program.browserOpens(), QStringList());
    }

    void closingTheWindowEndsTheProgram()
    {
        ProgramUnderTest program;
        Form1& form = Windows::form1();
        form.show();
        form.close();
        QCOMPARE(program.endCalls(), 1);
    }
};

QTEST_MAIN(Form1Test)
#include "test_form1.moc"
