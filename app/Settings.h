#pragma once

#include <QString>
#include <memory>

class QSettings;

// The per-user store of the ten connection details and the table window's size:
// application "Vantrel", section "Quillstone". Values are plain texts; every write is
// flushed at once, so closing the program at any moment loses nothing. The file holds
// passwords, so it is created readable by its owner only.
class Settings
{
public:
    // The user's own store (on Linux $XDG_CONFIG_HOME/Vantrel.conf).
    Settings();
    // A store in a file of the caller's choosing, for tests.
    explicit Settings(const QString& fileName);
    ~Settings();

    QString read(const QString& key, const QString& defaultValue) const;
    // Returns false when the value could not be stored; the first such failure of a run
    // tells the user once that the details will not be remembered.
    bool write(const QString& key, const QString& value);
    // For what the program would merely like to keep (the size a window was left at): a
    // value that cannot be stored is not told of.
    void remember(const QString& key, const QString& value);

    QString fileName() const;

    // The store the program uses; tests put a temporary one in its place.
    static Settings& instance();
    static void setInstance(Settings* settings);

private:
    void createPrivately();

    std::unique_ptr<QSettings> m_settings;
    bool m_toldUnwritable = false;
};
