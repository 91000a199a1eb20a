#pragma once

#include <QList>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

class QMessageBox;
class QWidget;

// Every message box and input box of the program goes through here, so that tests can
// see what would be shown and script the user's answers.
class MessageBox
{
public:
    enum Button { Ok = 1, Cancel = 2, Yes = 6, No = 7 };
    enum Buttons { OkOnly, YesNo };
    enum Icon { NoIcon, Warning };

    struct Shown
    {
        QString text;
        QString title;
        Buttons buttons = OkOnly;
        Icon icon = NoIcon;
        bool isInput = false;
        QString proposed;  // input boxes: the proposed answer
        QString details{}; // the text behind "Show Details...", empty for none
    };

    // An empty title means the application title. Details, when given, are shown behind the
    // box's "Show Details..." button, whole and selectable.
    static Button show(const QString& text, const QString& title = {}, Buttons buttons = OkOnly,
                       Icon icon = NoIcon, const QString& details = {});
    // Returns the empty text when the user cancels.
    static QString input(const QString& prompt, const QString& title, const QString& proposed);

    static void setApplicationTitle(const QString& title);
    static QString applicationTitle();

    // --- test seam -------------------------------------------------------------------
    // In test mode nothing is displayed: every box is recorded and answered from the
    // queues below (an empty queue answers Ok/Yes, and an input box with its proposal).
    static void setTestMode(bool on);
    static bool testMode();
    static void setNextAnswer(Button answer);
    static void setNextInput(const QString& answer); // an empty text acts as Cancel
    // Called for every box in test mode, before the queued answer is taken; lets a test
    // act while a box is "open" (for example click another button).
    static void setObserver(std::function<void(const Shown&)> observer);
    static const QList<Shown>& history();
    // The box that would be shown, not yet shown; its text is broken into lines and cut
    // so that the box fits the screen.
    static std::unique_ptr<QMessageBox> boxFor(const Shown& shown);
    static void clearHistory();
};
