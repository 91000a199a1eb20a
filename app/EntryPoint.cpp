#include "app/LargeBuffers.h"
#include "app/ProgramWindow.h"
#include "app/Windows.h"
#include "app/Yield.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    keepLargeBuffersApart();
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillstone"));
    QApplication::setOrganizationName(QStringLiteral("Vantrel"));
    QApplication::setWindowIcon(applicationIcon());
    // Closing either window ends the program, also while the other one is hidden.
    QApplication::setQuitOnLastWindowClosed(false);
    keepPaintingWhileWaiting();

    Windows::start();
    return application.exec();
}
