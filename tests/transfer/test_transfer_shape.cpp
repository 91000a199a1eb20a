// A copied table keeps its shape: primary key, NOT NULL, unique keys and indexes,
// auto-increment and defaults arrive after the rows, as the target's catalogue shows them. A
// part the target refuses is reported with its statement and the rows stay; copies with
// keys can be overwritten and deleted, whatever index names they share. Comments go along;
// with the choice "Foreign keys" the copies' foreign keys too, and overwrites keep others'.

#include "app/ErrorReport.h"
#include "tests/transfer/TransferFixture.h"

class TransferShapeTest : public ServerCase
{
    Q_OBJECT
private slots:
    void aCopyKeepsItsShape_data() { directions(); }
    void aCopyKeepsItsShape()
    {
        // A rental: composite primary key with an auto-increment column first, a unique key, an
        // index on two columns and one on a long text, NOT NULL, constant and current-time
        // defaults; and a row whose key is 0.
        if (toPostgreSQL()) {
            Sandbox::exec(source(), QStringLiteral(R"(CREATE TABLE rentals (
                id INT NOT NULL AUTO_INCREMENT, store SMALLINT NOT NULL, code VARCHAR(20) NOT NULL,
                title VARCHAR(100) NOT NULL DEFAULT 'it''s new' COMMENT 'it''s «new» ☃', notes LONGTEXT,
                rate DECIMAL(5,2) NOT NULL DEFAULT 4.99, copies INT DEFAULT -1, rented DATE DEFAULT (curdate()),
                active BIT(1) NOT NULL DEFAULT b'1', PRIMARY KEY (id, store), UNIQUE KEY rentals_code (code),
                KEY by_title (store, title), KEY by_notes (notes(50)), FULLTEXT KEY words (title))
                COMMENT 'Rentals: l''été, 貸出')"));
        } else {
            Sandbox::exec(source(), QStringLiteral(R"(CREATE TABLE rentals (
                id serial, store smallint NOT NULL, code text NOT NULL, title text NOT NULL DEFAULT 'it''s new',
                notes text, rate numeric(5,2) NOT NULL DEFAULT 4.99, copies integer DEFAULT -1,
                rented timestamp DEFAULT now(), active boolean NOT NULL DEFAULT true,
                PRIMARY KEY (id, store), CONSTRAINT rentals_code UNIQUE (code)))"));
            Sandbox::exec(source(), QStringLiteral("CREATE INDEX by_title ON rentals (store, title)"));
            Sandbox::exec(source(), QStringLiteral("CREATE INDEX by_notes ON rentals (notes)"));
            Sandbox::exec(source(), QStringLiteral("CREATE INDEX words ON rentals (lower(title))"));
            for (const char* comment :
                 {"TABLE rentals IS 'Rentals: l''été, 貸出'", "COLUMN rentals.title IS 'it''s «new» ☃'"})
                Sandbox::exec(source(), QStringLiteral("COMMENT ON ") + QString::fromUtf8(comment));
        }
        Sandbox::exec(
            source(),
            QStringLiteral("INSERT INTO rentals (id, store, code, title, notes) VALUES (0, 1, 'zero', "
                           "'Zero', 'kept'), (7, 2, 'seven', 'Seven', NULL), (3, 1, 'three', 'Three', "
                           "'x')"));
        openTableWindow();
        send({QStringLiteral("rentals")});
        QS_VERIFY_NO_BOXES();

        const QStringList expected = toPostgreSQL()
                                         ? QStringList{"index by_notes (notes)",
                                                       "index by_title (store, title)",
                                                       "primary key (id, store)",
                                                       "unique rentals_code (code)",
                                                       "not null active, code, id, rate, store, title",
                                                       "default id nextval('rentals_id_seq'::regclass)",
                                                       "default title 'it''s new'::text",
                                                       "default rate '4.99'::text",
                                                       "default copies '-1'::integer",
                                                       "default rented CURRENT_DATE",
                                                       "default active true",
                                                       "comment rentals.title: it's «new» ☃",
                                                       "comment rentals: Rentals: l'été, 貸出"}
                                         : QStringList{"index by_notes (notes(191))",
                                                       "index by_title (store, title(191))",
                                                       "primary key (id, store)",
                                                       "unique rentals_code (code)",
                                                       "not null active, code, id, rate, store, title",
                                                       "default id auto_increment",
                                                       "default title 'it\\'s new'",
                                                       "default rate 4.99",
                                                       "default copies -1",
                                                       "default rented current_timestamp(6)",
                                                       "default active 'true'",
                                                       "comment rentals.title: it's «new» ☃",
                                                       "comment rentals: Rentals: l'été, 貸出"};
        QCOMPARE(targetShape(QStringLiteral("rentals")), expected);
        // The next key is above the copied ones, and the 0 is still there.
        Sandbox::exec(target(),
                      QStringLiteral("INSERT INTO rentals (store, code, title) VALUES (3, 'next', 'Next')"));
        QCOMPARE(
            Sandbox::rows(target(), QStringLiteral("SELECT id, store, code, rate FROM rentals ORDER BY id")),
            (QList<QStringList>{{"0", "1", "zero", "4.99"},
                                {"3", "1", "three", "4.99"},
                                {"7", "2", "seven", "4.99"},
                                {"8", "3", "next", "4.99"}}));
    }

    void aPartTheTargetRefusesIsReported_data() { directions(); }
    void aPartTheTargetRefusesIsReported()
    {
        // Refused by the target: a NOT NULL on a MySQL DATE column whose zero date arrived as
        // NULL; a unique key whose values are equal under MySQL's case-insensitive collation.
        QString statement;
        QString refusal;
        if (toPostgreSQL()) {
            Sandbox::exec(source(), QStringLiteral("SET SESSION sql_mode = 'NO_AUTO_VALUE_ON_ZERO'"));
            Sandbox::exec(
                source(),
                QStringLiteral(
                    "CREATE TABLE t (id INT PRIMARY KEY, due DATE NOT NULL, name VARCHAR(10) NOT NULL)"));
            Sandbox::exec(
                source(),
                QStringLiteral("INSERT INTO t VALUES (1, '2024-01-31', 'Ann'), (2, '0000-00-00', 'ANN')"));
            statement = QStringLiteral(R"(ALTER TABLE "t" ALTER COLUMN "due" SET NOT NULL)");
            refusal = QStringLiteral(
                R"(The copy of t keeps its rows, but NOT NULL on the column "due" could not be made: )");
        } else {
            Sandbox::exec(
                source(),
                QStringLiteral(
                    "CREATE TABLE t (id integer PRIMARY KEY, due date NOT NULL, name text NOT NULL, "
                    "CONSTRAINT t_name UNIQUE (name))"));
            Sandbox::exec(
                source(),
                QStringLiteral("INSERT INTO t VALUES (1, '2024-01-31', 'Ann'), (2, '2024-02-01', 'ANN')"));
            statement = QStringLiteral("ALTER TABLE `t` ADD UNIQUE INDEX `t_name` (`name`)");
            refusal = QStringLiteral(
                R"(The copy of t keeps its rows, but the unique key "t_name" ("name") could not be made: )");
        }
        openTableWindow();
        send({QStringLiteral("t")});

        QCOMPARE(shownBoxes(),
                 QStringList{Server::report(server().sendButton(), toPostgreSQL() ? 286 : 272)});
        const QString report = reports().constFirst();
        QVERIFY2(report.startsWith(refusal), qPrintable(report));
        QVERIFY2(report.endsWith(reportTail(procedure(), toPostgreSQL() ? 286 : 272, statement)),
                 qPrintable(report));
        // The rows stay, the table is listed, and the rest of its shape arrived.
        QCOMPARE(Sandbox::rows(target(), QStringLiteral("SELECT id, name FROM t ORDER BY id")),
                 (QList<QStringList>{{"1", "Ann"}, {"2", "ANN"}}));
        QCOMPARE(items(targetList()), QStringList{"t"});
        const QStringList shape = targetShape(QStringLiteral("t"));
        QVERIFY2(shape.contains(QStringLiteral("primary key (id)")),
                 qPrintable(shape.join(QLatin1Char('\n'))));
        QVERIFY2(shape.contains(toPostgreSQL() ? QStringLiteral("not null id, name")
                                               : QStringLiteral("not null due, id, name")),
                 qPrintable(shape.join(QLatin1Char('\n'))));
    }

    void copiesWithKeysAreOverwrittenAndDeleted_data() { directions(); }
    void copiesWithKeysAreOverwrittenAndDeleted()
    {
        // Two tables with an index of one name: a MySQL index name is its table's own, a
        // PostgreSQL one its schema's. Each has an auto-increment key.
        for (const QString table : {"a", "b"}) {
            if (toPostgreSQL())
                Sandbox::exec(source(),
                              QStringLiteral("CREATE TABLE %1 (id INT AUTO_INCREMENT PRIMARY KEY, name "
                                             "VARCHAR(20) NOT NULL, KEY by_name (name))")
                                  .arg(table));
            else
                Sandbox::exec(
                    source(),
                    QStringLiteral("CREATE TABLE %1 (id serial PRIMARY KEY, name text NOT NULL)").arg(table));
            Sandbox::exec(
                source(),
                QStringLiteral("INSERT INTO %1 (name) VALUES ('first %1'), ('second %1')").arg(table));
        }
        if (!toPostgreSQL()) {
            Sandbox::exec(source(), QStringLiteral("CREATE INDEX by_name ON a (name)"));
            Sandbox::exec(source(), QStringLiteral("CREATE INDEX by_name_b ON b (name)"));
        }
        openTableWindow();
        send({QStringLiteral("a"), QStringLiteral("b")});
        QS_VERIFY_NO_BOXES();
        if (toPostgreSQL())
            QCOMPARE(relationNames(QStringLiteral("by_name%")), QStringLiteral("by_name by_name_2"));

        // Both overwritten, each in turn: the DROP takes the table's keys and sequence along, and
        // the new copy finds its names free again, or takes the next free one.
        for (const QString table : {"a", "b"}) {
            MessageBox::clearHistory();
            MessageBox::setNextAnswer(MessageBox::Yes);
            send({table});
            QCOMPARE(shownTexts(), QStringList{QStringLiteral("Would you like to overwrite %1?").arg(table)});
            Sandbox::exec(target(), QStringLiteral("INSERT INTO %1 (name) VALUES ('third')").arg(table));
            QCOMPARE(Sandbox::column(target(), QStringLiteral("SELECT id FROM %1 ORDER BY id").arg(table)),
                     (QStringList{"1", "2", "3"}));
            QVERIFY(targetShape(table).contains(QStringLiteral("primary key (id)")));
        }
        if (toPostgreSQL()) {
            QCOMPARE(relationNames(QStringLiteral("by_name%")), QStringLiteral("by_name by_name_2"));
            QCOMPARE(relationNames(QStringLiteral("%_seq")), QStringLiteral("a_id_seq b_id_seq"));
        }

        // Deleted: the other copy keeps its keys.
        MessageBox::clearHistory();
        server().other().deleteTables({QStringLiteral("a")});
        QS_VERIFY_NO_BOXES();
        QCOMPARE(items(targetList()), QStringList{"b"});
        QVERIFY(targetShape(QStringLiteral("b")).contains(QStringLiteral("primary key (id)")));
        if (toPostgreSQL())
            QCOMPARE(relationNames(QStringLiteral("%_seq")), QStringLiteral("b_id_seq"));
    }

    // Three tables that refer to each other, staff to itself and shift by two columns; each
    // rule spelled out, as the servers' defaults differ.
    void foreignKeysArriveAndOverwritesKeepThem_data() { directions(); }
    void foreignKeysArriveAndOverwritesKeepThem()
    {
        for (const QString& statement : QStringLiteral(R"(CREATE TABLE shop (id int PRIMARY KEY, head int);
            CREATE TABLE staff (id int PRIMARY KEY, shop_id int NOT NULL, boss int, CONSTRAINT staff_in_shop UNIQUE
              (shop_id, id), CONSTRAINT staff_shop FOREIGN KEY (shop_id) REFERENCES shop (id) ON DELETE CASCADE ON
              UPDATE RESTRICT, CONSTRAINT staff_boss FOREIGN KEY (boss) REFERENCES staff (id) ON DELETE SET NULL ON
              UPDATE NO ACTION);
            CREATE TABLE shift (shop_id int, staff_id int, day date, CONSTRAINT shift_staff FOREIGN KEY (shop_id,
              staff_id) REFERENCES staff (shop_id, id) ON DELETE CASCADE ON UPDATE CASCADE);
            INSERT INTO shop VALUES (1, NULL), (2, NULL);
            INSERT INTO staff VALUES (10, 1, NULL), (11, 1, 10), (20, 2, NULL);
            INSERT INTO shift VALUES (1, 11, '2024-01-02'), (2, 20, NULL), (NULL, 99, NULL);
            ALTER TABLE shop ADD CONSTRAINT shop_head FOREIGN KEY (head) REFERENCES staff (id) ON DELETE SET NULL ON
              UPDATE CASCADE;
            UPDATE shop SET head = 10 WHERE id = 1)")
                                            .split(';'))
            Sandbox::exec(source(), statement);
        const QStringList sourceKeys = foreignKeys(server(), source());
        QCOMPARE(sourceKeys.size(), 4);
        const auto copiedKeys = [&] { return foreignKeys(server().other(), target()); };
        Form2& form = openTableWindow();
        const auto overwrite = [&](const QStringList& tables, bool choice) {
            MessageBox::clearHistory();
            form.foreignKeysBox()->setChecked(choice);
            for (qsizetype i = 0; i < tables.size(); ++i)
                MessageBox::setNextAnswer(MessageBox::Yes);
            send(tables);
        };
        const QStringList tables{"shift", "shop", "staff"};
        send(tables);
        QS_VERIFY_NO_BOXES();
        QVERIFY(copiedKeys().isEmpty());
        overwrite(tables, true);
        QCOMPARE(copiedKeys(), sourceKeys);
        // Each overwritten alone: the keys of the others that refer to it are removed first
        // and made again after its rows and key.
        for (const QString& table : tables) {
            overwrite({table}, true);
            QCOMPARE(shownTexts(), QStringList{QStringLiteral("Would you like to overwrite %1?").arg(table)});
            QCOMPARE(copiedKeys(), sourceKeys);
        }
        QVERIFY2(
            form.summaryLine()->text().contains(
                "2 foreign keys added; 2 foreign keys of other tables removed to overwrite, 2 added back"),
            qPrintable(form.summaryLine()->text()));
        // Left off, the choice overwrites a table others refer to no more than before.
        overwrite({"shop"}, false);
        QCOMPARE(shownBoxes(), (QStringList{"Would you like to overwrite shop?",
                                            Server::report(server().sendButton(), 144)}));
        QCOMPARE(copiedKeys(), sourceKeys);
        // The source lost a shop and its staff; the copy of staff keeps them, and its key
        // cannot come back.
        Sandbox::exec(source(), QStringLiteral("DELETE FROM shop WHERE id = 2"));
        overwrite({"shop"}, true);
        QCOMPARE(shownBoxes().constLast(), Server::report(server().sendButton(), toPostgreSQL() ? 286 : 272));
        const QString report = reports().constFirst();
        QVERIFY2(
            report.startsWith(R"(The table staff lost the foreign key "staff_shop" ("shop_id") referring to )"
                              R"("shop" ("id") to the overwrite of shop, which could not make it again: )") &&
                report.contains("\n1 row of staff refers to no row of shop."),
            qPrintable(report));
        QCOMPARE(copiedKeys().size(), 3);
    }

    void anUnreadableShapeKeepsTheTarget()
    {
        // The PostgreSQL catalogue's indexes are closed to the program's account: the table is
        // reported as a source that cannot be read would be, before anything is asked, and the
        // MySQL table of its name stays as it was.
        Sandbox::exec(*m_pg, QStringLiteral("CREATE TABLE kept (id integer PRIMARY KEY)"));
        Sandbox::exec(*m_pg, QStringLiteral("INSERT INTO kept VALUES (1)"));
        Sandbox::exec(*m_my, QStringLiteral("CREATE TABLE kept (old INT)"));
        Sandbox::exec(*m_my, QStringLiteral("INSERT INTO kept VALUES (42)"));
        auto admin = Sandbox::postgreSQLAdmin();
        Sandbox::exec(*admin, QStringLiteral("REVOKE SELECT ON pg_catalog.pg_index FROM PUBLIC"));
        struct Regrant
        {
            Connection& admin;
            ~Regrant()
            {
                if (!Attempt([&] {
                        admin.Execute(QStringLiteral("GRANT SELECT ON pg_catalog.pg_index TO PUBLIC"));
                    }))
                    qCritical("pg_index could not be opened to PUBLIC again");
            }
        } regrant{*admin};
        openTableWindow();
        Server::postgreSQL().send({QStringLiteral("kept")});

        QCOMPARE(shownBoxes(), QStringList{"report Form2.PushButton4_Click 270"});
        const QString report = reports().constFirst();
        QVERIFY2(report.startsWith(QStringLiteral("ERROR:  permission denied for table pg_index")),
                 qPrintable(report));
        QVERIFY2(report.contains(QStringLiteral(
                     "\r\rsql: SELECT c.relname, i.indisprimary, i.indisunique, a.attname FROM "
                     "pg_index i")),
                 qPrintable(report));
        QCOMPARE(Sandbox::rows(*m_my, QStringLiteral("SELECT old FROM kept")), QList<QStringList>{{"42"}});
    }

private:
    // The table's keys, NOT NULL columns, auto-increment and defaults, a line each, as the
    // target's catalogue has them.
    QStringList targetShape(const QString& table)
    {
        const Catalogue catalogue = server().other().catalogue(target());
        QStringList keys;
        for (const Catalogue::Key& key : catalogue.keys)
            if (key.table == table)
                keys << (key.kind == QLatin1String("primary key") ? key.kind : key.kind + ' ' + key.name) +
                            " (" + key.columns + ')';
        keys.sort();
        QStringList notNull;
        QStringList defaults;
        for (const Catalogue::Column& column : catalogue.columns) {
            if (column.table == table && column.notNull)
                notNull << column.name;
            if (column.table == table && (column.autoIncrement || !column.defaultText.isEmpty()))
                defaults << QStringLiteral("default ") + column.name + ' ' +
                                (column.defaultText.isEmpty() ? QStringLiteral("auto_increment")
                                                              : column.defaultText);
        }
        notNull.sort();
        QStringList comments;
        for (const QString& comment : catalogue.comments)
            if (comment.startsWith(table + ':') || comment.startsWith(table + '.'))
                comments << QStringLiteral("comment ") + comment;
        return keys + QStringList{QStringLiteral("not null ") + notNull.join(QStringLiteral(", "))} +
               defaults + comments;
    }
    static QStringList foreignKeys(const Server& side, Connection& connection)
    {
        QStringList keys;
        for (const Catalogue::ForeignKey& key : side.catalogue(connection).foreignKeys)
            keys << key.table + ' ' + key.name + ' ' + key.definition;
        keys.sort();
        return keys;
    }
    QString relationNames(const QString& pattern)
    {
        return Sandbox::column(
                   *m_pg, QStringLiteral("SELECT string_agg(relname, ' ' ORDER BY relname) FROM pg_class "
                                         "WHERE relnamespace = 'public'::regnamespace AND relname LIKE '%1'")
                              .arg(pattern))
            .constFirst();
    }
};

QTEST_MAIN(TransferShapeTest)
#include "test_transfer_shape.moc"
