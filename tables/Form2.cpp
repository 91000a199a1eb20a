#include "tables/Form2.h"

#include "app/AppFolder.h"
#include "app/ErrorReport.h"
#include "app/Main.h"
#include "app/MessageBox.h"
#include "app/ProgramWindow.h"
#include "app/Windows.h"
#include "tables/TableList.h"

#include <QGroupBox>
#include <QProgressBar>
#include <QPushButton>

namespace {
constexpr int kTwipsPerPixel = 15;
// Title bar and borders of a fixed single-border window, which the outer height set at
// load includes and the client area does not.
constexpr int kNonClientTwips = 445;

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

void Form2::buildFrame(const TableFrameDesign& design)
{
    QGroupBox* frame = namedChild<QGroupBox>(this, design.frameName);
    this->*design.frame = frame;
    frame->setTitle(QLatin1String(design.title));
    frame->setGeometry(twips(design.left, 120, 3840, 4215));
    TableList* list = new TableList(frame);
    this->*design.list = list;
    list->setObjectName(QLatin1String(design.listName));
    list->setGeometry(twips(240, 360, 3330, 1635));
    const char* const captions[5] = {"Select All", "Deselect All", design.sendCaption, "Delete Table/s",
                                     "Rename Table"};
    const QRect places[5] = {twips(240, 2100, 1600, 400), twips(1960, 2100, 1600, 400),
                             twips(240, 2600, 3330, 400), twips(240, 3100, 3330, 400),
                             twips(240, 3600, 3330, design.renameHeight)};
    for (int i = 0; i < 5; ++i)
        this->*design.buttons[i] = button(frame, design.buttonNames[i], captions[i], places[i]);
}

Form2::Form2()
{
    setObjectName(QStringLiteral("Form2"));
    setFixedSize(8040 / kTwipsPerPixel, 5520 / kTwipsPerPixel);
    setFont(arialBold(9));
    m_pointer = new WindowPointer(this);

    buildFrame(kMySQLFrame);
    buildFrame(kPostgreSQLFrame);

    ProgressBar1 = namedChild<QProgressBar>(this, "ProgressBar1");
    ProgressBar1->setGeometry(twips(120, 4460, 7800, 405));
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setFormat(QStringLiteral("Progress Bar"));
    ProgressBar1->setTextVisible(true);
    ProgressBar1->setAlignment(Qt::AlignCenter);

    PushButton2 = button(this, "PushButton2", "< Back", twips(120, 4980, 3840, 405));
    PushButton12 = button(this, "PushButton12", "Help", twips(4080, 4980, 3840, 405));

    // Keyboard order by tab index.
    QWidget* tabOrder[] = {Frame2,      List1,       Frame1,      List2,        PushButton10, PushButton11,
                           PushButton3, PushButton1, PushButton6, PushButton8,  PushButton9,  PushButton4,
                           PushButton5, PushButton7, PushButton2, ProgressBar1, PushButton12};
    for (size_t i = 0; i + 1 < std::size(tabOrder); ++i)
        setTabOrder(tabOrder[i], tabOrder[i + 1]);

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

    using Hover = WindowPointer::Hover;
    for (QWidget* push : {PushButton1, PushButton2, PushButton3, PushButton4, PushButton5, PushButton6,
                          PushButton7, PushButton8, PushButton9, PushButton10, PushButton11, PushButton12})
        m_pointer->hover(push, Hover::Custom);
    for (QWidget* surface : std::initializer_list<QWidget*>{this, Frame1, Frame2, List1, List2})
        m_pointer->hover(surface, Hover::Default);
    // The list draws its items on its viewport, which is where the mouse moves.
    m_pointer->hover(List1->viewport(), Hover::Default);
    m_pointer->hover(List2->viewport(), Hover::Default);
}

void Form2::Form_Load()
{
    Handler handler(QStringLiteral("Form2"), QStringLiteral("Form_Load"));
    handler.step(100, [&] { ApplyStandardColours(*this); });
    handler.step(102, [&] { setWindowIcon(applicationIcon()); });
    const QString pointerFile = AppFolder::handPointerFile();
    if (handler.test(106, [&] { return FileExists(pointerFile); }))
        handler.step(108, [&] { m_pointer->setCustomPicture(loadPointerPicture(pointerFile)); });
    handler.step(110, [&] { setWindowTitle(QStringLiteral("Quillstone")); });
    handler.step(112, [&] {
        // The top of "< Back" plus its height plus 580.
        const int outerHeightTwips = 4980 + 405 + 580;
        setFixedHeight((outerHeightTwips - kNonClientTwips) / kTwipsPerPixel);
    });
}

void Form2::PushButton2_Click()
{
    Handler handler(QStringLiteral("Form2"), QStringLiteral("PushButton2_Click"));
    handler.step(100, [] { Windows::showConnectionWindow(); });
    handler.step(102, [&] { hide(); });
}

void Form2::setAllSelected(const QString& procedure, TableList* list, bool selected)
{
    Handler handler(QStringLiteral("Form2"), procedure);
    int count = 0;
    handler.step(100, [&] { count = list->count(); });
    for (int i = 0; i < count; ++i) {
        // As in a list control where selecting an item by program also focuses it: the
        // last item touched becomes current, so the operations see the user's choice.
        handler.step(102, [&] {
            QListWidgetItem* item = list->item(i);
            item->setSelected(selected);
            list->setCurrentItem(item, QItemSelectionModel::NoUpdate);
        });
        handler.step(104, [] {});
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
    handler.step(100, [] {
        MessageBox::show(QStringLiteral("Questions? Please contact Team Vantrel at ") +
                         QStringLiteral("https://www.vantrel.example/contact"));
    });
}
