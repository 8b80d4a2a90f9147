#include "Bench.h"

#include "app/ComicForm.h"
#include "catalogue/OverviewPage.h"
#include "database/GermanOrder.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QLineEdit>
#include <QRadioButton>
#include <sqlite3.h>
#include <algorithm>
#include <stdexcept>
#include <vector>

// The overview's worst cases: every order it offers against filters, searches
// and switches whose matches are many and lie late in that order, from the
// boxes to the painted list, beside SQLite answering the same question with
// a plan of its own choosing.

namespace bench {

namespace {

struct Order {
    const char* name;
    int column; // the grid's column whose title selects it
    QString terms;
};

QString key(const char* field)
{
    return db::germanKeyColumn(QLatin1String(field));
}

const Order kOrders[] = {
    {"series", 1, key("SCLSERIENTEXT") + QStringLiteral(",SCLBAND,rowid")},
    {"title", 0, key("SCLTITEL1") + QStringLiteral(",rowid")},
    {"publisher", 3, key("SCLVERLAGTEXT") + QLatin1Char(',') + key("SCLSERIENTEXT") + QStringLiteral(",SCLBAND,rowid")},
    {"ISBN", 4, QStringLiteral("SCLINTISBNNR COLLATE NOCASE,rowid")},
};

// What the user sets on the page.
struct Case {
    QString name;
    QString title, series, publisher, isbn, search;
    bool missing = false;
    bool own = false;
    // The same condition for raw SQLite; the program's folding is registered on its connection.
    QString where;
};

QString prefixCondition(const char* field, const QString& typed)
{
    const QString folded = db::searchKey(typed);
    return QStringLiteral("(%1 >= %2 AND %1 < %3)")
        .arg(key(field), db::sqlText(folded), db::sqlText(folded + QString::fromUcs4(U"\U0010FFFF", 1)));
}

QString searchCondition(const QString& word)
{
    const QString folded = db::searchKey(word);
    if (folded.size() < 3)
        return QStringLiteral("rowid IN (SELECT rowid FROM SUCHINDEX WHERE SUCHTEXT LIKE %1)")
            .arg(db::sqlText(QLatin1Char('%') + folded + QLatin1Char('%')));
    return QStringLiteral("rowid IN (SELECT rowid FROM SUCHINDEX WHERE SUCHINDEX MATCH %1)")
        .arg(db::sqlText(QLatin1Char('"') + folded + QLatin1Char('"')));
}

const QString kMissing = QStringLiteral("(SCLFEHLT = 1 OR SCLZUKAUFEN = 1)");

qint64 scalar(sqlite3* db, const QString& sql)
{
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &s, nullptr) != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(db));
    const qint64 n = sqlite3_step(s) == SQLITE_ROW ? sqlite3_column_int64(s, 0) : -1;
    sqlite3_finalize(s);
    return n;
}

QStringList texts(sqlite3* db, const QString& sql)
{
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &s, nullptr) != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(db));
    QStringList all;
    while (sqlite3_step(s) == SQLITE_ROW)
        all << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
    sqlite3_finalize(s);
    return all;
}

// How many entries of the order's index a walk reads before its first
// window of 256 matches is full; a filter on the order's own first field
// starts the walk at its first match.
qint64 walkLength(sqlite3* db, const Order& order, const QString& where, const char* field)
{
    const QString firstTerm = order.terms.section(QLatin1Char(','), 0, 0);
    const auto nth = [&](int offset) {
        return QStringLiteral("(SELECT %1 FROM SERVERSTRIPOTHEK WHERE %2 ORDER BY +%3 LIMIT 1 OFFSET %4)")
            .arg(firstTerm, where, order.terms)
            .arg(offset);
    };
    QString range = QStringLiteral("%1 < %2").arg(firstTerm, nth(255));
    if (field && firstTerm == key(field))
        range += QStringLiteral(" AND %1 >= %2").arg(firstTerm, nth(0));
    return scalar(db, QStringLiteral("SELECT count(*) FROM SERVERSTRIPOTHEK WHERE ") + range);
}

// SQLite's own plan for what the overview shows first: the matches counted,
// the first window of ids in order, one screen of rows.
void rawOverview(sqlite3* db, const Order& order, const QString& where)
{
    const QString condition = where.isEmpty() ? QString() : QStringLiteral(" WHERE ") + where;
    scalar(db, QStringLiteral("SELECT count(*) FROM SERVERSTRIPOTHEK") + condition);
    sqlite3_stmt* s = nullptr;
    const QString sql = QStringLiteral("SELECT rowid FROM SERVERSTRIPOTHEK") + condition + QStringLiteral(" ORDER BY ") +
                        order.terms + QStringLiteral(" LIMIT 256");
    if (sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &s, nullptr) != SQLITE_OK)
        throw std::runtime_error(sqlite3_errmsg(db));
    QStringList screen;
    while (sqlite3_step(s) == SQLITE_ROW)
        if (screen.size() < 40)
            screen << QString::number(sqlite3_column_int64(s, 0));
    sqlite3_finalize(s);
    if (screen.isEmpty())
        return;
    rawCollectIds(db, QStringLiteral("SELECT rowid, ") + storedColumns(QStringLiteral("SERVERSTRIPOTHEK")) +
                          QStringLiteral(" FROM SERVERSTRIPOTHEK WHERE rowid IN (%1)").arg(screen.join(QLatin1Char(','))));
}

// Names' first words and search words with more matches than a filter sorts
// at once, each with the order whose walk it makes longest.
struct Candidate {
    Case c;
    qint64 matches = 0;
    qint64 walk = 0;
    const Order* order = nullptr;
};

void considerWorst(sqlite3* db, Candidate& worst, const Case& c, qint64 matches, const char* field)
{
    for (const Order& order : kOrders) {
        const qint64 walk = walkLength(db, order, c.where, field);
        if (walk > worst.walk)
            worst = {c, matches, walk, &order};
    }
}

QStringList firstWords(sqlite3* db, const char* field, int atLeast)
{
    return texts(db, QStringLiteral("SELECT w FROM (SELECT substr(%1, 1, instr(%1 || ' ', ' ') - 1) w, count(*) n "
                                    "FROM SERVERSTRIPOTHEK GROUP BY w) WHERE n > %2 AND length(w) >= 3 ORDER BY n DESC LIMIT 40")
                         .arg(QLatin1String(field))
                         .arg(atLeast));
}

} // namespace

void runOverviewBench(const QString& dir, const QString& only, Report& report)
{
    const QString file = dir + QStringLiteral("/database/stripothek.db");
    sqlite3* raw = nullptr;
    sqlite3_open_v2(file.toUtf8().constData(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    rawExec(raw, "PRAGMA cache_size=-16384");
    db::addGermanOrderFunctions(raw);
    const int many = 16384;

    std::vector<Case> cases;
    const auto add = [&](Case c) {
        QStringList where;
        if (!c.title.isEmpty())
            where << prefixCondition("SCLTITEL1", c.title);
        if (!c.series.isEmpty())
            where << prefixCondition("SCLSERIENTEXT", c.series);
        if (!c.publisher.isEmpty())
            where << prefixCondition("SCLVERLAGTEXT", c.publisher);
        if (!c.isbn.isEmpty())
            where << QStringLiteral("stfold(SCLISBNNR) LIKE %1").arg(db::sqlText(c.isbn + QLatin1Char('%')));
        if (c.missing)
            where << kMissing;
        if (!c.search.isEmpty())
            where << searchCondition(c.search);
        c.where = where.join(QStringLiteral(" AND "));
        cases.push_back(c);
    };
    const auto make = [](const char* name, QString Case::*box = nullptr, const char* text = "", bool missing = false,
                         bool own = false) {
        Case c;
        c.name = QString::fromUtf8(name);
        if (box)
            c.*box = QString::fromUtf8(text);
        c.missing = missing;
        c.own = own;
        return c;
    };
    add(make("nothing"));
    add(make("switch \"missing\"", nullptr, "", true));
    add(make("switch \"own\"", nullptr, "", false, true));
    add(make("ISBN \"978\"", &Case::isbn, "978"));
    add(make("ISBN \"3-\" and \"missing\"", &Case::isbn, "3-", true));
    add(make("search \"der\"", &Case::search, "der"));
    add(make("search \"er\" (two letters)", &Case::search, "er"));
    add(make("search \"qx\" (two letters, none)", &Case::search, "qx"));
    add(make("search \"der\" and \"missing\"", &Case::search, "der", true));

    // The worst of each box and of the search, found by the walk they cause.
    struct Box {
        const char* name;
        const char* field;
        QString Case::*text;
    };
    const Box boxes[] = {{"title", "SCLTITEL1", &Case::title},
                         {"series", "SCLSERIENTEXT", &Case::series},
                         {"publisher", "SCLVERLAGTEXT", &Case::publisher}};
    QStringList searchWords;
    for (const Box& box : boxes) {
        Candidate worst;
        for (const QString& word : firstWords(raw, box.field, many / 4)) {
            searchWords << word;
            Case c;
            c.*box.text = word;
            c.where = prefixCondition(box.field, word);
            const qint64 matches = scalar(raw, QStringLiteral("SELECT count(*) FROM SERVERSTRIPOTHEK WHERE ") + c.where);
            if (matches > many)
                considerWorst(raw, worst, c, matches, box.field);
        }
        if (worst.order) {
            Case c = worst.c;
            c.name = QStringLiteral("%1 \"%2\" (%3 matches, walk %4, worst in %5 order)")
                         .arg(QLatin1String(box.name), c.*box.text)
                         .arg(worst.matches)
                         .arg(worst.walk)
                         .arg(QLatin1String(worst.order->name));
            add(c);
        }
    }
    {
        Candidate worst;
        searchWords.removeDuplicates();
        for (const QString& word : std::as_const(searchWords)) {
            Case c;
            c.search = word;
            c.where = searchCondition(word);
            const qint64 matches = scalar(raw, QStringLiteral("SELECT count(*) FROM SERVERSTRIPOTHEK WHERE ") + c.where);
            if (matches > many)
                considerWorst(raw, worst, c, matches, nullptr);
        }
        if (worst.order) {
            Case c = worst.c;
            c.name = QStringLiteral("search \"%1\" (%2 matches, walk %3, worst in %4 order)")
                         .arg(c.search)
                         .arg(worst.matches)
                         .arg(worst.walk)
                         .arg(QLatin1String(worst.order->name));
            add(c);
            Case both = worst.c;
            both.missing = true;
            both.name = QStringLiteral("search \"%1\" and \"missing\"").arg(c.search);
            add(both);
        }
    }

    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir);
    {
        TComicForm form;
        form.show();
        QApplication::processEvents();
        auto* page = form.findChild<TOverviewPage*>();
        auto* grid = form.findChild<QAbstractItemView*>(QStringLiteral("dbgListe"));
        const auto box = [&](const char* name) { return form.findChild<QLineEdit*>(QLatin1String(name)); };
        const auto option = [&](const char* name) { return form.findChild<QRadioButton*>(QLatin1String(name)); };
        QLineEdit* title = box("editSrchTitel");
        QLineEdit* series = box("editSrchSerie");
        QLineEdit* publisher = box("editSrchVerlag");
        QLineEdit* isbn = box("editSrchISBN");
        QLineEdit* search = box("editSuche");
        QRadioButton* all = option("rbShowAll");
        QRadioButton* missing = option("rbShowToBuy");
        QRadioButton* own = option("rbShowOwner");
        if (!page || !grid || !title || !series || !publisher || !isbn || !search || !all || !missing || !own)
            throw std::runtime_error("Übersicht unvollständig");
        // The option buttons apply the filter themselves; the boxes wait for it.
        const auto set = [&](const Case& c) {
            title->setText(c.title);
            series->setText(c.series);
            publisher->setText(c.publisher);
            isbn->setText(c.isbn);
            search->setText(c.search);
            QRadioButton* chosen = c.missing ? missing : c.own ? own : all;
            if (!chosen->isChecked())
                chosen->setChecked(true);
            else
                page->ApplyOverviewFilter();
            grid->viewport()->repaint();
        };
        for (const Order& order : kOrders) {
            set(Case());
            page->dbgListeTitleClick(order.column);
            for (const Case& c : cases) {
                if (!c.name.contains(only))
                    continue;
                double best = 1e12;
                for (int run = 0; run < 3; ++run) {
                    set(Case());
                    best = std::min(best, bestOf(1, [&] { set(c); }));
                }
                const double rawMs = bestOf(3, [&] { rawOverview(raw, order, c.where); });
                report.add(QStringLiteral("%1 order, %2").arg(QLatin1String(order.name), c.name), best, rawMs);
            }
        }
        // Orders switched and the list's end reached while the worst search is on.
        const Case& worst = cases.back();
        for (const Case& c : {cases[5], cases[8], worst}) {
            set(c);
            for (const Order& order : kOrders) {
                const double ms = bestOf(1, [&] {
                    page->dbgListeTitleClick(order.column);
                    grid->viewport()->repaint();
                });
                report.add(QStringLiteral("switch to %1 order under %2").arg(QLatin1String(order.name), c.name), ms,
                           bestOf(3, [&] { rawOverview(raw, order, c.where); }));
            }
        }
        for (const Case& c : {cases[5], worst}) {
            set(c);
            grid->setFocus();
            const double ms = bestOf(1, [&] {
                QKeyEvent end(QEvent::KeyPress, Qt::Key_End, Qt::ControlModifier);
                QApplication::sendEvent(grid, &end);
                grid->viewport()->repaint();
            });
            report.add(QStringLiteral("Ctrl+End in the list under %1").arg(c.name), ms, 0);
        }
        set(Case());
    }
    QDir::setCurrent(previous);
    sqlite3_close_v2(raw);
}

} // namespace bench
