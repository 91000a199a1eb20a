#include "connect/Form1.h"

#include "app/AppFolder.h"
#include "app/ErrorReport.h"
#include "app/Main.h"
#include "app/MessageBox.h"
#include "app/OperationGuard.h"
#include "app/Program.h"
#include "app/ProgramWindow.h"
#include "app/Settings.h"
#include "app/Windows.h"
#include "app/db/Connection.h"
#include "connect/ConnectionStrings.h"

#include <QCoreApplication>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QtEndian>
#include <iterator>

namespace {
// The numbered steps of each handler of the window, as its error reports name them.
namespace FormLoadLine {
constexpr int kSkin = 100;
constexpr int kCaption = 104; // the caption, the icon and the application title
constexpr int kHomePage = 106;
constexpr int kPointerFile = 124;
constexpr int kPointerPicture = 126;
// One field each, in the order of kRemembered.
constexpr int kFillField[] = {128, 130, 132, 134, 136, 138, 140, 142, 144, 146};
constexpr int kCanConnectPostgreSQL = 148;
constexpr int kCanConnectMySQL = 150;
constexpr int kNext = 152;
} // namespace FormLoadLine

// "Next >", PushButton2_Click.
namespace NextLine {
constexpr int kBusyPointer = 100;
constexpr int kCanConnectPostgreSQL = 102;
constexpr int kCanConnectMySQL = 104;
constexpr int kListMySQL = 106;
constexpr int kListPostgreSQL = 108;
constexpr int kShowTables = 110;
constexpr int kHide = 112;
constexpr int kDefaultPointer = 114;
} // namespace NextLine

// "Test Connection", PushButton1_Click and PushButton3_Click: one numbered step, then the
// handler's own trap.
constexpr int kTestConnectionObject = 100;

// MySQL's "Help", PushButton4_Click.
namespace MySQLHelpLine {
constexpr int kIntroduction = 104;
constexpr int kAddress = 106;
constexpr int kWorkbench = 108;
constexpr int kFinally = 110;
constexpr int kShow = 112;
} // namespace MySQLHelpLine

// PostgreSQL's "Help", PushButton5_Click.
namespace PostgreSQLHelpLine {
constexpr int kFirst = 100;
constexpr int kSecond = 102;
constexpr int kAddress = 104;
constexpr int kShow = 106;
} // namespace PostgreSQLHelpLine
} // namespace

// One frame of the window, by the names of its controls and the members they go to; the
// fields and labels in the order server, port, user, password, database.
struct ConnectionFrameDesign
{
    QGroupBox* Form1::*frame;
    const char* frameName;
    const char* title;
    int top;
    QLineEdit* Form1::*fields[5];
    const char* fieldNames[5];
    const char* labelNames[5];
    QPushButton* Form1::*testButton;
    const char* testName;
    QPushButton* Form1::*helpButton;
    const char* helpName;
};

namespace {
const ConnectionFrameDesign kPostgreSQLFrame = {
    &Form1::Frame1,
    "Frame1",
    "PostgreSQL Database",
    8,
    {&Form1::Text1, &Form1::Text2, &Form1::Text3, &Form1::Text4, &Form1::Text5},
    {"Text1", "Text2", "Text3", "Text4", "Text5"},
    {"Label2", "Label3", "Label1", "Label4", "Label6"},
    &Form1::PushButton3,
    "PushButton3",
    &Form1::PushButton5,
    "PushButton5",
};

const ConnectionFrameDesign kMySQLFrame = {
    &Form1::Frame2,
    "Frame2",
    "MySQL Login",
    206,
    {&Form1::Text6, &Form1::Text10, &Form1::Text7, &Form1::Text8, &Form1::Text9},
    {"Text6", "Text10", "Text7", "Text8", "Text9"},
    {"Label7", "Label10", "Label5", "Label9", "Label8"},
    &Form1::PushButton1,
    "PushButton1",
    &Form1::PushButton4,
    "PushButton4",
};

struct RememberedField
{
    QLineEdit* Form1::*field;
    const char* key;
    const char* defaultValue;
};

// In the order the start-up sequence fills them.
const RememberedField kRemembered[10] = {
    {&Form1::Text1, "PostgreSQLServer", "localhost"},
    {&Form1::Text2, "PostgreSQLPort", "5432"},
    {&Form1::Text3, "PostgreSQLUser", ""},
    {&Form1::Text4, "PostgreSQLPassword", ""},
    {&Form1::Text5, "PostgreSQLDatabase", ""},
    {&Form1::Text6, "MySQLServer", "localhost"},
    {&Form1::Text7, "MySQLUser", ""},
    {&Form1::Text8, "MySQLPassword", ""},
    {&Form1::Text9, "MySQLDatabase", ""},
    {&Form1::Text10, "MySQLPort", "3306"},
};
static_assert(std::size(kRemembered) == std::size(FormLoadLine::kFillField));

const QString kMySQLWorkbenchPage = QStringLiteral("https://dev.mysql.com/downloads/workbench/");
const QString kPgAdminPage = QStringLiteral("https://www.pgadmin.org/download/");

void whiteBackground(QWidget* widget)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, Qt::white);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

} // namespace

Form1::Form1()
{
    setObjectName(QStringLiteral("Form1"));
    setFixedSize(536, 441);
    setFont(arialBold(9));
    whiteBackground(this);
    m_pointer = new WindowPointer(this);

    buildFrame(kPostgreSQLFrame);
    buildFrame(kMySQLFrame);

    PushButton2 = namedChild<QPushButton>(this, "PushButton2");
    PushButton2->setText(QStringLiteral("Next >"));
    PushButton2->setGeometry(8, 406, 520, 27);
    PushButton2->setFont(arialBold(11.25));

    for (const RememberedField& remembered : kRemembered) {
        QLineEdit* field = this->*remembered.field;
        const QString key = QLatin1String(remembered.key);
        // Every change is written at once, the start-up fill included.
        connect(field, &QLineEdit::textChanged, this,
                [key](const QString& text) { Settings::instance().write(key, text); });
        field->installEventFilter(this);
    }

    connect(PushButton1, &QPushButton::clicked, this, &Form1::PushButton1_Click);
    connect(PushButton2, &QPushButton::clicked, this, &Form1::PushButton2_Click);
    connect(PushButton3, &QPushButton::clicked, this, &Form1::PushButton3_Click);
    connect(PushButton4, &QPushButton::clicked, this, &Form1::PushButton4_Click);
    connect(PushButton5, &QPushButton::clicked, this, &Form1::PushButton5_Click);

    QWidget* tabOrder[] = {Text1,  Text2, Text3, Text4, Text5,       PushButton3, PushButton5, Text6,
                           Text10, Text7, Text8, Text9, PushButton1, PushButton4, PushButton2};
    for (size_t i = 0; i + 1 < std::size(tabOrder); ++i)
        setTabOrder(tabOrder[i], tabOrder[i + 1]);

    using Hover = WindowPointer::Hover;
    for (QWidget* button : {PushButton1, PushButton2, PushButton3, PushButton4, PushButton5})
        m_pointer->hover(button, Hover::Custom);
    for (QWidget* surface : std::initializer_list<QWidget*>{this, Frame1, Frame2, Text1, Text2, Text5, Text6,
                                                            Text7, Text8, Text9})
        m_pointer->hover(surface, Hover::Default);
    m_pointer->hover(Text4, Hover::ForceDefault);
    m_pointer->hover(Text3, Hover::Nothing);
    m_pointer->hover(Text10, Hover::Nothing);
}

void Form1::buildFrame(const ConnectionFrameDesign& design)
{
    QGroupBox* frame = namedChild<QGroupBox>(this, design.frameName);
    this->*design.frame = frame;
    frame->setTitle(QLatin1String(design.title));
    frame->setGeometry(8, design.top, 520, 191);
    whiteBackground(frame);
    static const char* const captions[5] = {"Server:", "Port:", "Username:", "Password:", "Database:"};
    static const QRect labelPlaces[5] = {
        {16, 27, 73, 17}, {400, 27, 33, 17}, {16, 59, 73, 17}, {16, 91, 73, 17}, {16, 123, 73, 17}};
    static const QRect fieldPlaces[5] = {
        {88, 24, 305, 23}, {432, 24, 73, 23}, {88, 56, 417, 23}, {88, 88, 417, 23}, {88, 120, 417, 23}};
    QLineEdit* fields[5];
    for (int i = 0; i < 5; ++i) {
        fields[i] = namedChild<QLineEdit>(frame, design.fieldNames[i]);
        this->*design.fields[i] = fields[i];
        auto* label = namedChild<QLabel>(frame, design.labelNames[i]);
        label->setText(QLatin1String(captions[i]));
        label->setGeometry(labelPlaces[i]);
        whiteBackground(label);
        fields[i]->setGeometry(fieldPlaces[i]);
    }
    // The password field shows "*" for every character.
    fields[3]->setEchoMode(QLineEdit::Password);
    fields[3]->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));

    QPushButton* testButton = namedChild<QPushButton>(frame, design.testName);
    this->*design.testButton = testButton;
    testButton->setText(QStringLiteral("Test Connection"));
    testButton->setGeometry(16, 152, 240, 27);
    testButton->setFont(arialBold(11.25));
    QPushButton* helpButton = namedChild<QPushButton>(frame, design.helpName);
    this->*design.helpButton = helpButton;
    helpButton->setText(QStringLiteral("Help"));
    helpButton->setGeometry(264, 152, 240, 27);
    helpButton->setFont(arialBold(11.25));
}

void Form1::Form_Load()
{
    using namespace FormLoadLine;
    Handler handler(QStringLiteral("Form1"), QStringLiteral("Form_Load"));
    handler.step(kSkin, [&] { ApplySkin(*this, m_skinFramework); });
    handler.step(kCaption, [&] { setWindowTitle(kProductName); });
    handler.step(kCaption, [&] { setWindowIcon(applicationIcon()); });
    handler.step(kCaption, [&] { SetApplicationTitle(); });
    handler.step(kHomePage, [&] {
        if (Program::drawOneInAHundred() == 7)
            Program::openInBrowser(Program::kHomePage);
    });
    const QString pointerFile = AppFolder::handPointerFile();
    if (handler.test(kPointerFile, [&] { return FileExists(pointerFile); }))
        handler.step(kPointerPicture, [&] { m_pointer->setCustomPicture(loadPointerPicture(pointerFile)); });

    for (std::size_t i = 0; i < std::size(kRemembered); ++i) {
        const RememberedField& remembered = kRemembered[i];
        handler.step(kFillField[i], [&] {
            (this->*remembered.field)
                ->setText(Settings::instance().read(QLatin1String(remembered.key),
                                                    QLatin1String(remembered.defaultValue)));
        });
    }

    if (handler.test(kCanConnectPostgreSQL, [] { return CanConnectPostgreSQL(); })) {
        if (handler.test(kCanConnectMySQL, [] { return CanConnectMySQL(); }))
            handler.step(kNext, [&] { PushButton2_Click(); });
    }
}

void Form1::PushButton2_Click()
{
    OperationGuard guard;
    if (!guard.entered())
        return;
    using namespace NextLine;
    Handler handler(QStringLiteral("Form1"), QStringLiteral("PushButton2_Click"));
    // The fields can change while the catalogues let the window handle its events: the
    // four connections of one press all use the fields as they were at the press.
    const QString postgreSQL = PostgreSQLConnectionString();
    const QString mySQL = MySQLConnectionString();
    handler.step(kBusyPointer, [&] { m_pointer->set(WindowPointer::Busy); });
    if (handler.test(kCanConnectPostgreSQL, [&] { return CanConnectPostgreSQL(postgreSQL); }) &&
        handler.test(kCanConnectMySQL, [&] { return CanConnectMySQL(mySQL); })) {
        handler.step(kListMySQL, [&] { Windows::listMySQLTables(mySQL); });
        handler.step(kListPostgreSQL, [&] { Windows::listPostgreSQLTables(postgreSQL); });
        handler.step(kShowTables, [] { Windows::showTableWindow(); });
        handler.step(kHide, [&] { hide(); });
    }
    handler.step(kDefaultPointer, [&] { m_pointer->set(WindowPointer::Default); });
}

void Form1::testConnection(const QString& procedure, const QString& connectionString,
                           const QString& failureMessage)
{
    Handler handler(QStringLiteral("Form1"), procedure);
    std::unique_ptr<Connection> connection;
    handler.step(kTestConnectionObject, [&] { connection = std::make_unique<Connection>(); });
    // From here on a failure means the connection could not be made.
    const bool connected = Attempt([&] {
        m_pointer->set(WindowPointer::Busy);
        QCoreApplication::processEvents();
        if (!connection)
            throw Error(QStringLiteral("Object required"));
        connection->Open(connectionString);
        MessageBox::show(QStringLiteral("Connection successful."));
        m_pointer->set(WindowPointer::Default);
    });
    if (connected)
        return;
    MessageBox::show(failureMessage);
    m_pointer->set(WindowPointer::Default);
}

void Form1::PushButton1_Click()
{
    testConnection(
        QStringLiteral("PushButton1_Click"), MySQLConnectionString(),
        QStringLiteral("Could not connect. Please check with your administrator. Make sure you are "
                       "allowed to connect to your database remotely and not just through web-based "
                       "control panels."));
}

void Form1::PushButton3_Click()
{
    testConnection(QStringLiteral("PushButton3_Click"), PostgreSQLConnectionString(),
                   QStringLiteral("Could not connect. Please check with your administrator."));
}

void Form1::PushButton4_Click()
{
    using namespace MySQLHelpLine;
    Handler handler(QStringLiteral("Form1"), QStringLiteral("PushButton4_Click"));
    QString introduction;
    QString address;
    QString workbench;
    QString finally;
    handler.step(kIntroduction, [&] {
        introduction =
            QStringLiteral("If you cannot establish connection to your database with this program, "
                           "please go to: \r\r");
    });
    handler.step(kAddress, [&] { address = kMySQLWorkbenchPage + QStringLiteral("\r\r"); });
    handler.step(kWorkbench, [&] {
        workbench =
            QStringLiteral("Download and install the MySQL Workbench. Try to connect to the same database "
                           "(with the same login information you are using here). This will determine if "
                           "the login you are using is correct.\r\r");
    });
    handler.step(kFinally, [&] {
        finally =
            QStringLiteral("Finally, make sure your host allows a direct connection to your MySQL database "
                           "-- not a web based connection, for example.");
    });
    handler.step(kShow, [&] { MessageBox::show(introduction + address + workbench + finally); });
}

void Form1::PushButton5_Click()
{
    using namespace PostgreSQLHelpLine;
    Handler handler(QStringLiteral("Form1"), QStringLiteral("PushButton5_Click"));
    QString first;
    QString second;
    QString address;
    handler.step(kFirst, [&] {
        first = QStringLiteral("If you can not connect, please try downloading pgAdmin III. ");
    });
    handler.step(kSecond, [&] {
        second = QStringLiteral(
            "If you can not connect with that software, you know the login information you are "
            "providing here is incorrect.");
    });
    handler.step(kAddress, [&] { address = kPgAdminPage; });
    handler.step(kShow, [&] { MessageBox::show(first + second + QStringLiteral("\r\n\r\n") + address); });
}

bool Form1::eventFilter(QObject* watched, QEvent* event)
{
    // Text1_GotFocus ... Text10_GotFocus: typing replaces the whole value.
    if (event->type() == QEvent::FocusIn) {
        if (auto* field = qobject_cast<QLineEdit*>(watched))
            field->setSelection(0, static_cast<int>(field->text().size()));
    }
    return QWidget::eventFilter(watched, event);
}
