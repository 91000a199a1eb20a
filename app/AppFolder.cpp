#include "app/AppFolder.h"

#include <QCoreApplication>

namespace {
QString g_override;
}

QString AppFolder::path()
{
    return g_override.isEmpty() ? QCoreApplication::applicationDirPath() : g_override;
}

void AppFolder::setPathForTests(const QString& path)
{
    g_override = path;
}

QString AppFolder::handPointerFile()
{
    return path() + QStringLiteral("/HAND-M.CUR");
}
