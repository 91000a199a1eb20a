#include "app/ProgramWindow.h"

#include "app/OperationGuard.h"
#include "app/Program.h"
#include "app/db/Error.h"

#include <QCloseEvent>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QtEndian>

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
    // An operation that runs is stopped first; the program ends once it has unwound.
    if (OperationGuard::running()) {
        event->ignore();
        OperationGuard::endAfterStop();
        return;
    }
    event->accept();
    Program::end();
}

QIcon applicationIcon()
{
    return QIcon(QStringLiteral(":/quillstone.png"));
}

QCursor loadPointerPicture(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw Error(QStringLiteral("File not found: %1").arg(path));
    const QByteArray bytes = file.readAll();
    // A .CUR file is an icon file of type 2 whose directory entry holds the hot spot.
    const bool isCursorFile = bytes.size() >= 22 && qFromLittleEndian<quint16>(bytes.constData() + 2) == 2;
    QImage image;
    image.loadFromData(bytes, isCursorFile ? "ICO" : nullptr);
    if (image.isNull() && isCursorFile) {
        // Some readers only know icons (type 1): present the file as one.
        QByteArray asIcon = bytes;
        asIcon[2] = 1;
        image.loadFromData(asIcon, "ICO");
    }
    if (image.isNull())
        throw Error(QStringLiteral("Invalid picture: %1").arg(path));
    int hotX = -1;
    int hotY = -1;
    if (isCursorFile) {
        hotX = qFromLittleEndian<quint16>(bytes.constData() + 10);
        hotY = qFromLittleEndian<quint16>(bytes.constData() + 12);
    }
    return QCursor(QPixmap::fromImage(image), hotX, hotY);
}

QFont arialBold(qreal points)
{
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(points);
    font.setBold(true);
    return font;
}
