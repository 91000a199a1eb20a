#include "tables/Form2.h"

#include "app/AppFolder.h"
#include "app/ErrorReport.h"
#include "app/Main.h"
#include "app/MessageBox.h"
#include "app/ProgramWindow.h"
#include "app/Settings.h"
#include "app/Windows.h"
#include "app/Yield.h"
#include "app/db/Waiting.h"
#include "tables/TableList.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QResizeEvent>
#include <QScreen>
#include <QTimer>

namespace {
// The numbered steps of the window's own handlers, as their error reports name them.
namespace LoadLine {
constexpr int kColours = 100;
constexpr int kIcon = 102;
constexpr int kPointerFile = 106;
constexpr int kPointerPicture = 108;
constexpr int kCaption = 110;
constexpr int kHeight = 112;
} // namespace LoadLine

// "< Back", PushButton2_Click.
namespace BackLine {
constexpr int kShowConnectionWindow = 100;
constexpr int kHide = 102;
} // namespace BackLine

// "Select All" and "Deselect All" of both lists.
namespace SelectAllLine {
constexpr int kItemCount = 100;
constexpr int kSelect = 102;
} // namespace SelectAllLine

// "Help", PushButton12_Click.
constexpr int kHelpMessage = 100;

constexpr int kTwipsPerPixel = 15;
// Title bar and borders of a single-border window, which the outer height set at load
// includes and the client area does not.
constexpr int kNonClientTwips = 445;
// The client area of the design, 8040 by 5520 twips, and the row below it for the summary
// line and the Stop button.
constexpr int kWidthTwips = 8040;
constexpr int kStopRowTop = 5505;
constexpr int kStopRowHeight = 435;
constexpr int kHeightTwips = kStopRowTop + kStopRowHeight + 135;
// The size the window was left at, as "536x405".
const QString kSizeKey = QStringLiteral("TableWindowSize");
constexpr int kRememberAfterMilliseconds = 500;
// The choice "Foreign keys", "1" when on; absent, it is off.
const QString kForeignKeysKey = QStringLiteral("ForeignKeys");

QRect twips(int left, int top, int width, int height)
{
    return {left / kTwipsPerPixel, top / kTwipsPerPixel, width / kTwipsPerPixel, height / kTwipsPerPixel};
}

QPushButton* button(QWidget* parent, const char* name, const char* caption, QRect place)
{
    auto* push = namedChild<QPushButton>(parent, name);
    push->setText(QLatin1String(caption));
    push->setGeometry(place);
    push->setFont(arialBold(11.25));
    return push;
}
} // namespace

// One half of the window, by the names of its controls and the members they go to; the
// buttons in the order "Select All", "Deselect All", send, "Delete Table/s", "Rename Table".
struct TableFrameDesign
{
    QGroupBox* Form2::*frame;
    const char* frameName;
    const char* title;
    int left; // twips
    TableList* Form2::*list;
    const char* listName;
    QPushButton* Form2::*buttons[5];
    const char* buttonNames[5];
    const char* sendCaption;
    int renameHeight; // twips
};

namespace {
const TableFrameDesign kMySQLFrame = {
    &Form2::Frame2,
    "Frame2",
    "MySQL Tables",
    120,
    &Form2::List1,
    "List1",
    {&Form2::PushButton10, &Form2::PushButton11, &Form2::PushButton3, &Form2::PushButton1,
     &Form2::PushButton6},
    {"PushButton10", "PushButton11", "PushButton3", "PushButton1", "PushButton6"},
    "Send Table/s To PostgreSQL",
    405,
};

const TableFrameDesign kPostgreSQLFrame = {
    &Form2::Frame1,
    "Frame1",
    "PostgreSQL Tables",
    4080,
    &Form2::List2,
    "List2",
    {&Form2::PushButton8, &Form2::PushButton9, &Form2::PushButton4, &Form2::PushButton5, &Form2::PushButton7},
    {"PushButton8", "PushButton9", "PushButton4", "PushButton5", "PushButton7"},
    "Send Table/s To MySQL",
    400,
};
} // namespace

namespace {
QRect framePlace(const TableFrameDesign& design)
{
    return twips(design.left, 120, 3840, 4215);
}

const QRect kListPlace = twips(240, 360, 3330, 1635);
const QRect kProgressBarPlace = twips(120, 4460, 7800, 405);
const QRect kBackPlace = twips(120, 4980, 3840, 405);
const QRect kHelpPlace = twips(4080, 4980, 3840, 405);
const QRect kSummaryPlace = twips(120, kStopRowTop, 4620, kStopRowHeight);
const QRect kForeignKeysPlace = twips(4860, kStopRowTop + 15, 1500, 405);
const QRect kStopPlace = twips(6480, kStopRowTop + 15, 1440, 405);

// "Select All", "Deselect All", send, "Delete Table/s", "Rename Table".
QRect buttonPlace(const TableFrameDesign& design, int i)
{
    const QRect places[5] = {twips(240, 2100, 1600, 400), twips(1960, 2100, 1600, 400),
                             twips(240, 2600, 3330, 400), twips(240, 3100, 3330, 400),
                             twips(240, 3600, 3330, design.renameHeight)};
    return places[i];
}

QSize sizeFromText(const QString& text)
{
    static const QRegularExpression widthByHeight(QStringLiteral("^(\\d{1,5})x(\\d{1,5})$"));
    const QRegularExpressionMatch match = widthByHeight.match(text);
    if (!match.hasMatch())
        return {};
    return {match.captured(1).toInt(), match.captured(2).toInt()};
}
} // namespace

void Form2::buildFrame(const TableFrameDesign& design)
{
    QGroupBox* frame = namedChild<QGroupBox>(this, design.frameName);
    this->*design.frame = frame;
    frame->setTitle(QLatin1String(design.title));
    TableList* list = new TableList(frame);
    this->*design.list = list;
    list->setObjectName(QLatin1String(design.listName));
    const char* const captions[5] = {"Select All", "Deselect All", design.sendCaption, "Delete Table/s",
                                     "Rename Table"};
    for (int i = 0; i < 5; ++i)
        this->*design.buttons[i] = button(frame, design.buttonNames[i], captions[i], buttonPlace(design, i));
}

Form2::Form2()
{
    setObjectName(QStringLiteral("Form2"));
    const QSize designed(kWidthTwips / kTwipsPerPixel, kHeightTwips / kTwipsPerPixel);
    setMinimumSize(designed);
    resize(designed);
    setFont(arialBold(9));
    m_pointer = new WindowPointer(this);

    buildFrame(kMySQLFrame);
    buildFrame(kPostgreSQLFrame);

    ProgressBar1 = namedChild<QProgressBar>(this, "ProgressBar1");
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setFormat(QStringLiteral("Progress Bar"));
    ProgressBar1->setTextVisible(true);
    ProgressBar1->setAlignment(Qt::AlignCenter);

    PushButton2 = button(this, "PushButton2", "< Back", kBackPlace);
    PushButton12 = button(this, "PushButton12", "Help", kHelpPlace);

    buildStopRow();

    m_sizeToRemember = new QTimer(this);
    m_sizeToRemember->setSingleShot(true);
    m_sizeToRemember->setInterval(kRememberAfterMilliseconds);
    connect(m_sizeToRemember, &QTimer::timeout, this, &Form2::rememberSize);
    placeControls();

    setKeyboardOrder();
    connectHandlers();
    setPointerShapes();
}

void Form2::buildStopRow()
{
    // What the last click did, selectable so that it can be copied, and the button that
    // stops a copy or a delete while it runs.
    m_summary = namedChild<QLabel>(this, "SummaryLine");
    QFont plain = arialBold(9);
    plain.setBold(false);
    m_summary->setFont(plain);
    m_summary->setWordWrap(true);
    m_summary->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_foreignKeys = namedChild<QCheckBox>(this, "ForeignKeys");
    m_foreignKeys->setText(QStringLiteral("Foreign keys"));
    m_foreignKeys->setToolTip(
        QStringLiteral("After the tables' rows, gives the copies their sources' foreign keys; an overwrite "
                       "keeps those of other tables"));
    connect(m_foreignKeys, &QCheckBox::toggled, this, [](bool on) {
        Settings::instance().remember(kForeignKeysKey, on ? QStringLiteral("1") : QStringLiteral("0"));
    });
    m_stop = button(this, "StopButton", "Stop", kStopPlace);
    m_stop->setEnabled(false);
    m_stop->setToolTip(QStringLiteral("Stops the copy or the delete (Escape)"));
    setStopButton(m_stop);
    connect(m_stop, &QPushButton::clicked, this, &Form2::stopClicked);
}

// Keyboard order by tab index.
void Form2::setKeyboardOrder()
{
    QWidget* tabOrder[] = {Frame2,       List1,        Frame1,        List2,       PushButton10,
                           PushButton11, PushButton3,  PushButton1,   PushButton6, PushButton8,
                           PushButton9,  PushButton4,  PushButton5,   PushButton7, PushButton2,
                           ProgressBar1, PushButton12, m_foreignKeys, m_stop};
    for (size_t i = 0; i + 1 < std::size(tabOrder); ++i)
        setTabOrder(tabOrder[i], tabOrder[i + 1]);
}

void Form2::connectHandlers()
{
    connect(PushButton1, &QPushButton::clicked, this, &Form2::PushButton1_Click);
    connect(PushButton2, &QPushButton::clicked, this, &Form2::PushButton2_Click);
    connect(PushButton3, &QPushButton::clicked, this, &Form2::PushButton3_Click);
    connect(PushButton4, &QPushButton::clicked, this, &Form2::PushButton4_Click);
    connect(PushButton5, &QPushButton::clicked, this, &Form2::PushButton5_Click);
    connect(PushButton6, &QPushButton::clicked, this, &Form2::PushButton6_Click);
    connect(PushButton7, &QPushButton::clicked, this, &Form2::PushButton7_Click);
    connect(PushButton8, &QPushButton::clicked, this, &Form2::PushButton8_Click);
    connect(PushButton9, &QPushButton::clicked, this, &Form2::PushButton9_Click);
    connect(PushButton10, &QPushButton::clicked, this, &Form2::PushButton10_Click);
    connect(PushButton11, &QPushButton::clicked, this, &Form2::PushButton11_Click);
    connect(PushButton12, &QPushButton::clicked, this, &Form2::PushButton12_Click);
}

void Form2::setPointerShapes()
{
    using Hover = WindowPointer::Hover;
    for (QWidget* push : std::initializer_list<QWidget*>{
             PushButton1, PushButton2, PushButton3, PushButton4, PushButton5, PushButton6, PushButton7,
             PushButton8, PushButton9, PushButton10, PushButton11, PushButton12, m_foreignKeys, m_stop})
        m_pointer->hover(push, Hover::Custom);
    for (QWidget* surface : std::initializer_list<QWidget*>{this, Frame1, Frame2, List1, List2, m_summary})
        m_pointer->hover(surface, Hover::Default);
    // The list draws its items on its viewport, which is where the mouse moves.
    m_pointer->hover(List1->viewport(), Hover::Default);
    m_pointer->hover(List2->viewport(), Hover::Default);
}

void Form2::Form_Load()
{
    using namespace LoadLine;
    Handler handler(QStringLiteral("Form2"), QStringLiteral("Form_Load"));
    handler.step(kColours, [&] { ApplyStandardColours(*this); });
    handler.step(kIcon, [&] { setWindowIcon(applicationIcon()); });
    const QString pointerFile = AppFolder::handPointerFile();
    if (handler.test(kPointerFile, [&] { return FileExists(pointerFile); }))
        handler.step(kPointerPicture, [&] { m_pointer->setCustomPicture(loadPointerPicture(pointerFile)); });
    handler.step(kCaption, [&] { setWindowTitle(QStringLiteral("Quillstone")); });
    handler.step(kHeight, [&] {
        // The top of the row below "< Back" plus its height plus 580.
        const int outerHeightTwips = kStopRowTop + kStopRowHeight + 580;
        resize(width(), (outerHeightTwips - kNonClientTwips) / kTwipsPerPixel);
    });
    restoreSize();
    const QSignalBlocker quiet(m_foreignKeys);
    m_foreignKeys->setChecked(Settings::instance().read(kForeignKeysKey, QString()) == QLatin1String("1"));
}

bool Form2::copiesForeignKeys() const
{
    return m_foreignKeys->isChecked();
}

void Form2::placeFrame(const TableFrameDesign& design, int moveRight, int wider, int taller)
{
    (this->*design.frame)->setGeometry(framePlace(design).adjusted(moveRight, 0, moveRight + wider, taller));
    (this->*design.list)->setGeometry(kListPlace.adjusted(0, 0, wider, taller));
    for (int i = 0; i < 5; ++i)
        (this->*design.buttons[i])->setGeometry(buttonPlace(design, i).translated(0, taller));
}

void Form2::placeControls()
{
    const int wider = qMax(0, width() - minimumWidth());
    const int taller = qMax(0, height() - minimumHeight());
    // Each half gets half of the width gained; everything below the lists moves down.
    const int left = wider / 2;
    placeFrame(kMySQLFrame, 0, left, taller);
    placeFrame(kPostgreSQLFrame, left, wider - left, taller);
    ProgressBar1->setGeometry(kProgressBarPlace.adjusted(0, taller, wider, taller));
    PushButton2->setGeometry(kBackPlace.translated(0, taller));
    PushButton12->setGeometry(kHelpPlace.translated(left, taller));
    m_summary->setGeometry(kSummaryPlace.adjusted(0, taller, wider, taller));
    m_foreignKeys->setGeometry(kForeignKeysPlace.translated(wider, taller));
    m_stop->setGeometry(kStopPlace.translated(wider, taller));
}

void Form2::resizeEvent(QResizeEvent* event)
{
    placeControls();
    // The user's own resizing is remembered once it has come to rest.
    if (isVisible() && event->size() != m_rememberedSize)
        m_sizeToRemember->start();
    ProgramWindow::resizeEvent(event);
}

void Form2::restoreSize()
{
    QSize remembered = sizeFromText(Settings::instance().read(kSizeKey, QString()));
    if (remembered.isValid()) {
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            remembered = remembered.boundedTo(screen->availableGeometry().size());
        resize(remembered.expandedTo(minimumSize()));
    }
    m_rememberedSize = size();
}

void Form2::rememberSize()
{
    if (size() == m_rememberedSize)
        return;
    m_rememberedSize = size();
    Settings::instance().remember(kSizeKey, QStringLiteral("%1x%2").arg(width()).arg(height()));
}

void Form2::stopClicked()
{
    Waiting::requestStop();
    m_stop->setEnabled(false);
    m_summary->setText(QStringLiteral("Stopping…"));
}

void Form2::closeEvent(QCloseEvent* event)
{
    // Closed during a copy or a delete: the window says it is stopping until the program ends.
    if (m_stop->isEnabled())
        m_stop->click();
    ProgramWindow::closeEvent(event);
}

StoppableWork::StoppableWork(Form2& form) : m_form(form)
{
    m_clock.start();
    m_form.m_summary->clear();
    m_form.m_stop->setEnabled(true);
}

StoppableWork::~StoppableWork()
{
    m_form.m_stop->setEnabled(false);
    if (!m_told)
        m_form.m_summary->clear();
    m_form.ProgressBar1->setFormat(QStringLiteral("Progress Bar"));
}

bool StoppableWork::stopped()
{
    return Waiting::stopRequested();
}

void StoppableWork::tell(const QString& summary)
{
    m_told = true;
    m_form.m_summary->setText(summary);
}

void Form2::PushButton2_Click()
{
    using namespace BackLine;
    Handler handler(QStringLiteral("Form2"), QStringLiteral("PushButton2_Click"));
    handler.step(kShowConnectionWindow, [] { Windows::showConnectionWindow(); });
    handler.step(kHide, [&] { hide(); });
}

void Form2::setAllSelected(const QString& procedure, TableList* list, bool selected)
{
    using namespace SelectAllLine;
    Handler handler(QStringLiteral("Form2"), procedure);
    int count = 0;
    handler.step(kItemCount, [&] { count = list->count(); });
    for (int i = 0; i < count; ++i) {
        // As in a list control where selecting an item by program also focuses it: the
        // last item touched becomes current, so the operations see the user's choice.
        handler.step(kSelect, [&] {
            QListWidgetItem* item = list->item(i);
            item->setSelected(selected);
            list->setCurrentItem(item, QItemSelectionModel::NoUpdate);
        });
    }
}

void Form2::PushButton8_Click()
{
    setAllSelected(QStringLiteral("PushButton8_Click"), List2, true);
}

void Form2::PushButton9_Click()
{
    setAllSelected(QStringLiteral("PushButton9_Click"), List2, false);
}

void Form2::PushButton10_Click()
{
    setAllSelected(QStringLiteral("PushButton10_Click"), List1, true);
}

void Form2::PushButton11_Click()
{
    setAllSelected(QStringLiteral("PushButton11_Click"), List1, false);
}

void Form2::PushButton12_Click()
{
    Handler handler(QStringLiteral("Form2"), QStringLiteral("PushButton12_Click"));
    handler.step(kHelpMessage, [] {
        MessageBox::show(QStringLiteral("Questions? Please contact Team Vantrel at ") +
                         QStringLiteral("https://www.vantrel.example/contact"));
    });
}
