#pragma once

#include <QCursor>
#include <QFont>
#include <QIcon>
#include <QWidget>

// What both windows share: a border with a minimize button and no maximize button,
// centred on the screen the first time it is shown, and closing it ends the program (once
// the running operation, if any, has stopped).
class ProgramWindow : public QWidget
{
public:
    ProgramWindow();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    bool m_centred = false;
};

// The application icon of both windows.
QIcon applicationIcon();
// Loads a pointer picture (.CUR or any image the toolkit reads), with its hot spot.
QCursor loadPointerPicture(const QString& path);

// The windows' fonts: Arial bold (Liberation Sans stands in for it where Arial is absent).
QFont arialBold(qreal points);

// A child widget with the given object name, so tests and style sheets find it by name.
template <typename W> W* namedChild(QWidget* parent, const char* name)
{
    auto* widget = new W(parent);
    widget->setObjectName(QLatin1String(name));
    return widget;
}
