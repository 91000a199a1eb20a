#include "app/MessageBox.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <deque>

namespace {
QString g_applicationTitle;
bool g_testMode = false;
std::deque<MessageBox::Button> g_answers;
std::deque<QString> g_inputs;
QList<MessageBox::Shown> g_history;
std::function<void(const MessageBox::Shown&)> g_observer;

QString titleOrApplication(const QString& title)
{
    return title.isEmpty() ? g_applicationTitle : title;
}

// A box is never wider or taller than this many characters and lines, however long its
// text: a statement or a server's message can run to megabytes without a line break.
constexpr qsizetype kWidestLine = 80;
constexpr qsizetype kMostLines = 34;

// Breaks a line longer than the widest at its last blank that fits, or else where it
// reaches the width.
void appendWrapped(QStringList& lines, QStringView line)
{
    while (line.size() > kWidestLine && lines.size() <= kMostLines) {
        qsizetype cut = line.first(kWidestLine + 1).lastIndexOf(QLatin1Char(' '));
        if (cut <= 0)
            cut = kWidestLine;
        lines.append(line.first(cut).toString());
        line = line.sliced(cut);
        if (line.startsWith(QLatin1Char(' ')))
            line = line.sliced(1);
    }
    lines.append(line.toString());
}

// The texts use carriage returns alone as line breaks; the toolkit wants line feeds.
QString withLineFeeds(const QString& text)
{
    QString normalised = text;
    normalised.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    normalised.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return normalised;
}

QString forDisplay(const QString& text)
{
    const QString normalised = withLineFeeds(text);
    QStringList lines;
    for (QStringView line : QStringView(normalised).split(QLatin1Char('\n'))) {
        appendWrapped(lines, line);
        if (lines.size() > kMostLines)
            break;
    }
    if (lines.size() > kMostLines) {
        lines.resize(kMostLines);
        lines.append(QStringLiteral("…"));
    }
    return lines.join(QLatin1Char('\n'));
}

QWidget* dialogParent()
{
    QWidget* active = QApplication::activeWindow();
    return active && active->isVisible() ? active : nullptr;
}
} // namespace

MessageBox::Button MessageBox::show(const QString& text, const QString& title, Buttons buttons, Icon icon,
                                    const QString& details)
{
    Shown shown{text, titleOrApplication(title), buttons, icon, false, {}, details};
    if (g_testMode) {
        g_history.append(shown);
        if (g_observer)
            g_observer(shown);
        Button answer = buttons == YesNo ? Yes : Ok;
        if (!g_answers.empty()) {
            answer = g_answers.front();
            g_answers.pop_front();
        }
        return answer;
    }

    const std::unique_ptr<QMessageBox> box = boxFor(shown);
    const int result = box->exec();
    if (buttons == YesNo)
        return result == QMessageBox::Yes ? Yes : No;
    return Ok;
}

std::unique_ptr<QMessageBox> MessageBox::boxFor(const Shown& shown)
{
    auto box = std::make_unique<QMessageBox>(
        shown.icon == Warning ? QMessageBox::Warning : QMessageBox::NoIcon, shown.title,
        forDisplay(shown.text),
        shown.buttons == YesNo ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok, dialogParent());
    box->setTextFormat(Qt::PlainText);
    // The details area scrolls: they are shown whole.
    if (!shown.details.isEmpty())
        box->setDetailedText(withLineFeeds(shown.details));
    return box;
}

QString MessageBox::input(const QString& prompt, const QString& title, const QString& proposed)
{
    Shown shown{prompt, titleOrApplication(title), OkOnly, NoIcon, true, proposed};
    if (g_testMode) {
        g_history.append(shown);
        if (g_observer)
            g_observer(shown);
        if (g_inputs.empty())
            return proposed;
        QString answer = g_inputs.front();
        g_inputs.pop_front();
        return answer;
    }

    bool accepted = false;
    const QString answer = QInputDialog::getText(dialogParent(), shown.title, forDisplay(prompt),
                                                 QLineEdit::Normal, proposed, &accepted);
    return accepted ? answer : QString();
}

void MessageBox::setApplicationTitle(const QString& title)
{
    g_applicationTitle = title;
}

QString MessageBox::applicationTitle()
{
    return g_applicationTitle;
}

void MessageBox::setTestMode(bool on)
{
    g_testMode = on;
    g_answers.clear();
    g_inputs.clear();
    g_history.clear();
    g_observer = nullptr;
}

bool MessageBox::testMode()
{
    return g_testMode;
}

void MessageBox::setNextAnswer(Button answer)
{
    g_answers.push_back(answer);
}

void MessageBox::setNextInput(const QString& answer)
{
    g_inputs.push_back(answer);
}

void MessageBox::setObserver(std::function<void(const Shown&)> observer)
{
    g_observer = std::move(observer);
}

const QList<MessageBox::Shown>& MessageBox::history()
{
    return g_history;
}

void MessageBox::clearHistory()
{
    g_history.clear();
}
