#include "app/Settings.h"

#include "app/MessageBox.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>

namespace {
const QString kApplication = QStringLiteral("Vantrel");
const QString kSection = QStringLiteral("Quillstone");
Settings* g_instance = nullptr;
} // namespace

Settings::Settings()
    : m_settings(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, kApplication))
{
    createPrivately();
}

Settings::Settings(const QString& fileName)
    : m_settings(std::make_unique<QSettings>(fileName, QSettings::IniFormat))
{
    createPrivately();
}

Settings::~Settings() = default;

// The toolkit keeps the permissions of an existing file when it rewrites it, so making
// the file ourselves first, owner-only, keeps the passwords private from the first write.
void Settings::createPrivately()
{
    const QString path = m_settings->fileName();
    if (path.isEmpty() || QFileInfo::exists(path))
        return;
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly,
                  QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        file.close();
}

QString Settings::read(const QString& key, const QString& defaultValue) const
{
    return m_settings->value(kSection + QLatin1Char('/') + key, defaultValue).toString();
}

bool Settings::write(const QString& key, const QString& value)
{
    m_settings->setValue(kSection + QLatin1Char('/') + key, value);
    m_settings->sync();
    if (m_settings->status() == QSettings::NoError)
        return true;
    if (!m_toldUnwritable) {
        m_toldUnwritable = true;
        MessageBox::show(
            QStringLiteral("Your connection details cannot be saved to %1. They will work until the "
                           "program ends, but will not be remembered.")
                .arg(QDir::toNativeSeparators(fileName())));
    }
    return false;
}

void Settings::remember(const QString& key, const QString& value)
{
    m_settings->setValue(kSection + QLatin1Char('/') + key, value);
    m_settings->sync();
}

QString Settings::fileName() const
{
    return m_settings->fileName();
}

Settings& Settings::instance()
{
    if (!g_instance)
        g_instance = new Settings(); // lives until the program ends
    return *g_instance;
}

void Settings::setInstance(Settings* settings)
{
    g_instance = settings;
}
