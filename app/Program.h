#pragma once

#include <QString>
#include <functional>

// What the program asks of its surroundings beyond the windows: ending at once, the
// occasional visit of the maker's home page. Tests put their own functions in place, so
// that no test ends the test run or opens a browser.
namespace Program {
inline const QString kHomePage = QStringLiteral("https://www.vantrel.example/");

// Ends the whole program at once, from anywhere, also from inside a running operation.
void end();
// A whole number from 1 to 100, drawn from a generator seeded with the time of day.
int drawOneInAHundred();
// Opens an address with the desktop's web browser, without waiting for it.
void openInBrowser(const QString& address);

void setEndForTests(std::function<void()> end);
void setDrawForTests(std::function<int()> draw);
void setBrowserForTests(std::function<void(const QString&)> open);
} // namespace Program
