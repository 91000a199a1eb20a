#include "tests/support/TableWindow.h"

#include "app/Windows.h"
#include "connect/Form1.h"
#include "tables/Form2.h"
#include "tables/TableList.h"
#include "tests/support/TestSupport.h"

#include <QLineEdit>
#include <QTest>

Form2& openTableWindow()
{
    Form1& form = Windows::form1();
    form.Text1->setText(Sandbox::env("QS_PG_HOST"));
    form.Text2->setText(Sandbox::env("QS_PG_PORT"));
    form.Text3->setText(Sandbox::env("QS_PG_USER"));
    form.Text4->setText(Sandbox::env("QS_PG_PASSWORD"));
    form.Text5->setText(Sandbox::env("QS_PG_DATABASE"));
    form.Text6->setText(Sandbox::env("QS_MY_HOST"));
    form.Text10->setText(Sandbox::env("QS_MY_PORT"));
    form.Text7->setText(Sandbox::env("QS_MY_USER"));
    form.Text8->setText(Sandbox::env("QS_MY_PASSWORD"));
    form.Text9->setText(Sandbox::env("QS_MY_DATABASE"));
    form.PushButton2_Click();
    if (!MessageBox::history().isEmpty())
        qFatal("\"Next >\" failed: %s", qPrintable(MessageBox::history().constFirst().text));
    return Windows::form2();
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
