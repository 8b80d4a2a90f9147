#include "Bench.h"

#include "app/ComicForm.h"
#include "catalogue/OverviewPage.h"
#include "database/GermanOrder.h"
#include "database/SearchIndex.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <sqlite3.h>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace bench {

namespace {

qint64 rawCount(sqlite3* db, const QString& sql, const QString& param = {})
{
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &s, nullptr) != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(db));
    const QByteArray p = param.toUtf8();
    if (sqlite3_bind_parameter_count(s) > 0)
        sqlite3_bind_text(s, 1, p.constData(), int(p.size()), SQLITE_TRANSIENT);
    const qint64 n = sqlite3_step(s) == SQLITE_ROW ? sqlite3_column_int64(s, 0) : -1;
    sqlite3_finalize(s);
    return n;
}

const QString kMatches = QStringLiteral("SELECT count(*) FROM SUCHINDEX WHERE SUCHINDEX MATCH ?");

// Of the candidates, the one whose number of matches comes nearest to
// wanted without passing limit: the generated collection's words grow with it.
QString pick(sqlite3* db, const QStringList& candidates, qint64 wanted, qint64 limit, qint64* found)
{
    QString best;
    qint64 bestCount = -1;
    for (const QString& c : candidates) {
        const qint64 n = rawCount(db, kMatches, QLatin1Char('"') + c + QLatin1Char('"'));
        if (n <= limit && (best.isEmpty() || std::llabs(n - wanted) < std::llabs(bestCount - wanted))) {
            best = c;
            bestCount = n;
        }
    }
    *found = bestCount;
    return best;
}

// The raw counterpart of a search in the overview: the ids of the matches
// in series order, then the rows of one screen.
void rawSearch(sqlite3* db, const QString& word)
{
    const QString condition = QStringLiteral(" WHERE rowid IN (SELECT rowid FROM SUCHINDEX WHERE SUCHINDEX MATCH ?)");
    const QString order = QStringLiteral(" ORDER BY +") + db::germanKeyColumn(QStringLiteral("SCLSERIENTEXT")) +
                          QStringLiteral(", SCLBAND, rowid");
    const QString phrase = QLatin1Char('"') + word + QLatin1Char('"');
    rawCollectIds(db, QStringLiteral("SELECT rowid FROM SERVERSTRIPOTHEK") + condition + order, phrase);
    sqlite3_stmt* s = nullptr;
    const QByteArray sql = (QStringLiteral("SELECT rowid, ") + storedColumns(QStringLiteral("SERVERSTRIPOTHEK")) +
                            QStringLiteral(" FROM SERVERSTRIPOTHEK") + condition + order + QStringLiteral(" LIMIT 40"))
                               .toUtf8();
    sqlite3_prepare_v2(db, sql.constData(), -1, &s, nullptr);
    const QByteArray p = phrase.toUtf8();
    sqlite3_bind_text(s, 1, p.constData(), int(p.size()), SQLITE_TRANSIENT);
    while (sqlite3_step(s) == SQLITE_ROW)
        for (int c = 0; c < sqlite3_column_count(s); ++c)
            sqlite3_column_text(s, c);
    sqlite3_finalize(s);
}

// Appends 1000 catalogue rows with titles, remarks and an author each, in
// one transaction, as an import or a script would.
double rawAppend(sqlite3* db, const QByteArray& prefix)
{
    return bestOf(1, [&] {
        rawExec(db, "BEGIN");
        sqlite3_stmt* volume = nullptr;
        sqlite3_stmt* author = nullptr;
        sqlite3_prepare_v2(db,
                           "INSERT INTO SERVERSTRIPOTHEK (SCLCOMICID, SCLTITEL1, SCLSERIENTEXT, SCLBAND, SCLISBNNR, "
                           "SCLBEMERKUNG) VALUES (?1, ?2, 'Die Abenteuer von Lotte Löwenherz', ?3, '3-551-12037-4', "
                           "'Erstausgabe, Rücken leicht berieben')",
                           -1, &volume, nullptr);
        sqlite3_prepare_v2(db,
                           "INSERT INTO COMIC2AUTOR (C2AID, C2AAUTORID, C2ACOMICID) SELECT ?1 || 'A', ANAUTORID, ?1 "
                           "FROM AUTOREN LIMIT 1",
                           -1, &author, nullptr);
        for (int i = 0; i < 1000; ++i) {
            const QByteArray id = (QString::fromLatin1(prefix) + QString::number(i)).toUtf8();
            const QByteArray title = QStringLiteral("Ärger in Dunkelstein %1").arg(i).toUtf8();
            sqlite3_bind_text(volume, 1, id.constData(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(volume, 2, title.constData(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_int(volume, 3, i);
            sqlite3_step(volume);
            sqlite3_reset(volume);
            sqlite3_bind_text(author, 1, id.constData(), -1, SQLITE_TRANSIENT);
            sqlite3_step(author);
            sqlite3_reset(author);
        }
        sqlite3_finalize(volume);
        sqlite3_finalize(author);
        rawExec(db, "COMMIT");
    });
}

// The same volumes, each in its own durable transaction, as the program
// posts a row.
double rawEach(sqlite3* db, const QByteArray& prefix)
{
    return bestOf(1, [&] {
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(db, "INSERT INTO SERVERSTRIPOTHEK (SCLCOMICID, SCLTITEL1, SCLBAND) VALUES (?1, ?2, ?3)", -1,
                           &s, nullptr);
        for (int i = 0; i < 1000; ++i) {
            const QByteArray id = (QString::fromLatin1(prefix) + QString::number(i)).toUtf8();
            const QByteArray title = QStringLiteral("Ärger in Dunkelstein %1").arg(i).toUtf8();
            sqlite3_bind_text(s, 1, id.constData(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(s, 2, title.constData(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_int(s, 3, i);
            sqlite3_step(s);
            sqlite3_reset(s);
        }
        sqlite3_finalize(s);
    });
}

// The matches of the program's search condition: with volumes noted as
// changed, those are read from their folded texts.
double conditionSearch(sqlite3* db, const QString& word)
{
    const db::CompiledFilter condition = db::search::searchCondition(word);
    const QByteArray sql = (QStringLiteral("SELECT count(*) FROM SERVERSTRIPOTHEK WHERE ") + condition.sql).toUtf8();
    return bestOf(5, [&] {
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(db, sql.constData(), -1, &s, nullptr) != SQLITE_OK)
            throw std::runtime_error(sqlite3_errmsg(db));
        for (int i = 0; i < condition.params.size(); ++i) {
            const QByteArray p = condition.params[i].toString().toUtf8();
            sqlite3_bind_text(s, i + 1, p.constData(), int(p.size()), SQLITE_TRANSIENT);
        }
        sqlite3_step(s);
        sqlite3_finalize(s);
    });
}

double catchUp(sqlite3* db)
{
    return bestOf(1, [&] { db::search::catchUp(db); });
}

} // namespace

void runSearchBench(const QString& dir, Report& report)
{
    const QString file = dir + QStringLiteral("/database/stripothek.db");
    sqlite3* raw = nullptr;
    sqlite3_open_v2(file.toUtf8().constData(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    rawExec(raw, "PRAGMA cache_size=-16384");
    const qint64 volumes = rawCount(raw, QStringLiteral("SELECT count(*) FROM SERVERSTRIPOTHEK"));
    qint64 fewCount = 0;
    qint64 thirdCount = 0;
    const QString few = pick(raw,
                             {QStringLiteral("HORN"), QStringLiteral("FEUE"), QStringLiteral("BURG"), QStringLiteral("INSE"),
                              QStringLiteral("HORNB"), QStringLiteral("WOLFS"),
                              // Four digits of an ISBN: the names of a million generated volumes repeat too often.
                              QStringLiteral("4711"), QStringLiteral("2718"), QStringLiteral("0815")},
                             1000, 1000, &fewCount);
    const QString third = pick(raw, {QStringLiteral("VON"), QStringLiteral("DER"), QStringLiteral("DIE"), QStringLiteral("UND")},
                               volumes / 3, volumes, &thirdCount);
    if (few.isEmpty() || third.isEmpty())
        throw std::runtime_error("keine passenden Suchwörter in dieser Sammlung");

    {
        const QString previous = QDir::currentPath();
        QDir::setCurrent(dir);
        TComicForm form;
        form.show();
        QApplication::processEvents();
        auto* page = form.findChild<TOverviewPage*>();
        auto* box = form.findChild<QLineEdit*>(QStringLiteral("editSuche"));
        auto* grid = form.findChild<QAbstractItemView*>(QStringLiteral("dbgListe"));
        if (!page || !box || !grid)
            throw std::runtime_error("Übersicht unvollständig");
        // From the whole list to the matches painted; clearing is not timed.
        const auto search = [&](const QString& word) {
            double best = std::numeric_limits<double>::max();
            for (int run = 0; run < 5; ++run) {
                box->clear();
                page->ApplySearch();
                grid->viewport()->repaint();
                best = std::min(best, bestOf(1, [&] {
                                    box->setText(word.toLower());
                                    page->ApplySearch();
                                    grid->viewport()->repaint();
                                }));
            }
            return best;
        };
        report.add(QStringLiteral("search \"%1\" (%2 of %3 volumes) to the painted overview")
                       .arg(few.toLower())
                       .arg(fewCount)
                       .arg(volumes),
                   search(few), bestOf(5, [&] { rawSearch(raw, few); }));
        report.add(QStringLiteral("search \"%1\" (%2 of %3 volumes) to the painted overview")
                       .arg(third.toLower())
                       .arg(thirdCount)
                       .arg(volumes),
                   search(third), bestOf(5, [&] { rawSearch(raw, third); }));
        QDir::setCurrent(previous);
    }

    const qint64 page = rawCount(raw, QStringLiteral("PRAGMA page_size"));
    const qint64 indexPages = rawCount(raw, QStringLiteral("SELECT count(*) FROM dbstat WHERE name LIKE 'SUCHINDEX%'"));
    const qint64 filePages = rawCount(raw, QStringLiteral("PRAGMA page_count"));
    report.addFigure(QStringLiteral("search index, MB"), indexPages * page / 1e6);
    report.addFigure(QStringLiteral("whole file with the index, MB"), filePages * page / 1e6);

    // The appends on a copy, once with the index's triggers and once without.
    QTemporaryDir copyDir;
    const QString copy = copyDir.path() + QStringLiteral("/stripothek.db");
    rawExec(raw, QStringLiteral("VACUUM INTO '%1'").arg(copy).toUtf8().constData());
    sqlite3_close_v2(raw);
    sqlite3* db = nullptr;
    sqlite3_open_v2(copy.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    rawExec(db, "PRAGMA journal_mode=WAL");
    rawExec(db, "PRAGMA synchronous=FULL");
    rawExec(db, "PRAGMA cache_size=-16384");
    db::addGermanOrderFunctions(db);
    // A first round reads the pages both rounds need into the cache.
    rawAppend(db, "WARM");
    catchUp(db);
    const double searchNone = conditionSearch(db, few);
    QList<QByteArray> triggers;
    {
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(db, "SELECT name, sql FROM sqlite_master WHERE type = 'trigger' AND name LIKE 'SUCHE%'", -1,
                           &s, nullptr);
        while (sqlite3_step(s) == SQLITE_ROW)
            triggers << QByteArray(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)))
                     << QByteArray(reinterpret_cast<const char*>(sqlite3_column_text(s, 1)));
        sqlite3_finalize(s);
    }
    const auto setTriggers = [&](bool on) {
        for (qsizetype i = 0; i < triggers.size(); i += 2)
            rawExec(db, on ? triggers[i + 1].constData() : ("DROP TRIGGER " + triggers[i]).constData());
    };
    // The best of three rounds, with and without the triggers in turn, as a
    // loaded machine spreads single runs; the index catches up after every
    // append, as the program would.
    constexpr int kRounds = 3;
    const double none = std::numeric_limits<double>::max();
    double withTriggers = none, catchUpOne = none, eachWith = none, catchUpEach = none, searchWaiting = none;
    double withoutTriggers = none, eachWithout = none;
    for (int round = 0; round < kRounds; ++round) {
        const QByteArray n = QByteArray::number(round);
        withTriggers = std::min(withTriggers, rawAppend(db, "MIT" + n));
        // What the waiting volumes cost a search until the program catches up.
        searchWaiting = std::min(searchWaiting, conditionSearch(db, few));
        catchUpOne = std::min(catchUpOne, catchUp(db));
        eachWith = std::min(eachWith, rawEach(db, "EMIT" + n));
        catchUpEach = std::min(catchUpEach, catchUp(db));
        setTriggers(false);
        withoutTriggers = std::min(withoutTriggers, rawAppend(db, "OHNE" + n));
        eachWithout = std::min(eachWithout, rawEach(db, "EOHNE" + n));
        setTriggers(true);
        catchUp(db);
    }
    sqlite3_close_v2(db);
    report.add(QStringLiteral("append 1000 volumes with an author in one transaction, with the search's triggers "
                              "(raw: without)"),
               withTriggers, withoutTriggers);
    report.add(QStringLiteral("append 1000 volumes, each in its own transaction, with the search's triggers (raw: "
                              "without)"),
               eachWith, eachWithout);
    report.add(QStringLiteral("the index catches up with the 1000 volumes with an author (raw: appending them without "
                              "the triggers)"),
               catchUpOne, withoutTriggers);
    report.add(QStringLiteral("the index catches up with the 1000 volumes appended one by one (raw: appending them "
                              "without the triggers)"),
               catchUpEach, eachWithout);
    report.add(QStringLiteral("count the matches of \"%1\" while 1000 volumes wait for the index (raw: none waiting)")
                   .arg(few.toLower()),
               searchWaiting, searchNone);
}

} // namespace bench
