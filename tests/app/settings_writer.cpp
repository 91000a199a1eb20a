// Writes one key many times through the program's settings store, as a second running
// copy of the program typing into one field would.
//   settings_writer FILE KEY PREFIX COUNT

#include "app/Settings.h"

#include <QCoreApplication>
#include <QStringList>

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    if (arguments.size() != 5)
        return 2;
    Settings settings(arguments[1]);
    const int count = arguments[4].toInt();
    for (int i = 1; i <= count; ++i)
        if (!settings.write(arguments[2], arguments[3] + QString::number(i)))
            return 1;
    return 0;
}
