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

// The texts use carriage returns alone as line breaks; the toolkit wants line feeds.
QString forDisplay(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

QWidget* dialogParent()
{
    QWidget* active = QApplication::activeWindow();
    return active && active->isVisible() ? active : nullptr;
}
} // namespace

MessageBox::Button MessageBox::show(const QString& text, const QString& title, Buttons buttons, Icon icon)
{
    Shown shown{text, titleOrApplication(title), buttons, icon, false, {}};
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

    QMessageBox box(
        icon == Warning ? QMessageBox::Warning : QMessageBox::NoIcon, shown.title, forDisplay(text),
        buttons == YesNo ? (QMessageBox::Yes | QMessageBox::No) : QMessageBox::Ok, dialogParent());
    box.setTextFormat(Qt::PlainText);
    const int result = box.exec();
    if (buttons == YesNo)
        return result == QMessageBox::Yes ? Yes : No;
    return Ok;
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
        const QString answer = g_inputs.front();
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
