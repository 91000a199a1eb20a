// The settings store: addressing, defaults only for absent keys, private file, and a
// store that cannot be written.

#include "app/Settings.h"
#include "tests/support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>

class SettingsTest : public QObject
{
    Q_OBJECT
private slots:
    void valuesRoundTripUnderTheSection()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath("Vantrel.conf");
        {
            Settings settings(path);
            QCOMPARE(settings.read("MySQLPort", "3306"), QStringLiteral("3306"));
            QVERIFY(settings.write("MySQLPort", "abc"));
            QVERIFY(settings.write("MySQLServer", ""));
            QVERIFY(settings.write("PostgreSQLPassword", " pa;ss=}{ "));
        }
        // Written at once, readable by anyone who opens the file now.
        QSettings raw(path, QSettings::IniFormat);
        QCOMPARE(raw.value("Quillstone/MySQLPort").toString(), QStringLiteral("abc"));
        Settings again(path);
        QCOMPARE(again.read("MySQLServer", "localhost"), QString());
        QCOMPARE(again.read("PostgreSQLPassword", ""), QStringLiteral(" pa;ss=}{ "));
        QCOMPARE(again.read("PostgreSQLServer", "localhost"), QStringLiteral("localhost"));
    }

    void theFileIsPrivateToItsOwner()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath("sub/Vantrel.conf");
        Settings settings(path);
        settings.write("MySQLPassword", "secret");
        settings.write("MySQLPassword", "secret2");
        QCOMPARE(QFileInfo(path).permissions() &
                     (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther),
                 QFile::Permissions());
        QVERIFY(QFileInfo(path).permissions() & QFile::ReadOwner);
    }

    void twoRunningCopiesKeepEachOthersWrites()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath("Vantrel.conf");
        const QString writer = QCoreApplication::applicationDirPath() + "/settings_writer";
        QProcess first;
        QProcess second;
        first.start(writer, {path, "MySQLUser", "ann", "200"});
        second.start(writer, {path, "MySQLPassword", "pw", "200"});
        QVERIFY(first.waitForFinished(60'000) && second.waitForFinished(60'000));
        QCOMPARE(first.exitCode(), 0);
        QCOMPARE(second.exitCode(), 0);
        Settings settings(path);
        QCOMPARE(settings.read("MySQLUser", ""), QStringLiteral("ann200"));
        QCOMPARE(settings.read("MySQLPassword", ""), QStringLiteral("pw200"));
    }

    void theUserIsToldOnceWhenNothingCanBeStored()
    {
        ProgramUnderTest program;
        QTemporaryDir folder;
        // A folder where the file should be cannot be written, not even by root.
        QVERIFY(QDir(folder.path()).mkdir("Vantrel.conf"));
        Settings settings(folder.filePath("Vantrel.conf"));
        QVERIFY(!settings.write("MySQLUser", "a"));
        QVERIFY(!settings.write("MySQLUser", "ab"));
        QCOMPARE(settings.read("MySQLUser", ""), QStringLiteral("ab"));
        QCOMPARE(MessageBox::history().size(), 1);
        QVERIFY(MessageBox::history().first().text.contains("will not be remembered"));
    }
};

QTEST_MAIN(SettingsTest)
#include "test_settings.moc"
