#include "app/Main.h"

#include "app/AppFolder.h"
#include "app/MessageBox.h"
#include "app/SkinFramework.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>

bool FileExists(const QString& path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    return info.exists() && info.lastModified().isValid();
}

namespace {
QColor buttonFaceColour()
{
    return QApplication::palette().color(QPalette::Button);
}

void setBackground(QWidget& widget, const QColor& colour)
{
    QPalette palette = widget.palette();
    palette.setColor(QPalette::Window, colour);
    widget.setPalette(palette);
    widget.setAutoFillBackground(true);
}

void colourFramesAndLabels(QWidget& window, const QColor& colour)
{
    for (QWidget* child : window.findChildren<QWidget*>()) {
        if (qobject_cast<QRadioButton*>(child) || qobject_cast<QCheckBox*>(child) ||
            qobject_cast<QGroupBox*>(child) || qobject_cast<QLabel*>(child))
            setBackground(*child, colour);
    }
}

// A directory search for ordinary files: hidden files and folders do not count.
bool ordinaryFileExists(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() && info.isFile() && !info.isHidden();
}
} // namespace

void ApplySkin(QWidget& connectionWindow, SkinFramework& skinFramework)
{
    const QString skinPath = AppFolder::path() + QStringLiteral("/x/o.cjs");
    if (!ordinaryFileExists(skinPath))
        return;
    setBackground(connectionWindow, buttonFaceColour());
    colourFramesAndLabels(connectionWindow, buttonFaceColour());

    skinFramework.invoke(SkinFramework::LoadSkin, {skinPath, QString()});
    skinFramework.setProperty(
        SkinFramework::ApplyOptions,
        static_cast<qint32>(skinFramework.property(SkinFramework::ApplyOptions).toInt() | 1));
    skinFramework.setProperty(SkinFramework::ApplyToNewWindows, true);
    skinFramework.setProperty(SkinFramework::ApplyToDialogs, true);
    skinFramework.invoke(SkinFramework::ApplyWindow, {static_cast<qulonglong>(connectionWindow.winId())});
}

void ApplyStandardColours(QWidget& window)
{
    setBackground(window, buttonFaceColour());
    colourFramesAndLabels(window, buttonFaceColour());
}

QString ApplicationTitleFrom(const QString& productName)
{
    QString title = productName;
    do {
        const qsizetype lastBlank = title.lastIndexOf(QLatin1Char(' '));
        if (lastBlank < 0)
            break;
        title.truncate(lastBlank);
    } while (title.size() > 40);
    return title;
}

void SetApplicationTitle()
{
    MessageBox::setApplicationTitle(ApplicationTitleFrom(kProductName));
}
