#include "app/MessageBox.h"
#include "app/Windows.h"
#include "app/Yield.h"
#include "connect/Form1.h"
#include "tables/Form2.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillstone"));
    QApplication::setOrganizationName(QStringLiteral("Vantrel"));
    QApplication::setWindowIcon(applicationIcon());
    // Closing either window ends the program, also while the other one is hidden.
    QApplication::setQuitOnLastWindowClosed(false);
    keepPaintingWhileWaiting();

    Form1& connectionWindow = Windows::form1();
    connectionWindow.Form_Load();
    // The start-up sequence may already have moved on to the table window.
    if (!Windows::form2Exists() || !Windows::form2().isVisible())
        connectionWindow.show();
    return application.exec();
}
