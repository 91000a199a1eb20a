#include "app/WindowPointer.h"

#include <QEvent>
#include <QWidget>

WindowPointer::WindowPointer(QWidget* window) : QObject(window), m_window(window) {}

void WindowPointer::set(int shape)
{
    m_value = shape;
    apply();
}

void WindowPointer::setCustomPicture(const QCursor& cursor)
{
    m_picture = cursor;
    apply();
}

void WindowPointer::apply()
{
    if (!m_window)
        return;
    switch (m_value) {
    case Busy:
        m_window->setCursor(Qt::WaitCursor);
        break;
    case Custom:
        m_window->setCursor(m_picture.value_or(QCursor(Qt::ArrowCursor)));
        break;
    default:
        m_window->unsetCursor();
        break;
    }
}

void WindowPointer::hover(QWidget* widget, Hover effect)
{
    widget->setMouseTracking(true);
    widget->installEventFilter(this);
    // A move over a control belongs to it alone: the frame or window below must not see
    // it too, or its own rule would undo this one.
    if (widget != m_window)
        widget->setAttribute(Qt::WA_NoMousePropagation);
    m_effects.insert(widget, effect);
}

bool WindowPointer::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::MouseMove)
        return false;
    const auto found = m_effects.constFind(watched);
    if (found == m_effects.constEnd())
        return false;
    switch (found.value()) {
    case Hover::Custom:
        if (m_value != Busy)
            set(Custom);
        break;
    case Hover::Default:
        if (m_value != Busy)
            set(Default);
        break;
    case Hover::ForceDefault:
        set(Default);
        break;
    case Hover::Nothing:
        break;
    }
    return false;
}
