#include "tests/support/ProgramWindows.h"

#include "app/Settings.h"
#include "tests/support/TestSupport.h"

Form2& openTableWindow()
{
    Sandbox::remember(Settings::instance());
    Windows::form1().Form_Load();
    if (!MessageBox::history().isEmpty() || !Windows::form2Exists())
        qFatal("the table window did not open: %s", qPrintable(shownTexts().join(QLatin1Char('\n'))));
    return Windows::form2();
}

Form1& openConnectionWindow()
{
    Sandbox::remember(Settings::instance());
    Settings::instance().write(QStringLiteral("PostgreSQLPort"), kDeadPort);
    Windows::form1().Form_Load();
    return Windows::form1();
}

void select(TableList* list, const QStringList& names)
{
    list->clearSelection();
    for (const QString& name : names) {
        const QList<QListWidgetItem*> found = list->findItems(name, Qt::MatchExactly);
        QVERIFY2(found.size() == 1,
                 qPrintable(QStringLiteral("%1 items named %2").arg(found.size()).arg(name)));
        list->setCurrentItem(found.constFirst(), QItemSelectionModel::Select);
    }
}

QStringList names(const QListWidget* list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts.append(list->item(i)->text());
    return texts;
}

QStringList selectedNames(const QListWidget* list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        if (list->item(i)->isSelected())
            texts.append(list->item(i)->text());
    return texts;
}

bool isCatalogue(const ListedTable& table)
{
    return table.schema == QLatin1String("pg_catalog") || table.schema == QLatin1String("information_schema");
}

QStringList items(const TableList* list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i) {
        if (!isCatalogue(TableList::tableOf(*list->item(i))))
            texts.append(list->item(i)->text());
    }
    return texts;
}

WhenThen::WhenThen(std::function<bool()> when, std::function<void()> then)
    : m_when(std::move(when)), m_then(std::move(then))
{
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
        if (m_done || !m_when())
            return;
        m_done = true;
        m_timer.stop();
        m_clock.start();
        m_then();
    });
    m_timer.start(5);
}
