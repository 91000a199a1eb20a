#include "app/SkinFramework.h"

#include "app/db/Error.h"

#include <QApplication>
#include <QFile>
#include <QWidget>

QVariant SkinFramework::invoke(int dispatchId, const QVariantList& arguments)
{
    switch (dispatchId) {
    case LoadSkin: {
        const QString path = arguments.value(0).toString();
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            throw Error(QStringLiteral("Cannot load the skin file %1: %2").arg(path, file.errorString()));
        m_styleSheet = QString::fromUtf8(file.readAll());
        return {};
    }
    case ApplyWindow: {
        QWidget* window = QWidget::find(static_cast<WId>(arguments.value(0).toULongLong()));
        if (!window)
            throw Error(QStringLiteral("The skin cannot be applied: no such window."));
        window->setStyleSheet(m_styleSheet);
        if (m_applyToDialogs)
            qApp->setStyleSheet(m_styleSheet);
        return {};
    }
    default:
        throw Error(QStringLiteral("The skin engine has no method %1.").arg(dispatchId));
    }
}

QVariant SkinFramework::property(int dispatchId) const
{
    switch (dispatchId) {
    case ApplyOptions:
        return m_applyOptions;
    case ApplyToNewWindows:
        return m_applyToNewWindows;
    case ApplyToDialogs:
        return m_applyToDialogs;
    default:
        throw Error(QStringLiteral("The skin engine has no property %1.").arg(dispatchId));
    }
}

void SkinFramework::setProperty(int dispatchId, const QVariant& value)
{
    switch (dispatchId) {
    case ApplyOptions:
        m_applyOptions = value.toInt();
        break;
    case ApplyToNewWindows:
        m_applyToNewWindows = value.toBool();
        break;
    case ApplyToDialogs:
        m_applyToDialogs = value.toBool();
        break;
    default:
        throw Error(QStringLiteral("The skin engine has no property %1.").arg(dispatchId));
    }
}
