#include "app/ProgramWindow.h"

#include "app/Program.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>

ProgramWindow::ProgramWindow()
{
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
}

void ProgramWindow::showEvent(QShowEvent* event)
{
    if (!m_centred) {
        m_centred = true;
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            move(screen->availableGeometry().center() - rect().center());
    }
    QWidget::showEvent(event);
}

void ProgramWindow::closeEvent(QCloseEvent* event)
{
    event->accept();
    Program::end();
}

QFont arialBold(qreal points)
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(points);
    font.setBold(true);
    return font;
}
