#pragma once

#include "app/WindowPointer.h"

#include "app/ProgramWindow.h"

class QGroupBox;
class QProgressBar;
class QPushButton;
class TableList;
struct TableFrameDesign;

// The table window: the MySQL tables on the left, the PostgreSQL tables on the right,
// each with select, send, delete and rename buttons, and a progress bar below.
class Form2 : public ProgramWindow
{
    Q_OBJECT
public:
    Form2();

    void Form_Load();

    void PushButton1_Click();  // "Delete Table/s", MySQL
    void PushButton2_Click();  // "< Back"
    void PushButton3_Click();  // "Send Table/s To PostgreSQL"
    void PushButton4_Click();  // "Send Table/s To MySQL"
    void PushButton5_Click();  // "Delete Table/s", PostgreSQL
    void PushButton6_Click();  // "Rename Table", MySQL
    void PushButton7_Click();  // "Rename Table", PostgreSQL
    void PushButton8_Click();  // "Select All", PostgreSQL
    void PushButton9_Click();  // "Deselect All", PostgreSQL
    void PushButton10_Click(); // "Select All", MySQL
    void PushButton11_Click(); // "Deselect All", MySQL
    void PushButton12_Click(); // "Help"

    WindowPointer& pointer() { return *m_pointer; }

    QGroupBox* Frame1;
    QGroupBox* Frame2;
    TableList* List1; // MySQL
    TableList* List2; // PostgreSQL
    QProgressBar* ProgressBar1;
    QPushButton* PushButton1;
    QPushButton* PushButton2;
    QPushButton* PushButton3;
    QPushButton* PushButton4;
    QPushButton* PushButton5;
    QPushButton* PushButton6;
    QPushButton* PushButton7;
    QPushButton* PushButton8;
    QPushButton* PushButton9;
    QPushButton* PushButton10;
    QPushButton* PushButton11;
    QPushButton* PushButton12;

private:
    // Makes one half of the window with its list and buttons.
    void buildFrame(const TableFrameDesign& design);
    void setAllSelected(const QString& procedure, TableList* list, bool selected);

    WindowPointer* m_pointer;
};
