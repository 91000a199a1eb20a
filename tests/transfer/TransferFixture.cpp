#include "tests/transfer/TransferFixture.h"

#include "app/ErrorReport.h"

void asDoubles(QList<QStringList>& rows, const QList<int>& columns)
{
    for (QStringList& row : rows) {
        for (int c : columns) {
            if (row[c] == QLatin1String("NULL"))
                continue;
            bool ok = false;
            const double value = row[c].toDouble(&ok);
            row[c] = ok ? QString::number(value, 'g', 17) : QStringLiteral("not a number: ") + row[c];
        }
    }
}

QString everyByteHex()
{
    QByteArray bytes;
    for (int i = 0; i < 256; ++i)
        bytes.append(static_cast<char>(i));
    return QString::fromLatin1(bytes.toHex());
}

QStringList reports()
{
    QStringList texts;
    for (const MessageBox::Shown& shown : MessageBox::history()) {
        if (shown.title == QLatin1String("Application Error"))
            texts.append(shown.text);
    }
    return texts;
}

QString reportTail(const QString& procedure, int line, const QString& statement)
{
    return QStringLiteral("\r\nin Tablewright2021/08/31.Form2.") + procedure + QStringLiteral(" at line ") +
           QString::number(line) + QStringLiteral("\r\rPlease email screenshot of this message to ") +
           kSupportAddress + QStringLiteral("\r\rsql: ") + statement;
}

std::thread whenHolding(const Server& server, const QString& table, int rows, std::function<bool()> action)
{
    return std::thread([&server, table, rows, action = std::move(action)] {
        // The connection that counts is closed before the action runs.
        auto holds = [&] {
            return server.tables().contains(table) &&
                   Sandbox::scalar(*server.connect(), QStringLiteral("SELECT count(*) FROM ") + table)
                           .toInt() >= rows;
        };
        eventually([&] {
            try {
                return holds() && action();
            } catch (const std::exception& error) {
                qWarning("while the copy of %s runs: %s", qPrintable(table), error.what());
                return false;
            }
        });
    });
}
