#pragma once

class Form1;
class Form2;

// The two windows. Each is created the first time anything refers to it and lives until
// the program ends; the table window runs its load steps when it is created.
namespace Windows {
Form1& form1();
Form2& form2();
bool form2Exists();
// Tests start each case with fresh windows.
void destroyForTests();
} // namespace Windows
