// While a statement of the table window waits for its server (here for a lock another
// session holds), the window keeps painting.

#include "tests/tables/TablesTest.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <optional>
#include <thread>

namespace {
// Counts the paints of one widget and keeps the longest time between two of them.
class PaintWatch : public QObject
{
public:
    explicit PaintWatch(QWidget* widget) { widget->installEventFilter(this); }
    std::atomic<int> paints{0};
    qint64 longestGap = 0;
    void start() { m_clock.start(); }

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && m_clock.isValid()) {
            longestGap = qMax(longestGap, m_clock.restart());
            ++paints;
        }
        return false;
    }

private:
    QElapsedTimer m_clock;
};
} // namespace

class TestTablesWaiting : public QObject
{
    Q_OBJECT
    std::optional<ProgramUnderTest> m_program;

private slots:
    void init()
    {
        m_program.emplace();
        Sandbox::dropAllTables();
    }
    void cleanup() { m_program.reset(); }

    void theWindowPaintsWhileADropWaitsForALock_data()
    {
        QTest::addColumn<bool>("mySQL");
        QTest::newRow("MySQL") << true;
        QTest::newRow("PostgreSQL") << false;
    }
    void theWindowPaintsWhileADropWaitsForALock()
    {
        QFETCH(bool, mySQL);
        mySQL ? createMySQLTables({"locked"}) : createPostgreSQLTables({"locked"});
        Form2& form = openTables(*m_program);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        TableList* list = mySQL ? form.List1 : form.List2;
        select(list, {"locked"});

        PaintWatch watch(form.ProgressBar1);
        QTimer repaint;
        QObject::connect(&repaint, &QTimer::timeout, form.ProgressBar1, [&] { form.ProgressBar1->update(); });
        repaint.start(20);

        // Another session reads the table in an open transaction, so the DROP waits; it
        // lets go once the window has painted a good many times during the wait, or after
        // a while when it does not.
        std::atomic<bool> holding{false};
        std::thread holder([&] {
            try {
                auto other = mySQL ? Sandbox::mySQL() : Sandbox::postgreSQL();
                other->Execute(mySQL ? QStringLiteral("START TRANSACTION") : QStringLiteral("BEGIN"));
                other->Execute(QStringLiteral("SELECT * FROM locked"));
                holding = true;
                const QString waiting =
                    mySQL ? QStringLiteral(
                                "SELECT COUNT(*) FROM information_schema.PROCESSLIST WHERE STATE LIKE "
                                "'Waiting for table metadata lock'")
                          : QStringLiteral(
                                "SELECT count(*) FROM pg_stat_activity WHERE wait_event_type = 'Lock'");
                auto observer = mySQL ? Sandbox::mySQL() : Sandbox::postgreSQL();
                QDeadlineTimer deadline(10000);
                while (!deadline.hasExpired() && Sandbox::scalar(*observer, waiting) == QLatin1String("0"))
                    QThread::msleep(10);
                const int before = watch.paints;
                while (!deadline.hasExpired() && watch.paints < before + 20)
                    QThread::msleep(10);
                other->Execute(QStringLiteral("ROLLBACK"));
            } catch (const std::exception& error) {
                qWarning("holding the lock: %s", error.what());
                holding = true;
            }
        });
        QTRY_VERIFY(holding.load());
        watch.start();
        QTest::mouseClick(mySQL ? form.PushButton1 : form.PushButton5, Qt::LeftButton);
        holder.join();

        QVERIFY2(watch.longestGap < 1000, qPrintable(QString::number(watch.longestGap)));
        QVERIFY2(watch.paints >= 20, qPrintable(QString::number(watch.paints)));
        QVERIFY(list->findItems(QStringLiteral("locked"), Qt::MatchExactly).isEmpty());
        QCOMPARE(mySQL ? mySQLTables() : postgreSQLTables(), QStringList());
    }
};

QTEST_MAIN(TestTablesWaiting)
#include "test_tables_waiting.moc"
