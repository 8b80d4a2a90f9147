#include "database/SearchIndex.h"

#include "core/Errors.h"
#include "database/GermanOrder.h"
#include "database/Schema.h"
#include "database/Statement.h"

#include <QRegularExpression>

#include <sqlite3.h>

#include <span>

namespace db::search {

namespace {

const QString kIndex = QStringLiteral("SUCHINDEX");
// The view that gives each volume's folded text: ID (the catalogue's rowid),
// SCHLUESSEL (its key) and SUCHTEXT.
const QString kText = QStringLiteral("SUCHTEXT");

// Between two texts of a volume; searches never hold control characters.
const QString kSeparator = QStringLiteral("char(31)");

// The catalogue's own texts, in the order they stand in a volume's text.
const QStringList kCatalogueTexts = {QStringLiteral("SCLTITEL1"),     QStringLiteral("SCLTITEL2"),
                                     QStringLiteral("SCLTITEL3"),     QStringLiteral("SCLSERIENTEXT"),
                                     QStringLiteral("SCLVERLAGTEXT"), QStringLiteral("SCLISBNNR"),
                                     QStringLiteral("SCLBEMERKUNG"),  QStringLiteral("SCLINHALT")};

// What separates the groups of an ISBN as people type it; what is left is
// its digits and X, as a search for an ISBN looks for it.
const QStringList kIsbnPunctuation = {QStringLiteral("-"),      QStringLiteral(" "),      QStringLiteral("."),
                                      QStringLiteral("/"),      QStringLiteral("_"),      QStringLiteral(":"),
                                      QStringLiteral(","),      QStringLiteral("\u2010"), QStringLiteral("\u2011"),
                                      QStringLiteral("\u2012"), QStringLiteral("\u2013"), QStringLiteral("\u2014"),
                                      QStringLiteral("\u2212")};

// Replacements per view: SQLite's parser nests calls only about 27 deep.
constexpr qsizetype kPerView = 24;

QString replaced(QString expression, std::span<const FoldedCharacter> folds)
{
    for (const FoldedCharacter& f : folds)
        expression = QStringLiteral("replace(%1,%2,%3)").arg(expression, sqlText(f.character), sqlText(f.base));
    return expression;
}

// The same comic key, as the detail tables link to it: the index on the key
// ignores case, the link does not.
QString sameKey(const QString& a, const QString& b)
{
    return QStringLiteral("%1 = %2 COLLATE NOCASE AND %1 = %2").arg(a, b);
}

QString rawTextSql()
{
    QString isbn = QStringLiteral("s.SCLISBNNR");
    for (const QString& p : kIsbnPunctuation)
        isbn = QStringLiteral("replace(%1,%2,'')").arg(isbn, sqlText(p));
    QStringList parts;
    for (const QString& field : kCatalogueTexts)
        parts << (field == QLatin1String("SCLISBNNR") ? QStringLiteral("coalesce(%1,'')").arg(isbn)
                                                      : QStringLiteral("coalesce(s.%1,'')").arg(field));
    parts << QStringLiteral("coalesce((SELECT group_concat(a.ANNAME,%1) FROM COMIC2AUTOR c JOIN AUTOREN a ON %2"
                            " WHERE %3),'')")
                 .arg(kSeparator, sameKey(QStringLiteral("a.ANAUTORID"), QStringLiteral("c.C2AAUTORID")),
                      sameKey(QStringLiteral("c.C2ACOMICID"), QStringLiteral("s.SCLCOMICID")));
    parts << QStringLiteral("coalesce((SELECT group_concat(coalesce(l.LCLLAGERPLATZ,'')||%1||coalesce(l.LCLBEMERKUNG,''),"
                            "%1) FROM LOKALESTRIPOTHEK l WHERE %2),'')")
                 .arg(kSeparator, sameKey(QStringLiteral("l.LCLSERVERCOMICID"), QStringLiteral("s.SCLCOMICID")));
    // Line breaks and tabs of the memos read as blanks, as a search box has them.
    QString text = parts.join(QLatin1String("||") + kSeparator + QLatin1String("||"));
    for (const char* from : {"char(13)||char(10)", "char(13)", "char(10)", "char(9)"})
        text = QStringLiteral("replace(%1,%2,' ')").arg(text, QLatin1String(from));
    return text;
}

QString viewName(int step)
{
    return kText + QLatin1Char('_') + QString::number(step);
}

// Beyond the umlauts, the letters most frequent in a German collection:
// those of French names first, then of Spanish, Scandinavian, Polish and
// Turkish ones. Each group is a view's worth of replacements.
const QString kFrench = QStringLiteral("éèêëàâçîïôûùœÉÈÊÀÂÇÎÔÛŒá");
const QString kEuropean = QStringLiteral("íóúñãõøåÅØÍÓÚÑæÆłŁšŠčśşı");

// The folding, a chain of views: the parser's nesting limit allows no more
// replacements in one expression. SQLite puts the views together into one
// expression, where each mention of a column of the view before is that
// column's whole expression again; json_each hands a text on as a value
// instead, so the volume's text is computed once, and so is each fold of
// a frequent group of letters, only where the text still has a character
// beyond ASCII. The rare letters pass through the rest of the chain as
// null unless the text still has one.
QStringList viewsSql()
{
    QList<FoldedCharacter> french;
    QList<FoldedCharacter> european;
    QList<FoldedCharacter> other;
    for (const FoldedCharacter& f : germanFoldsOther())
        (kFrench.contains(f.character) ? french : kEuropean.contains(f.character) ? european : other) << f;
    // Whether a text has a character beyond ASCII: then it has more bytes
    // than characters. Much cheaper than a GLOB over the text.
    const auto beyondAscii = [](const QString& column) {
        return QStringLiteral("length(%1) < length(CAST(%1 AS BLOB))").arg(column);
    };
    QStringList views;
    views << QStringLiteral("CREATE VIEW %1 (ID, SCHLUESSEL, TEXT) AS SELECT s.rowid, s.SCLCOMICID, j.value"
                            " FROM SERVERSTRIPOTHEK s, json_each(json_array(%2)) j")
                 .arg(viewName(0), rawTextSql());
    int step = 1;
    for (const QList<FoldedCharacter>& folds : {germanFoldsCommon(), french, european}) {
        views << QStringLiteral("CREATE VIEW %1 (ID, SCHLUESSEL, TEXT) AS SELECT p.ID, p.SCHLUESSEL, j.value"
                                " FROM %2 p, json_each(json_array(CASE WHEN %3 THEN %4 ELSE p.TEXT END)) j")
                     .arg(viewName(step), viewName(step - 1), beyondAscii(QStringLiteral("p.TEXT")),
                          replaced(QStringLiteral("p.TEXT"), folds));
        ++step;
    }
    for (qsizetype done = 0; done < other.size(); done += kPerView, ++step) {
        const auto chunk = std::span(other).subspan(done, std::min(kPerView, other.size() - done));
        const QString from = done == 0 ? QStringLiteral("CASE WHEN %1 THEN TEXT END").arg(beyondAscii(QStringLiteral("TEXT")))
                                       : QStringLiteral("REST");
        views << QStringLiteral("CREATE VIEW %1 (ID, SCHLUESSEL, TEXT, REST) AS SELECT ID, SCHLUESSEL, TEXT, %2 FROM %3")
                     .arg(viewName(step), replaced(from, chunk), viewName(step - 1));
    }
    views << QStringLiteral("CREATE VIEW %1 (ID, SCHLUESSEL, SUCHTEXT) AS SELECT ID, SCHLUESSEL,"
                            " upper(coalesce(REST, TEXT)) FROM %2")
                 .arg(kText, viewName(step - 1));
    return views;
}

// The volumes whose index rows wait to be written anew. Without a key: a
// volume noted twice costs nothing, while a uniqueness conflict would obey
// the conflict clause of whatever statement fired the trigger.
const QString kPending = QStringLiteral("SUCHE_OFFEN");

QString volumesWithKey(const QString& key)
{
    return QStringLiteral("SELECT rowid FROM SERVERSTRIPOTHEK WHERE %1").arg(sameKey(QStringLiteral("SCLCOMICID"), key));
}

QString volumesWithKeys(const QString& field)
{
    return volumesWithKey(QStringLiteral("old.") + field) + QStringLiteral(" UNION ") +
           volumesWithKey(QStringLiteral("new.") + field);
}

QString volumesOfAuthor(const QString& author)
{
    return QStringLiteral("SELECT s.rowid FROM COMIC2AUTOR c JOIN SERVERSTRIPOTHEK s ON %1 WHERE c.C2AAUTORID = %2")
        .arg(sameKey(QStringLiteral("s.SCLCOMICID"), QStringLiteral("c.C2ACOMICID")), author);
}

// The rowid of the index's last row; 0 while it is empty.
QString lastIndexedSql()
{
    return QStringLiteral("coalesce((SELECT rowid FROM %1 ORDER BY rowid DESC LIMIT 1), 0)").arg(kIndex);
}

// The volumes whose index rows may be stale or missing: those noted and
// those appended after the index's last row.
QString waiting(const QString& lastIndexed = {})
{
    const QString last = lastIndexed.isEmpty() ? lastIndexedSql() : lastIndexed;
    return QStringLiteral("SELECT ID FROM %1 UNION ALL SELECT rowid FROM SERVERSTRIPOTHEK WHERE rowid > %2")
        .arg(kPending, last);
}

QString trigger(const QString& name, const QString& event, const QString& table, const QString& volumes)
{
    return QStringLiteral("CREATE TRIGGER SUCHE_%1 AFTER %2 ON %3 BEGIN INSERT INTO %4 (ID) %5; END")
        .arg(name, event, table, kPending, volumes);
}

QStringList triggersSql()
{
    QStringList catalogueColumns = kCatalogueTexts;
    catalogueColumns.prepend(QStringLiteral("SCLCOMICID"));
    QStringList triggers;
    // No trigger on a new volume: any trigger on a table makes each insert
    // into it keep a statement journal, which costs more than the row. A
    // volume after the index's last row waits by its rowid alone (waiting).
    // A deleted volume is noted: its index row must not be found any more,
    // and the next volume appended may get its rowid.
    triggers << trigger(QStringLiteral("KATALOG_GEAENDERT"),
                        QStringLiteral("UPDATE OF ") + catalogueColumns.join(QStringLiteral(", ")),
                        QStringLiteral("SERVERSTRIPOTHEK"), QStringLiteral("SELECT old.rowid UNION SELECT new.rowid"));
    triggers << trigger(QStringLiteral("KATALOG_GELOESCHT"), QStringLiteral("DELETE"),
                        QStringLiteral("SERVERSTRIPOTHEK"), QStringLiteral("VALUES (old.rowid)"));
    const struct {
        const char* name;
        const char* table;
        const char* link;
        const char* columns; // those an update must change to matter
    } details[] = {
        {"AUTOR", "COMIC2AUTOR", "C2ACOMICID", "C2ACOMICID, C2AAUTORID"},
        {"EXEMPLAR", "LOKALESTRIPOTHEK", "LCLSERVERCOMICID", "LCLSERVERCOMICID, LCLLAGERPLATZ, LCLBEMERKUNG"},
    };
    for (const auto& d : details) {
        const QString name = QString::fromLatin1(d.name);
        const QString table = QString::fromLatin1(d.table);
        const QString link = QString::fromLatin1(d.link);
        triggers << trigger(name + QStringLiteral("_NEU"), QStringLiteral("INSERT"), table,
                            volumesWithKey(QStringLiteral("new.") + link));
        triggers << trigger(name + QStringLiteral("_GEAENDERT"),
                            QStringLiteral("UPDATE OF ") + QLatin1String(d.columns), table, volumesWithKeys(link));
        triggers << trigger(name + QStringLiteral("_GELOESCHT"), QStringLiteral("DELETE"), table,
                            volumesWithKey(QStringLiteral("old.") + link));
    }
    // A renamed author changes the text of every volume of theirs; so may
    // one added under a key that assignments already name.
    triggers << trigger(QStringLiteral("NAME_NEU"), QStringLiteral("INSERT"), QStringLiteral("AUTOREN"),
                        volumesOfAuthor(QStringLiteral("new.ANAUTORID")));
    triggers << trigger(QStringLiteral("NAME_GEAENDERT"), QStringLiteral("UPDATE OF ANAUTORID, ANNAME"),
                        QStringLiteral("AUTOREN"),
                        volumesOfAuthor(QStringLiteral("old.ANAUTORID")) + QStringLiteral(" UNION ") +
                            volumesOfAuthor(QStringLiteral("new.ANAUTORID")));
    triggers << trigger(QStringLiteral("NAME_GELOESCHT"), QStringLiteral("DELETE"), QStringLiteral("AUTOREN"),
                        volumesOfAuthor(QStringLiteral("old.ANAUTORID")));
    return triggers;
}

void exec(sqlite3* db, const QString& sql)
{
    Statement(db, sql).exec();
}

// The names of the file's search objects: the index table, views, triggers.
QStringList storedObjects(sqlite3* db)
{
    Statement list(db, QStringLiteral("SELECT type || ' ' || name FROM sqlite_master WHERE (type = 'table' AND name IN"
                                      " (?1, ?2)) OR (type = 'view' AND name LIKE 'SUCHTEXT%') OR (type = 'trigger' AND"
                                      " name LIKE 'SUCHE\\_%' ESCAPE '\\')"));
    list.bindText(1, kIndex);
    list.bindText(2, kPending);
    QStringList names;
    while (list.step())
        names << list.column(0).toString();
    return names;
}

void dropAll(sqlite3* db)
{
    for (const QString& object : storedObjects(db))
        exec(db, QStringLiteral("DROP %1").arg(object));
}

} // namespace

QString notesTable()
{
    return kPending;
}

QStringList createSql()
{
    QStringList all;
    all << QStringLiteral("CREATE VIRTUAL TABLE %1 USING fts5(SUCHTEXT, tokenize = 'trigram case_sensitive 0',"
                          " columnsize = 0)")
               .arg(kIndex);
    all << QStringLiteral("CREATE TABLE %1 (ID INTEGER)").arg(kPending);
    all << viewsSql() << triggersSql();
    return all;
}

namespace {

// The volumes' texts as the index holds them. The program's own key function
// folds exactly as the chain of views does, in a tenth of the time: where a
// connection has it (every one of the program's), the index is written
// through it; the views stay for whatever reads the file without it.
QString indexedTexts(sqlite3* db)
{
    sqlite3_stmt* probe = nullptr;
    const bool own = sqlite3_prepare_v2(db, "SELECT stsort('')", -1, &probe, nullptr) == SQLITE_OK;
    sqlite3_finalize(probe);
    return own ? QStringLiteral("(SELECT ID, stsort(TEXT) AS SUCHTEXT FROM %1)").arg(viewName(0)) : kText;
}

} // namespace

void createSearchIndex(sqlite3* db, const Progress& progress)
{
    for (const QString& sql : createSql())
        exec(db, sql);
    const QString fill =
        QStringLiteral("INSERT INTO %1 (rowid, SUCHTEXT) SELECT ID, SUCHTEXT FROM %2").arg(kIndex, indexedTexts(db));
    if (!progress) {
        exec(db, fill);
        return;
    }
    // In slices of the row ids, so that the progress moves: a large
    // collection takes a while.
    Statement last(db, QStringLiteral("SELECT max(rowid) FROM SERVERSTRIPOTHEK"));
    last.step();
    const qint64 end = last.columnInt64(0);
    Statement slice(db, fill + QStringLiteral(" WHERE ID BETWEEN ?1 AND ?2"));
    constexpr qint64 kSlice = 2000;
    for (qint64 from = 1; from <= end; from += kSlice) {
        slice.bindInt64(1, from);
        slice.bindInt64(2, from + kSlice - 1);
        slice.exec();
        progress(int(std::min(end, from + kSlice - 1) * 100 / end));
    }
    progress(100);
}

bool hasSearchIndex(sqlite3* db)
{
    try {
        Statement find(db, QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?1"));
        find.bindText(1, kIndex);
        return find.step();
    } catch (const Error&) {
        return false;
    }
}

bool upgradeSearchIndex(sqlite3* db, const Progress& progress)
{
    try {
        Statement id(db, QStringLiteral("PRAGMA application_id"));
        if (!id.step() || id.column(0).toInt() != schema::kApplicationId)
            return false;
        // Every object as this version writes it: SQLite keeps the text as created.
        QStringList wanted = createSql();
        Statement stored(db, QStringLiteral("SELECT sql FROM sqlite_master WHERE sql = ?1"));
        bool current = storedObjects(db).size() == wanted.size();
        for (qsizetype i = 0; current && i < wanted.size(); ++i) {
            stored.bindText(1, wanted[i]);
            current = stored.step();
            stored.reset();
        }
        if (current)
            return false;
    } catch (const Error&) {
        return false; // a file that cannot answer: opening it reports why
    }
    return schema::upgradeInOneTransaction(db, [&] {
        dropAll(db);
        createSearchIndex(db, progress);
    });
}

QString normalizedSearch(const QString& typed)
{
    QString text = typed;
    for (QChar& c : text)
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char(' ');
    return text.simplified();
}

namespace {

// Digits, X and what separates an ISBN's groups, with a digit among them:
// the ISBN's digits and X, else empty.
QString isbnDigits(const QString& text)
{
    QString digits;
    for (const QChar c : text) {
        if (c.isDigit() && c.unicode() < 0x80)
            digits += c;
        else if (c == QLatin1Char('x') || c == QLatin1Char('X'))
            digits += QLatin1Char('X');
        else if (!c.isSpace() && !c.isPunct() && c.category() != QChar::Symbol_Math)
            return QString();
    }
    return digits.contains(QRegularExpression(QStringLiteral("[0-9]"))) ? digits : QString();
}

} // namespace

namespace {

// The parts of a search, any one of which makes a volume a match, with their
// values in order: first the index's answers, last the waiting volumes read
// from their folded texts. The two never hold the same volume.
CompiledFilter searchParts(const QString& typed, QStringList& fromIndex)
{
    const QString text = normalizedSearch(typed);
    CompiledFilter condition;
    if (text.isEmpty())
        return condition;
    QStringList wanted{searchKey(text)};
    const QString isbn = isbnDigits(text);
    if (!isbn.isEmpty() && !wanted.contains(isbn))
        wanted << isbn;
    // The index answers for every volume but the noted ones, whose index
    // rows may be stale or gone; those are read from the folding views.
    const QString notNoted = QStringLiteral(" AND rowid NOT IN (SELECT ID FROM %1)").arg(kPending);
    QStringList phrases;
    QStringList inText;
    QVariantList textParams;
    for (const QString& w : std::as_const(wanted)) {
        // The trigram index finds three characters or more; a shorter text
        // is looked for in the index's own copy of the texts.
        if (w.toUcs4().size() >= 3) {
            phrases << QLatin1Char('"') + QString(w).replace(QLatin1Char('"'), QStringLiteral("\"\"")) +
                           QLatin1Char('"');
            // The trigram index ignores the case of every letter, and only that.
            inText << QStringLiteral("instr(stcase(SUCHTEXT), ?) > 0");
            textParams << w;
        } else {
            const QString like = QLatin1Char('%') + escapeLike(w) + QLatin1Char('%');
            fromIndex << QStringLiteral("SELECT rowid FROM %1 WHERE SUCHTEXT LIKE ? ESCAPE '\\'%2")
                             .arg(kIndex, notNoted);
            condition.params << like;
            inText << QStringLiteral("SUCHTEXT LIKE ? ESCAPE '\\'");
            textParams << like;
        }
    }
    if (!phrases.isEmpty()) {
        fromIndex << QStringLiteral("SELECT rowid FROM %1 WHERE %1 MATCH ?%2").arg(kIndex, notNoted);
        condition.params << phrases.join(QStringLiteral(" OR "));
    }
    fromIndex << QStringLiteral("SELECT ID FROM %1 WHERE ID IN (%2) AND (%3)")
                     .arg(kText, waiting(), inText.join(QStringLiteral(" OR ")));
    condition.params << textParams;
    return condition;
}

} // namespace

CompiledFilter searchCondition(const QString& typed)
{
    QStringList fromIndex;
    CompiledFilter condition = searchParts(typed, fromIndex);
    if (fromIndex.isEmpty())
        return condition;
    condition.sql = QStringLiteral("rowid IN (%1)").arg(fromIndex.join(QStringLiteral(" UNION ALL ")));
    condition.fields = kCatalogueTexts;
    return condition;
}

QString searchCountSql(const QString& typed)
{
    QStringList fromIndex;
    searchParts(typed, fromIndex);
    // Two of the index's parts may both find one volume; only one part and
    // the waiting volumes can be counted apart and added.
    if (fromIndex.size() != 2)
        return QString();
    return QStringLiteral("SELECT (SELECT count(*) FROM (%1)) + (SELECT count(*) FROM (%2))")
        .arg(fromIndex[0], fromIndex[1]);
}

namespace {

bool hasPendingList(sqlite3* db)
{
    Statement find(db, QStringLiteral("SELECT 1 FROM main.sqlite_master WHERE type = 'table' AND name = ?1"));
    find.bindText(1, kPending);
    return find.step();
}

// The query of the volumes waiting now, empty when none is.
QString waitingNow(sqlite3* db)
{
    Statement last(db, QStringLiteral("SELECT ") + lastIndexedSql());
    last.step();
    const QString volumes = waiting(QString::number(last.columnInt64(0)));
    last.reset();
    Statement any(db, volumes + QStringLiteral(" LIMIT 1"));
    const bool some = any.step();
    any.reset();
    return some ? volumes : QString();
}

} // namespace

bool catchUp(sqlite3* db, const std::function<void()>& between)
{
    // A file whose index its triggers keep current themselves has no notes.
    if (!hasPendingList(db))
        return false;
    if (waitingNow(db).isEmpty())
        return false;
    // Outside a transaction a transaction of its own, so that a failing
    // commit leaves none open; inside the caller's a savepoint.
    const bool own = sqlite3_get_autocommit(db) != 0;
    exec(db, own ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("SAVEPOINT SUCHE_NACHFUEHREN"));
    try {
        // Read again inside the transaction: another Stripothek on the file may have caught up.
        const QString volumes = waitingNow(db);
        if (!volumes.isEmpty()) {
            // One statement each: SQLite's full-text index writes what a
            // statement gave it as a segment of its own when the next begins.
            exec(db, QStringLiteral("DELETE FROM %1 WHERE rowid IN (SELECT ID FROM %2)").arg(kIndex, kPending));
            const QString insert = QStringLiteral("INSERT INTO %1 (rowid, SUCHTEXT) SELECT ID, SUCHTEXT FROM %2 WHERE ID IN ")
                                       .arg(kIndex, indexedTexts(db));
            // Slices of 25,000 rowids: about a third of a second each, and
            // few segments for the index to merge.
            constexpr qint64 kSlice = 25000;
            Statement range(db, QStringLiteral("SELECT min(ID), max(ID) FROM (%1)").arg(volumes));
            range.step();
            const qint64 first = range.columnInt64(0), last = range.columnInt64(1);
            range.reset();
            if (!between || last - first < kSlice) {
                exec(db, insert + QStringLiteral("(%1)").arg(volumes));
            } else {
                // The range inside too: each slice then collects only its own volumes.
                Statement slice(db, insert + QStringLiteral("(SELECT ID FROM (%1) WHERE ID BETWEEN ?1 AND ?2) "
                                                            "AND ID BETWEEN ?1 AND ?2")
                                                 .arg(volumes));
                for (qint64 from = first; from <= last; from += kSlice) {
                    slice.bindInt64(1, from);
                    slice.bindInt64(2, std::min(last, from + kSlice - 1));
                    slice.exec();
                    between();
                }
            }
            exec(db, QStringLiteral("DELETE FROM %1").arg(kPending));
        }
        exec(db, own ? QStringLiteral("COMMIT") : QStringLiteral("RELEASE SUCHE_NACHFUEHREN"));
    } catch (const Error&) {
        try {
            if (!own) {
                exec(db, QStringLiteral("ROLLBACK TO SUCHE_NACHFUEHREN"));
                exec(db, QStringLiteral("RELEASE SUCHE_NACHFUEHREN"));
            } else if (sqlite3_get_autocommit(db) == 0) {
                exec(db, QStringLiteral("ROLLBACK"));
            }
        } catch (const Error&) {
        }
        throw;
    }
    return true;
}

void prepareSearch(sqlite3* db)
{
    try {
        if (!hasSearchIndex(db))
            return;
        if (!hasPendingList(db))
            exec(db, QStringLiteral("CREATE TEMP TABLE IF NOT EXISTS %1 (ID INTEGER)").arg(kPending));
        else if (sqlite3_db_readonly(db, "main") == 0)
            catchUp(db);
    } catch (const Error&) {
    }
}

} // namespace db::search
