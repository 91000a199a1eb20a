#pragma once

#include <QCursor>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <optional>

class QWidget;

// The one mouse pointer of a window: default (0), busy (11, the hourglass) or custom
// (99, the hand picture when one was loaded, else the arrow).
class WindowPointer : public QObject
{
public:
    enum Shape { Default = 0, Busy = 11, Custom = 99 };
    enum class Hover { Custom, Default, ForceDefault, Nothing };

    explicit WindowPointer(QWidget* window);

    int value() const { return m_value; }
    void set(int shape);
    void setCustomPicture(const QCursor& cursor);
    bool hasCustomPicture() const { return m_picture.has_value(); }

    // What moving the mouse over the widget does to the pointer.
    void hover(QWidget* widget, Hover effect);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void apply();

    QPointer<QWidget> m_window;
    int m_value = Default;
    std::optional<QCursor> m_picture;
    QHash<QObject*, Hover> m_effects;
};
