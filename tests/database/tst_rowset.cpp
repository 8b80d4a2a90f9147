#include "EngineFixture.h"

#include "database/RowSet.h"
#include "database/Statement.h"

using db::RowSet;

namespace {

// Authors in the order they were stored; the empty name is a real key too.
const QStringList kIds{"A1", "A2", "A3", "A4", "A5", "A6", "A7"};
const QStringList kNames{"zorn", "Ärger", "Abel", "Zorn", "Öl", "Zorn", ""};

struct Authors : EngineFixture {
    RowSet rows{*connection};

    Authors()
    {
        for (int i = 0; i < kIds.size(); ++i)
            connection->execute("INSERT INTO AUTOREN (ANAUTORID, ANNAME) VALUES (?, ?)", {kIds[i], kNames[i]});
    }

    void define(bool ordered, bool german, bool detail, const db::CompiledFilter& filter = {})
    {
        RowSet::Definition d;
        d.component = "tblAutoren";
        d.table = "AUTOREN";
        d.columns = QStringList{"ANAUTORID", "ANNAME"};
        if (ordered)
            d.order = {{"ANNAME", true}};
        d.germanNames = german;
        d.detail = detail;
        d.filter = filter;
        rows.define(d);
    }

    QStringList idsShown()
    {
        QStringList ids;
        for (int i = 0; i < rows.count(); ++i)
            ids << rows.row(i).value(0).toString();
        return ids;
    }

    int positionOfAuthor(const QString& id) { return rows.firstPositionWhere("ANAUTORID = ?", {id}); }
    qint64 storedId(const QString& id)
    {
        db::Statement find(connection->handle(), "SELECT rowid FROM AUTOREN WHERE ANAUTORID = ?");
        find.bind(1, id);
        return find.step() ? find.columnInt64(0) : -1;
    }
    QStringList readWhole()
    {
        QStringList all;
        rows.readAll({"ANAUTORID"}, [&](const db::Statement& row) { all << row.column(0).toString(); });
        return all;
    }

    qint64 rowIdOf(const QString& id) { return rows.idAt(positionOfAuthor(id)); }
};

} // namespace

class TestRowSet : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Every way of asking the set (by position, by row id, by condition, all
    // rows in one statement) must agree on which rows show and where.
    void queriesAgreeOnRowsAndOrder_data()
    {
        QTest::addColumn<bool>("ordered");
        QTest::addColumn<bool>("german");
        QTest::addColumn<bool>("detail");
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("stored order") << false << false << false << "" << "" << kIds;
        // Case is ignored for ASCII only; the umlauts' bytes come after z.
        QTest::newRow("without case") << true << false << false << "" << ""
                                      << QStringList{"A7", "A3", "A1", "A4", "A6", "A2", "A5"};
        QTest::newRow("German names") << true << true << false << "" << ""
                                      << QStringList{"A7", "A3", "A2", "A5", "A1", "A4", "A6"};
        QTest::newRow("filtered, matches sorted") << true << true << false << "" << "ANAUTORID >= 'A4'"
                                                  << QStringList{"A7", "A5", "A4", "A6"};
        QTest::newRow("linked") << true << false << true << "Zorn" << "" << QStringList{"A4", "A6"};
        QTest::newRow("linked and filtered") << true << false << true << "Zorn" << "ANAUTORID <> 'A4'"
                                             << QStringList{"A6"};
        QTest::newRow("linked to an empty key") << true << false << true << "" << "" << QStringList{"A7"};
        QTest::newRow("linked to no row") << true << false << true << "Niemand" << "" << QStringList{};
    }

    void queriesAgreeOnRowsAndOrder()
    {
        QFETCH(bool, ordered);
        QFETCH(bool, german);
        QFETCH(bool, detail);
        QFETCH(QString, link);
        QFETCH(QString, filter);
        QFETCH(QStringList, expected);
        Authors a;
        a.define(ordered, german, detail, {filter, {}, {}});
        a.rows.setLinkValue(link.toUtf8());
        a.rows.read();
        QVERIFY(!a.rows.stale());
        QCOMPARE(a.idsShown(), expected);

        QStringList all;
        a.rows.readAll({"ANAUTORID"}, [&](const db::Statement& row) { all << row.column(0).toString(); });
        QCOMPARE(all, expected);

        // Twice round: the first lookups scan, later ones use the map.
        for (int round = 0; round < 2; ++round)
            for (int i = 0; i < expected.size(); ++i) {
                QCOMPARE(a.rows.positionOf(a.rows.idAt(i)), i);
                QCOMPARE(a.positionOfAuthor(expected[i]), i);
            }
        for (int i = 0; i < kIds.size(); ++i)
            QCOMPARE(a.rows.firstValueWhere("ANNAME", "ANAUTORID = ?", {kIds[i]}).isNull(),
                     !expected.contains(kIds[i]));
        QCOMPARE(a.rows.positionOf(4711), -1);
        // The first match in the set's order, not in the file's.
        int firstOther = 0;
        while (firstOther < expected.size() && expected[firstOther] == "A7")
            ++firstOther;
        QCOMPARE(a.rows.firstPositionWhere("ANAUTORID <> ?", {"A7"}), firstOther < expected.size() ? firstOther : -1);
    }

    // Many windows of two rows, asked in any order, show what one statement
    // over the file shows: ties, empty and missing names on the windows'
    // boundaries, a filter walking the name index, the last row at once.
    void windowsShowWhatTheFileShows_data()
    {
        QTest::addColumn<bool>("ordered");
        QTest::addColumn<bool>("german");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("first");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("walkSteps"); // per match; 0: every window sorted
        const int ample = 1000000;
        for (const char* first : {"", "last row", "locate last", "position of last"}) {
            QTest::addRow("stored order %s", first) << false << false << "" << first << 30 << ample;
            QTest::addRow("without case %s", first) << true << false << "" << first << 30 << ample;
            QTest::addRow("German names %s", first) << true << true << "" << first << 30 << ample;
            QTest::addRow("walking the index %s", first) << true << true << "ANAUTORID >= 'B10'" << first << 20 << ample;
            QTest::addRow("walk cut short %s", first) << true << true << "ANAUTORID >= 'B10'" << first << 20 << 4;
            QTest::addRow("windows sorted %s", first) << true << true << "ANAUTORID >= 'B10'" << first << 20 << 0;
        }
        QTest::newRow("exactly two windows") << true << true << "ANAUTORID >= 'B26'" << "" << 4 << ample;
        // Cut short after some of its rows: they are dropped, not kept twice.
        QTest::newRow("walk to the end cut short") << true << true << "ANAUTORID >= 'B10'" << "last row" << 20 << 6;
        QTest::newRow("exactly two sorted windows") << true << true << "ANAUTORID >= 'B26'" << "" << 4 << 0;
        QTest::newRow("few matches sorted") << true << true << "ANAUTORID >= 'B28'" << "last row" << 2 << ample;
        QTest::newRow("no match") << true << true << "ANAUTORID = 'X'" << "" << 0 << ample;
    }

    void windowsShowWhatTheFileShows()
    {
        QFETCH(bool, ordered);
        QFETCH(bool, german);
        QFETCH(QString, filter);
        QFETCH(QString, first);
        QFETCH(int, count);
        QFETCH(int, walkSteps);
        Authors a;
        db::RowSet::setWindows({2, 3, walkSteps});
        a.connection->execute("DELETE FROM AUTOREN");
        const QVariantList names{QVariant(), "", "zorn", "Zorn", "Ärger", "abel", "Öl", "Zorn", "Abel"};
        for (int i = 0; i < 30; ++i)
            a.connection->execute("INSERT INTO AUTOREN (ANAUTORID, ANNAME) VALUES (?, ?)",
                                  {QString("B%1").arg(i, 2, 10, QChar('0')), names[i % names.size()]});
        RowSet::Definition d;
        d.component = "tblAutoren";
        d.table = "AUTOREN";
        d.columns = QStringList{"ANAUTORID", "ANNAME"};
        if (ordered)
            d.order = {{"ANNAME", true}};
        d.germanNames = german;
        d.orderIndex = german ? "NKANNAME" : "";
        d.filter = {filter, {}, {}};
        a.rows.define(d);
        a.rows.read();
        const QStringList expected = a.readWhole();
        QCOMPARE(expected.size(), count);
        QCOMPARE(a.rows.count(), count);
        const int last = count - 1;
        if (first == "last row")
            QCOMPARE(a.rows.row(last).value(0).toString(), expected.value(last));
        else if (first == "locate last")
            QCOMPARE(a.positionOfAuthor(expected.last()), last);
        else if (first == "position of last")
            QCOMPARE(a.rows.positionOf(a.storedId(expected.last())), last);
        QCOMPARE(a.idsShown(), expected);
        for (int i = 0; i < count; ++i)
            QCOMPARE(a.rows.positionOf(a.rows.idAt(i)), i);
        QCOMPARE(a.rows.positionOf(a.storedId("B00")), expected.indexOf("B00"));
    }

    // Changes beyond the windows read so far: a posted row shows once, where
    // it was posted; a deleted one leaves; a frozen walk meets a row that
    // moved ahead once, where it stood.
    void changesBeyondTheWindowsRead_data()
    {
        QTest::addColumn<QString>("change");
        QTest::newRow("posted into the read part") << "insert";
        QTest::newRow("posted at the end") << "append";
        QTest::newRow("deleted beyond") << "erase";
        QTest::newRow("moved ahead, frozen") << "freeze";
    }

    void changesBeyondTheWindowsRead()
    {
        QFETCH(QString, change);
        Authors a;
        a.define(true, true, false);
        a.rows.read();
        QStringList expected = a.readWhole();
        if (change == "insert" || change == "append") {
            a.connection->execute("INSERT INTO AUTOREN (ANAUTORID, ANNAME) VALUES ('neu', 'Bach')");
            const int at = change == "insert" ? 1 : a.rows.count();
            a.rows.insert(at, a.storedId("neu"));
            expected.insert(at, "neu");
        } else if (change == "erase") {
            a.rows.erase(5);
            expected.removeAt(5);
        } else {
            a.rows.freeze();
            a.connection->execute("UPDATE AUTOREN SET ANNAME = 'Bach' WHERE ANAUTORID = ?", {expected.first()});
        }
        QCOMPARE(a.rows.count(), expected.size());
        QCOMPARE(a.idsShown(), expected);
    }

    // Positions move with a posted new row and a deleted one, whether they
    // were still found by scanning or already kept in the map.
    void positionsFollowInsertAndErase_data()
    {
        QTest::addColumn<int>("lookupsBefore");
        QTest::newRow("scanning") << 0;
        QTest::newRow("mapped") << 20;
    }

    void positionsFollowInsertAndErase()
    {
        QFETCH(int, lookupsBefore);
        Authors a;
        a.define(false, false, false);
        a.rows.read();
        const qint64 second = a.rows.idAt(1);
        const qint64 first = a.rows.idAt(0);
        for (int i = 0; i < lookupsBefore; ++i)
            a.rows.positionOf(a.rows.idAt(i % a.rows.count()));
        a.rows.insert(1, 4711);
        QCOMPARE(a.rows.count(), kIds.size() + 1);
        QCOMPARE(a.rows.positionOf(4711), 1);
        QCOMPARE(a.rows.positionOf(second), 2);
        for (int i = 0; i < lookupsBefore; ++i)
            a.rows.positionOf(a.rows.idAt(i % a.rows.count()));
        a.rows.erase(0);
        QCOMPARE(a.rows.positionOf(first), -1);
        QCOMPARE(a.rows.positionOf(4711), 0);
        QCOMPARE(a.rows.positionOf(second), 1);
        a.rows.read(); // the file knows nothing of 4711 and still has the first row
        QCOMPARE(a.idsShown(), kIds);
    }

    // The cache answers for rows read before until the set is told of a
    // change; a row deleted behind its back reads as nulls.
    void readCacheAcrossAChange_data()
    {
        QTest::addColumn<bool>("detail");
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("then");
        QTest::addColumn<QVariant>("expected");
        for (const bool detail : {false, true}) {
            const char* kind = detail ? "whole rows" : "ids first";
            const auto row = [&](const char* what) -> QTestData& { return QTest::addRow("%s, %s", kind, what); };
            row("changed, not told") << detail << "UPDATE" << "" << QVariant("A4");
            row("changed, forgotten") << detail << "UPDATE" << "forget" << QVariant("neu");
            row("changed, read again") << detail << "UPDATE" << "read" << QVariant("neu");
            row("deleted, forgotten") << detail << "DELETE" << "forget" << QVariant();
        }
    }

    void readCacheAcrossAChange()
    {
        QFETCH(bool, detail);
        QFETCH(QString, change);
        QFETCH(QString, then);
        QFETCH(QVariant, expected);
        Authors a;
        a.define(detail, false, detail);
        a.rows.setLinkValue("Zorn");
        a.rows.read();
        const int at = a.positionOfAuthor("A4");
        const qint64 id = a.rows.idAt(at);
        QCOMPARE(a.idsShown().at(at), QString("A4")); // read ahead with its neighbours
        if (change == "UPDATE")
            a.connection->execute("UPDATE AUTOREN SET ANAUTORID = 'neu' WHERE rowid = ?", {id});
        else
            a.connection->execute("DELETE FROM AUTOREN WHERE rowid = ?", {id});
        if (then == "forget")
            a.rows.forget(id);
        else if (then == "read")
            a.rows.read();
        const db::Row row = a.rows.row(at);
        QCOMPARE(row.size(), 2);
        QCOMPARE(row.value(0), expected);
    }

    // A walk saves rows under a frozen set: a row that moved is noticed, and
    // the set is read again only after the last thaw.
    void frozenSetIsReadAgainAfterTheLastThaw_data()
    {
        QTest::addColumn<int>("freezes");
        QTest::addColumn<int>("thaws");
        QTest::addColumn<bool>("moved");
        QTest::addColumn<bool>("stale");
        QTest::newRow("not frozen") << 0 << 0 << true << true;
        QTest::newRow("frozen") << 1 << 0 << true << false;
        QTest::newRow("thawed") << 1 << 1 << true << true;
        QTest::newRow("thawed, nothing moved") << 1 << 1 << false << false;
        QTest::newRow("nested, one thawed") << 2 << 1 << true << false;
        QTest::newRow("nested, both thawed") << 2 << 2 << true << true;
        QTest::newRow("thawed once too often") << 1 << 2 << true << true;
    }

    void frozenSetIsReadAgainAfterTheLastThaw()
    {
        QFETCH(int, freezes);
        QFETCH(int, thaws);
        QFETCH(bool, moved);
        QFETCH(bool, stale);
        Authors a;
        a.define(true, true, false);
        a.rows.read();
        for (int i = 0; i < freezes; ++i)
            a.rows.freeze();
        if (moved)
            a.rows.rowMayHaveMoved();
        for (int i = 0; i < thaws; ++i)
            a.rows.thaw();
        QCOMPARE(a.rows.stale(), stale);
        QCOMPARE(a.rows.frozen(), freezes > thaws);
    }

    // The row posted last stays shown where the user stands, though it left
    // the filter, as long as it is stored and the user stays on it.
    void pinnedRowStaysShown_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("asked");
        QTest::addColumn<int>("near");
        QTest::addColumn<int>("position");
        QTest::addColumn<int>("count");
        QTest::newRow("left the filter") << "UPDATE" << "A2" << 3 << 3 << 7;
        QTest::newRow("near past the end") << "UPDATE" << "A2" << 100 << 6 << 7;
        QTest::newRow("deleted") << "DELETE" << "A2" << 3 << -1 << 6;
        QTest::newRow("another row asked") << "UPDATE" << "A3" << 3 << 1 << 6;
    }

    void pinnedRowStaysShown()
    {
        QFETCH(QString, change);
        QFETCH(QString, asked);
        QFETCH(int, near);
        QFETCH(int, position);
        QFETCH(int, count);
        Authors a;
        a.define(false, false, false, {"ANNAME <> ?", {"weg"}, {}});
        a.rows.read();
        const qint64 pinned = a.rowIdOf("A2");
        const qint64 askedId = a.rowIdOf(asked);
        a.rows.pin(pinned);
        if (change == "UPDATE")
            a.connection->execute("UPDATE AUTOREN SET ANNAME = 'weg' WHERE rowid = ?", {pinned});
        else
            a.connection->execute("DELETE FROM AUTOREN WHERE rowid = ?", {pinned});
        a.rows.read();
        QCOMPARE(a.rows.positionAfterRead(askedId, near), position);
        QCOMPARE(a.rows.count(), count);
        if (position >= 0)
            QCOMPARE(a.rows.idAt(position), askedId);
        QCOMPARE(a.rows.pinned(), asked == "A2" ? pinned : qint64(-1));
    }
};

QTEST_GUILESS_MAIN(TestRowSet)
#include "tst_rowset.moc"
