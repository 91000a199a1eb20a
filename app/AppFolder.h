#pragma once

#include <QString>

// The folder that holds the program file, where the optional pointer and skin files are
// looked for. Tests point it at a folder of their own.
namespace AppFolder {
QString path();
void setPathForTests(const QString& path); // an empty path restores the real folder
// The optional hand pointer that both windows show over their buttons.
QString handPointerFile();
} // namespace AppFolder
