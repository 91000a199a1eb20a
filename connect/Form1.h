#pragma once

#include "app/SkinFramework.h"
#include "app/WindowPointer.h"

#include "app/ProgramWindow.h"

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
struct ConnectionFrameDesign;

// The connection window: the details of one PostgreSQL and one MySQL database, each
// remembered as it is typed, with a test and a help button per side and "Next >".
class Form1 : public ProgramWindow
{
    Q_OBJECT
public:
    Form1();

    // The start-up sequence, run once before the window is first shown.
    void Form_Load();

    void PushButton1_Click(); // "Test Connection", MySQL
    void PushButton2_Click(); // "Next >"
    void PushButton3_Click(); // "Test Connection", PostgreSQL
    void PushButton4_Click(); // "Help", MySQL
    void PushButton5_Click(); // "Help", PostgreSQL

    WindowPointer& pointer() { return *m_pointer; }
    SkinFramework& SkinFramework1() { return m_skinFramework; }

    QGroupBox* Frame1;
    QGroupBox* Frame2;
    QLineEdit* Text1;
    QLineEdit* Text2;
    QLineEdit* Text3;
    QLineEdit* Text4;
    QLineEdit* Text5;
    QLineEdit* Text6;
    QLineEdit* Text7;
    QLineEdit* Text8;
    QLineEdit* Text9;
    QLineEdit* Text10;
    QPushButton* PushButton1;
    QPushButton* PushButton2;
    QPushButton* PushButton3;
    QPushButton* PushButton4;
    QPushButton* PushButton5;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Makes one frame with its labels, fields and buttons.
    void buildFrame(const ConnectionFrameDesign& design);
    void testConnection(const QString& procedure, const QString& connectionString,
                        const QString& failureMessage);

    WindowPointer* m_pointer;
    ::SkinFramework m_skinFramework;
};
