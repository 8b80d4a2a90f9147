#include "database/ComicData.h"
#include "core/Errors.h"
#include "database/FieldNames.h"
#include "database/Query.h"
#include "database/Schema.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>
#include <sqlite3.h>

using namespace Qt::StringLiterals;
using State = db::DataSetState;

// The catalogue's rules in the data module, without any widget: deletion,
// the author check, the new volume with its authors, keys of detail rows.
class TestComicRules : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ComicData> m_data;

    db::Table& tbl() { return m_data->tblStripothek(); }

    void add(db::Table& t, std::initializer_list<std::pair<const char*, QString>> values)
    {
        t.append();
        for (const auto& [field, value] : values)
            t.fieldByName(QLatin1String(field)).setAsString(value);
        t.post();
    }
    QString addComic(const QString& title)
    {
        add(tbl(), {{"SCLTITEL1", title}});
        return tbl().fieldByName(u"SCLCOMICID"_s).asString();
    }
    // The comic's details, one each, the author rows as given.
    void addDetails(const QString& comic, const QStringList& authors)
    {
        QVERIFY(tbl().locate(u"SCLCOMICID"_s, comic));
        for (const QString& author : authors)
            add(m_data->tblComic2Autor(),
                {{"C2AID", m_data->NewRecordKey()}, {"C2AAUTORID", author}, {"C2AATID", u"R-"_s + author}});
        add(m_data->tblAuflagen(), {{"ALAUFLAGEID", m_data->NewRecordKey()}});
        add(m_data->tblComicLocal(), {{"LCLCOMICID", m_data->NewRecordKey()}});
    }
    QStringList rows(const QString& sql, const QVariantList& params = {})
    {
        db::Query q(m_data->dbConnection(), u"qryTest"_s);
        q.setSql(sql);
        q.setParams(params);
        q.open();
        QStringList result;
        for (q.first(); !q.eof(); q.next())
            result << q.field(0).asString();
        return result;
    }
    int count(const QString& table) { return rows(u"SELECT count(*) FROM "_s + table).value(0).toInt(); }
    // Author and role of a comic's assignments, in the order they were stored.
    QStringList authorsOf(const QString& comic)
    {
        return rows(u"SELECT C2AAUTORID || '/' || C2AATID FROM COMIC2AUTOR WHERE C2ACOMICID = ? ORDER BY rowid"_s,
                    {comic});
    }
    void refuse(const QString& table, const char* when)
    {
        m_data->dbConnection().execute(
            u"CREATE TEMP TRIGGER refuse BEFORE %1 ON %2 BEGIN SELECT RAISE(ABORT, 'gesperrt'); END"_s.arg(
                QLatin1String(when), table));
    }

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        db::schema::createDatabase(m_dir->path(), [](sqlite3*) {});
        m_data = std::make_unique<ComicData>();
        m_data->dbConnection().setDatabasePath(m_dir->path() + u"/database"_s);
        m_data->OpenTables();
    }
    void cleanup() { m_data.reset(); }

    void deleteComic_data()
    {
        QTest::addColumn<QString>("failing");
        QTest::addColumn<bool>("newRow");
        QTest::newRow("with its details") << QString() << false;
        QTest::newRow("own copies refused") << u"LOKALESTRIPOTHEK"_s << false;
        QTest::newRow("comic row refused") << u"SERVERSTRIPOTHEK"_s << false;
        QTest::newRow("unsaved row") << QString() << true;
    }

    void deleteComic()
    {
        QFETCH(QString, failing);
        QFETCH(bool, newRow);
        const QString other = addComic(u"Bleibt"_s);
        const QString victim = addComic(u"Geht"_s);
        addDetails(other, {u"A1"_s});
        addDetails(victim, {u"A1"_s, u"A2"_s});
        QVERIFY(tbl().locate(u"SCLCOMICID"_s, victim));
        if (!failing.isEmpty())
            refuse(failing, "DELETE");
        if (newRow)
            tbl().append();

        const bool deleted = failing.isEmpty() && !newRow;
        if (failing.isEmpty())
            QCOMPARE(m_data->rules().DeleteComic(), deleted);
        else
            QVERIFY_THROWS_EXCEPTION(db::Error, m_data->rules().DeleteComic());

        QCOMPARE(tbl().state(), State::Browse);
        QVERIFY(!m_data->dbConnection().inTransaction());
        QCOMPARE(count(u"SERVERSTRIPOTHEK"_s), deleted ? 1 : 2);
        QCOMPARE(authorsOf(victim).size(), deleted ? 0 : 2);
        QCOMPARE(count(u"AUFLAGEN"_s), deleted ? 1 : 2);
        QCOMPARE(count(u"LOKALESTRIPOTHEK"_s), deleted ? 1 : 2);
        const QString current = deleted ? other : victim;
        QCOMPARE(tbl().fieldByName(u"SCLCOMICID"_s).asString(), current);
        QCOMPARE(m_data->tblComic2Autor().shownCount(), authorsOf(current).size());
    }

    void authorCheck_data()
    {
        QTest::addColumn<QString>("author");
        QTest::addColumn<bool>("refused");
        QTest::newRow("assigned to some comic") << u"A1"_s << true;
        QTest::newRow("never assigned") << u"A3"_s << false;
        QTest::newRow("key differs in case only") << u"a1"_s << false;
        QTest::newRow("empty key") << QString() << false;
    }

    void authorCheck()
    {
        QFETCH(QString, author);
        QFETCH(bool, refused);
        addDetails(addComic(u"Irgendeiner"_s), {u"A1"_s});
        addComic(u"Angezeigt"_s);
        if (refused)
            QVERIFY_THROWS_EXCEPTION(db::Error, m_data->rules().CheckAuthorDeletable(author));
        else
            m_data->rules().CheckAuthorDeletable(author);
    }

    // The new volume and its authors are stored together or not at all; a
    // refusal leaves the row being inserted with its input and its authors.
    void newVolume_data()
    {
        QTest::addColumn<QString>("failing");
        QTest::newRow("stored") << QString();
        QTest::newRow("author row refused") << u"COMIC2AUTOR"_s;
        QTest::newRow("comic row refused") << u"SERVERSTRIPOTHEK"_s;
    }

    void newVolume()
    {
        QFETCH(QString, failing);
        const QString source = addComic(u"Band 1"_s);
        addDetails(source, {u"A2"_s, u"A1"_s, u"A3"_s});
        tbl().edit();
        tbl().fieldByName(u"SCLSEITEN"_s).setAsInteger(48);
        m_data->rules().NewVolume(); // stores the edit first
        QCOMPARE(tbl().state(), State::Insert);
        QCOMPARE(tbl().fieldByName(u"SCLSEITEN"_s).asString(), u"48"_s);
        QCOMPARE(int(m_data->rules().pendingAuthors().size()), 3);
        tbl().fieldByName(u"SCLTITEL1"_s).setAsString(u"Band 2"_s);

        if (!failing.isEmpty()) {
            refuse(failing, "INSERT");
            QVERIFY_THROWS_EXCEPTION(db::Error, tbl().post());
            QCOMPARE(tbl().state(), State::Insert);
            QCOMPARE(tbl().fieldByName(u"SCLTITEL1"_s).asString(), u"Band 2"_s);
            QCOMPARE(int(m_data->rules().pendingAuthors().size()), 3);
            QCOMPARE(count(u"SERVERSTRIPOTHEK"_s), 1);
            QCOMPARE(count(u"COMIC2AUTOR"_s), 3);
            QVERIFY(!m_data->dbConnection().inTransaction());
            m_data->dbConnection().execute(u"DROP TRIGGER refuse"_s);
        }
        tbl().first(); // a move stores the new volume as the save button does
        const QStringList stored = rows(u"SELECT SCLCOMICID FROM SERVERSTRIPOTHEK WHERE SCLTITEL1 = 'Band 2'"_s);
        QCOMPARE(stored.size(), 1);
        QCOMPARE(authorsOf(stored[0]), authorsOf(source));
        QCOMPARE(rows(u"SELECT DISTINCT C2AID FROM COMIC2AUTOR"_s).size(), 6);
        QVERIFY(m_data->rules().pendingAuthors().empty());
    }

    void droppedNewVolumeDropsItsAuthors()
    {
        addDetails(addComic(u"Band 1"_s), {u"A1"_s});
        m_data->rules().NewVolume();
        tbl().cancel();
        QVERIFY(m_data->rules().pendingAuthors().empty());
        add(tbl(), {{"SCLTITEL1", u"Anderer"_s}});
        QCOMPARE(authorsOf(tbl().fieldByName(u"SCLCOMICID"_s).asString()), QStringList());
    }

    void newDetailRowKeys_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("keyField");
        QTest::addColumn<QString>("comicField");
        QTest::addColumn<bool>("withComic");
        QTest::newRow("author") << u"tblComic2Autor"_s << u"C2AID"_s << u"C2ACOMICID"_s << true;
        QTest::newRow("edition") << u"tblAuflagen"_s << u"ALAUFLAGEID"_s << u"ALCOMICID"_s << true;
        QTest::newRow("own copy") << u"tblComicLocal"_s << u"LCLCOMICID"_s << u"LCLSERVERCOMICID"_s << true;
        QTest::newRow("no comic") << u"tblAuflagen"_s << u"ALAUFLAGEID"_s << u"ALCOMICID"_s << false;
    }

    void newDetailRowKeys()
    {
        QFETCH(QString, table);
        QFETCH(QString, keyField);
        QFETCH(QString, comicField);
        QFETCH(bool, withComic);
        const QString comic = withComic ? addComic(u"Mit Liste"_s) : QString();
        if (withComic)
            QCOMPARE(m_data->rules().ComicKeyForNewDetail(), comic);
        else
            QVERIFY_THROWS_EXCEPTION(db::Abort, m_data->rules().ComicKeyForNewDetail());
        const QString drawn = m_data->NewRecordKey();
        db::Table& detail = *m_data->tableByName(table);
        detail.append();
        if (!withComic) {
            QVERIFY_THROWS_EXCEPTION(db::Abort, m_data->rules().KeyNewDetailRow(detail));
            QVERIFY(detail.fieldByName(keyField).asString().isEmpty());
            return;
        }
        m_data->rules().KeyNewDetailRow(detail);
        const qsizetype digits = drawn.indexOf(QRegularExpression(u"\\d+$"_s));
        QCOMPARE(detail.fieldByName(keyField).asString(),
                 drawn.left(digits) + QString::number(drawn.mid(digits).toLongLong() + 1));
        QCOMPARE(detail.fieldByName(comicField).asString(), comic);
    }

    // The constants the code names fields by are the schema's fields, all
    // of them, in its order.
    void fieldNamesFollowTheSchema()
    {
        QStringList schema;
        for (const db::schema::TableDef& table : db::schema::tables())
            for (const db::schema::FieldDef& field : table.fields)
                schema << field.name;
        QStringList constants;
        for (const QLatin1String name : db::fields::kAll)
            constants << name;
        QCOMPARE(constants, schema);
    }

    // A new comic is stored before a list row can name it.
    void newDetailRowStoresANewComic()
    {
        tbl().append();
        tbl().fieldByName(u"SCLTITEL1"_s).setAsString(u"Neu"_s);
        const QString key = m_data->rules().ComicKeyForNewDetail();
        QCOMPARE(tbl().state(), State::Browse);
        QCOMPARE(rows(u"SELECT SCLTITEL1 FROM SERVERSTRIPOTHEK WHERE SCLCOMICID = ?"_s, {key}), QStringList{u"Neu"_s});
    }
};

QTEST_GUILESS_MAIN(TestComicRules)
#include "tst_comicrules.moc"
