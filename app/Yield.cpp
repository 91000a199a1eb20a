#include "app/Yield.h"

#include "app/db/Waiting.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QThread>
#include <QTimer>
#include <QWheelEvent>
#include <QWindow>
#include <deque>
#include <functional>
#include <memory>

namespace {
constexpr qint64 kQuietNanoseconds = 8'000'000;
// Input held back during one long wait: a user who types on for minutes loses the rest.
constexpr size_t kMostHeldEvents = 10'000;

// How deep the program is in waits for a server (a wait's paint may run into another).
int g_waiting = 0;

// Sees every event of the application. During a wait it holds back the user's input, but
// for what stops the operation; held input is handed on once no wait is running. Escape in
// the stop button's window clicks the button.
class WaitingInput : public QObject
{
public:
    explicit WaitingInput(QObject* parent) : QObject(parent)
    {
        m_replay.setSingleShot(true);
        m_replay.setInterval(0);
        connect(&m_replay, &QTimer::timeout, this, &WaitingInput::replay);
    }

    bool isWaitingForServer() { return g_waiting > 0; }

    void setStopButton(QAbstractButton* button) { m_stop = button; }

protected:
    bool eventFilter(QObject* receiver, QEvent* event) override
    {
        if (isEscape(event) && m_stop && m_stop->isEnabled() && inStopWindow(receiver)) {
            m_stop->click();
            return true;
        }
        if (g_waiting == 0 || !isUserInput(event) || aimsAtStop(receiver, event))
            return false;
        hold(receiver, event);
        return true;
    }

private:
    struct Held
    {
        QPointer<QObject> receiver;
        std::function<std::unique_ptr<QEvent>()> make;
    };

    static bool isEscape(const QEvent* event)
    {
        return event->type() == QEvent::KeyPress &&
               static_cast<const QKeyEvent*>(event)->key() == Qt::Key_Escape;
    }

    // A close request is not held: the window's own handling stops the operation first.
    static bool isUserInput(const QEvent* event)
    {
        if (event->type() == QEvent::ShortcutOverride)
            return false;
        return event->isInputEvent() || event->type() == QEvent::Leave ||
               event->type() == QEvent::InputMethod;
    }

    static QWidget* topLevelOf(const QWindow* window)
    {
        const QList<QWidget*> windows = QApplication::topLevelWidgets();
        for (QWidget* widget : windows) {
            if (widget->windowHandle() == window)
                return widget;
        }
        return nullptr;
    }

    // The widget that receives the event: the receiver itself, or for an event of a whole
    // window the widget under the pointer.
    static QWidget* target(QObject* receiver, const QEvent* event)
    {
        if (receiver->isWidgetType())
            return static_cast<QWidget*>(receiver);
        if (!receiver->isWindowType() || !event->isSinglePointEvent())
            return nullptr;
        QWidget* top = topLevelOf(static_cast<QWindow*>(receiver));
        if (!top)
            return nullptr;
        QWidget* under = top->childAt(static_cast<const QSinglePointEvent*>(event)->position().toPoint());
        return under ? under : top;
    }

    bool inStopWindow(QObject* receiver) const
    {
        QWidget* window = m_stop->window();
        if (receiver->isWidgetType())
            return static_cast<QWidget*>(receiver)->window() == window;
        return receiver->isWindowType() && window->windowHandle() == receiver;
    }

    bool aimsAtStop(QObject* receiver, const QEvent* event)
    {
        if (!m_stop || (!event->isPointerEvent() && event->type() != QEvent::Leave))
            return false;
        // Once pressed on the button, the mouse belongs to it until the last button is
        // released, wherever it goes.
        bool aims = m_pressedOnStop && event->isSinglePointEvent();
        if (!aims && m_stop->isEnabled()) {
            const QWidget* widget = target(receiver, event);
            aims = widget && (widget == m_stop || m_stop->isAncestorOf(widget));
        }
        if (aims && event->type() == QEvent::MouseButtonPress)
            m_pressedOnStop = true;
        if (event->type() == QEvent::MouseButtonRelease &&
            static_cast<const QMouseEvent*>(event)->buttons() == Qt::NoButton)
            m_pressedOnStop = false;
        return aims;
    }

    // What is handed on later, made anew when it is: the clicks, the wheel and the keys. The
    // pointer's moves and its entering and leaving are not: the next move says where it is.
    // A pointer event is made only when it is delivered, as the toolkit shares its points with
    // the events that follow.
    using Making = std::function<std::unique_ptr<QEvent>()>;
    static Making making(const QEvent* event)
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick: {
            const auto* mouse = static_cast<const QMouseEvent*>(event);
            return [type = mouse->type(), position = mouse->position(), scene = mouse->scenePosition(),
                    global = mouse->globalPosition(), button = mouse->button(), buttons = mouse->buttons(),
                    modifiers = mouse->modifiers(), device = mouse->pointingDevice(),
                    time = mouse->timestamp()] {
                auto copy = std::make_unique<QMouseEvent>(type, position, scene, global, button, buttons,
                                                          modifiers, device);
                copy->setTimestamp(time);
                return std::unique_ptr<QEvent>(std::move(copy));
            };
        }
        case QEvent::Wheel: {
            const auto* wheel = static_cast<const QWheelEvent*>(event);
            return [position = wheel->position(), global = wheel->globalPosition(),
                    pixels = wheel->pixelDelta(), angle = wheel->angleDelta(), buttons = wheel->buttons(),
                    modifiers = wheel->modifiers(), phase = wheel->phase(), inverted = wheel->inverted(),
                    source = wheel->source(), device = wheel->pointingDevice(), time = wheel->timestamp()] {
                auto copy = std::make_unique<QWheelEvent>(position, global, pixels, angle, buttons, modifiers,
                                                          phase, inverted, source, device);
                copy->setTimestamp(time);
                return std::unique_ptr<QEvent>(std::move(copy));
            };
        }
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::InputMethod:
            return [copy = std::shared_ptr<QEvent>(event->clone())] {
                return std::unique_ptr<QEvent>(copy->clone());
            };
        default:
            return {};
        }
    }

    void hold(QObject* receiver, const QEvent* event)
    {
        Making make = making(event);
        if (!make || m_held.size() >= kMostHeldEvents)
            return;
        m_held.push_back({receiver, std::move(make)});
        m_replay.start();
    }

    // Hands on the held input, in its order, once no wait is running; input held by a wait
    // that starts meanwhile joins the end of the line.
    void replay()
    {
        if (g_waiting > 0) {
            m_replay.start();
            return;
        }
        while (!m_held.empty() && g_waiting == 0) {
            Held held = std::move(m_held.front());
            m_held.pop_front();
            if (held.receiver) {
                const std::unique_ptr<QEvent> event = held.make();
                QCoreApplication::sendEvent(held.receiver, event.get());
            }
        }
        if (!m_held.empty())
            m_replay.start();
    }

    QPointer<QAbstractButton> m_stop;
    bool m_pressedOnStop = false;
    std::deque<Held> m_held;
    QTimer m_replay;
};

QPointer<WaitingInput> g_input;

WaitingInput* waitingInput()
{
    QCoreApplication* application = QCoreApplication::instance();
    if (!g_input && application) {
        g_input = new WaitingInput(application);
        application->installEventFilter(g_input);
    }
    return g_input;
}

void paintPendingWindows()
{
    const QCoreApplication* application = QCoreApplication::instance();
    // Connections used from other threads (tests, helpers) have no windows to paint.
    if (!application || QThread::currentThread() != application->thread())
        return;
    ++g_waiting;
    struct Leave
    {
        ~Leave() { --g_waiting; }
    } leave;
    QCoreApplication::processEvents();
}
} // namespace

void YieldToEvents()
{
    static QElapsedTimer sinceLast;
    if (sinceLast.isValid() && sinceLast.nsecsElapsed() < kQuietNanoseconds)
        return;
    QCoreApplication::processEvents();
    sinceLast.start();
}

void keepPaintingWhileWaiting()
{
    waitingInput();
    Waiting::setHook(&paintPendingWindows);
}

bool isWaitingForServer()
{
    return g_waiting > 0;
}

void setStopButton(QAbstractButton* button)
{
    if (WaitingInput* input = waitingInput())
        input->setStopButton(button);
}
