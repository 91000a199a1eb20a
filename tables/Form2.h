#pragma once

#include "app/WindowPointer.h"

#include "app/ProgramWindow.h"

#include <QElapsedTimer>
#include <QSize>

class QCheckBox;
class QGroupBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;
class TableList;
struct TableFrameDesign;

// The table window: the MySQL tables on the left, the PostgreSQL tables on the right,
// each with select, send, delete and rename buttons, and a progress bar below. A row
// below the window's design holds the line that tells what the last copy or delete did,
// the choice "Foreign keys" and the Stop button. The window can be made larger: the lists grow, the buttons
// keep their size; it opens at the size it was left at.
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
    QPushButton* stopButton() const { return m_stop; }
    QLabel* summaryLine() const { return m_summary; }
    // The choice "Foreign keys": the copies get their sources' foreign keys, and an
    // overwrite keeps those of other tables. Remembered in the settings store.
    QCheckBox* foreignKeysBox() const { return m_foreignKeys; }
    bool copiesForeignKeys() const;

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

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    friend class StoppableWork;

    // Makes one half of the window with its list and buttons.
    void buildFrame(const TableFrameDesign& design);
    // The row below the design: the summary line, the choice "Foreign keys" and the Stop
    // button.
    void buildStopRow();
    void setKeyboardOrder();
    void connectHandlers();
    void setPointerShapes();
    // Every control at its designed place, the lists larger by what the window is larger.
    void placeControls();
    void placeFrame(const TableFrameDesign& design, int moveRight, int wider, int taller);
    void setAllSelected(const QString& procedure, TableList* list, bool selected);
    void stopClicked();
    void restoreSize();
    void rememberSize();

    WindowPointer* m_pointer;
    QPushButton* m_stop;
    QLabel* m_summary;
    QCheckBox* m_foreignKeys;
    QTimer* m_sizeToRemember;
    QSize m_rememberedSize;
};

// A copy or a delete from its start to its end: Stop is enabled and the time taken runs.
// At the end Stop is disabled, the bar reads "Progress Bar" again and the line below it
// tells what the click did.
class StoppableWork
{
public:
    explicit StoppableWork(Form2& form);
    ~StoppableWork();
    StoppableWork(const StoppableWork&) = delete;
    StoppableWork& operator=(const StoppableWork&) = delete;

    // The user asked the work to stop.
    static bool stopped();
    qint64 elapsed() const { return m_clock.elapsed(); }
    // What the click did, for the line below the bar.
    void tell(const QString& summary);

private:
    Form2& m_form;
    QElapsedTimer m_clock;
    bool m_told = false;
};
