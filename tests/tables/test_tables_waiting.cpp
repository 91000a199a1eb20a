// While a statement of the table window waits for its server (here for a lock another
// session holds), the window keeps painting.

#include "tests/support/Servers.h"

#include <QElapsedTimer>
#include <QTimer>
#include <atomic>
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

class TestTablesWaiting : public ServerCase
{
    Q_OBJECT
private slots:

    void theWindowPaintsWhileADropWaitsForALock_data() { perServer(); }
    void theWindowPaintsWhileADropWaitsForALock()
    {
        const Server& side = server();
        side.createTables({"locked"});
        Form2& form = openTableWindow();
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        select(side.list(), {"locked"});

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
                auto other = side.connect();
                other->Execute(QStringLiteral("BEGIN"));
                other->Execute(QStringLiteral("SELECT * FROM locked"));
                holding = true;
                auto observer = side.connect();
                eventually(
                    [&] {
                        return !Sandbox::column(*observer, side.lockWaits(QStringLiteral("%"))).isEmpty();
                    },
                    10, 10000);
                const int before = watch.paints;
                eventually([&] { return watch.paints >= before + 20; }, 10, 10000);
                other->Execute(QStringLiteral("ROLLBACK"));
            } catch (const std::exception& error) {
                qWarning("holding the lock: %s", error.what());
                holding = true;
            }
        });
        QTRY_VERIFY(holding.load());
        watch.start();
        QTest::mouseClick(side.deleteButton(), Qt::LeftButton);
        holder.join();

        QVERIFY2(watch.longestGap < 1000, qPrintable(QString::number(watch.longestGap)));
        QVERIFY2(watch.paints >= 20, qPrintable(QString::number(watch.paints)));
        QVERIFY(side.list()->findItems(QStringLiteral("locked"), Qt::MatchExactly).isEmpty());
        QCOMPARE(side.tables(), QStringList());
    }
};

QTEST_MAIN(TestTablesWaiting)
#include "test_tables_waiting.moc"
