#include "bench/Children.h"

#include "app/ErrorReport.h"
#include "app/MessageBox.h"
#include "app/Windows.h"
#include "bench/ChildProcess.h"
#include "bench/Measure.h"
#include "bench/PlainLoop.h"
#include "tables/Form2.h"
#include "tests/support/TestSupport.h"
#include "tests/transfer/TransferFixture.h"

#include <csignal>
#include <cstdio>

double runningSeconds(qint64 from, qint64 to, const Pauses& pauses)
{
    qint64 stopped = 0;
    for (const auto& [pausedAt, resumedAt] : pauses)
        stopped += qMax<qint64>(0, qMin(resumedAt, to) - qMax(pausedAt, from));
    return double(to - from - stopped) / 1e9;
}

double TransferChild::shapeSeconds(const Pauses& pauses) const
{
    return runningSeconds(shapeStartedAt, shapeEndedAt, pauses);
}

double TransferChild::rowsSeconds(const Pauses& pauses) const
{
    return runningSeconds(startedAt, endedAt, pauses) - shapeSeconds(pauses);
}

double TransferChild::toKeySeconds(const Pauses& pauses) const
{
    return runningSeconds(startedAt, keyEndedAt, pauses);
}

namespace {

constexpr int kTransferWords = 8;

// Where the child's click stands: the shape's first statement, the step after it, and the
// step after the last.
const Direction* s_watched = nullptr;
TransferChild s_measured;
void watchShape(const QString&, int line, const std::source_location&)
{
    TransferChild& m = s_measured;
    if (m.shapeStartedAt != 0 && m.keyEndedAt == 0)
        m.keyEndedAt = monotonicNanoseconds();
    if (line == s_watched->shapeLine && m.shapeStartedAt == 0)
        m.shapeStartedAt = monotonicNanoseconds();
    else if (line == s_watched->afterShapeLine && m.shapeStartedAt != 0 && m.shapeEndedAt == 0)
        m.shapeEndedAt = monotonicNanoseconds();
}

// A box the copy may show: the error report of refused rows.
bool expectedBox(const MessageBox::Shown& shown, bool refusals)
{
    return refusals && shown.title == QLatin1String("Application Error");
}

} // namespace

int runTransferChild(const Direction& direction, const QString& table, bool refusals)
{
    ProgramUnderTest program;
    openTableWindow(); // the start-up goes on to the table window, both lists read
    Form2& form2 = Windows::form2();
    select(direction.toPostgreSQL ? form2.List1 : form2.List2, {table});
    TransferChild& measured = s_measured;
    s_watched = &direction;
    Handler::setStepObserver(watchShape);
    measured.beforeKiB = peakKiB();
    const double cpuBefore = ownCpuSeconds();
    measured.startedAt = monotonicNanoseconds();
    direction.toPostgreSQL ? form2.PushButton3_Click() : form2.PushButton4_Click();
    measured.endedAt = monotonicNanoseconds();
    measured.cpuSeconds = ownCpuSeconds() - cpuBefore;
    measured.peakKiB = peakKiB();
    Handler::setStepObserver(nullptr);

    int status = 0;
    for (const MessageBox::Shown& shown : MessageBox::history()) {
        if (expectedBox(shown, refusals))
            continue;
        std::fprintf(stderr, "%s: %s\n", qPrintable(shown.title), qPrintable(shown.text.left(2000)));
        status = 1;
    }
    std::printf("RESULT %.6f %ld %ld %lld %lld %lld %lld %lld\n", measured.cpuSeconds, measured.peakKiB,
                measured.beforeKiB, static_cast<long long>(measured.startedAt),
                static_cast<long long>(measured.endedAt), static_cast<long long>(measured.shapeStartedAt),
                static_cast<long long>(measured.keyEndedAt), static_cast<long long>(measured.shapeEndedAt));
    return status;
}

TransferChild transferResult(QProcess& child, const char* what)
{
    const QList<QByteArray> words = resultOf(child, kTransferWords, what);
    TransferChild result;
    result.cpuSeconds = words[1].toDouble();
    result.peakKiB = words[2].toLong();
    result.beforeKiB = words[3].toLong();
    result.startedAt = words[4].toLongLong();
    result.endedAt = words[5].toLongLong();
    result.shapeStartedAt = words[6].toLongLong();
    result.keyEndedAt = words[7].toLongLong();
    result.shapeEndedAt = words[8].toLongLong();
    return result;
}

TransferChild copyAlone(const Direction& direction, const QString& table,
                        const QProcessEnvironment& environment, const char* what, bool refusals)
{
    QStringList arguments{QStringLiteral("--child"), QLatin1String(direction.key), table};
    if (refusals)
        arguments.append(QStringLiteral("--refusals"));
    QProcess copy;
    startChild(copy, arguments, environment);
    copy.waitForFinished(-1);
    return transferResult(copy, what);
}

int runPlainLoopChild(const Direction& direction, const QString& file)
{
    std::signal(SIGUSR1, [](int) { requestPlainStop(); });
    auto ready = [] {
        std::printf("READY\n");
        std::fflush(stdout);
        raise(SIGSTOP);
    };
    const PlainResult plain =
        direction.toPostgreSQL ? sendToPostgreSQL(file, ready) : sendToMySQL(file, ready);
    if (!plain.error.isEmpty()) {
        std::fprintf(stderr, "the plain loop failed: %s\n", qPrintable(plain.error));
        return 1;
    }
    std::printf("RESULT %lld %.6f %lld %d\n", static_cast<long long>(plain.rows), plain.cpuSeconds,
                static_cast<long long>(plain.endedAt), int(plain.wholeFile));
    return 0;
}

PlainLoopChild plainLoopResult(QProcess& child)
{
    const QList<QByteArray> words = resultOf(child, 4, "the plain loop");
    return {words[1].toLongLong(), words[2].toDouble(), words[3].toLongLong(), words[4] == "1"};
}
