#include "Bench.h"

#include "app/ComicForm.h"
#include "catalogue/OverviewPage.h"
#include "database/GermanOrder.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPaintEvent>
#include <QTableView>
#include <sqlite3.h>
#include <stdexcept>

namespace bench {

namespace {

// Notes when the overview grid has painted its rows.
class PaintWatch : public QObject {
public:
    bool painted = false;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            painted = true;
        return false;
    }
};

// The raw counterpart of showing the overview: open the file, read the row
// ids in series order and the rows of one screen.
void rawFirstScreen(const QString& file, const char* where)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(file.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    rawExec(db, "PRAGMA cache_size=-16384");
    const QString series = db::germanKeyColumn(QStringLiteral("SCLSERIENTEXT"));
    const QString order = where ? QStringLiteral(" ORDER BY +") + series + QStringLiteral(", SCLBAND, rowid")
                                : QStringLiteral(" ORDER BY ") + series + QStringLiteral(", SCLBAND, rowid");
    rawCollectIds(db, QStringLiteral("SELECT rowid FROM SERVERSTRIPOTHEK") +
                          (where ? QStringLiteral(" WHERE ") + QLatin1String(where) : QString()) + order);
    rawCollectIds(db, QStringLiteral("SELECT count(*) FROM SERVERSTRIPOTHEK"));
    sqlite3_stmt* s = nullptr;
    const QByteArray sql = (QStringLiteral("SELECT rowid, ") + storedColumns(QStringLiteral("SERVERSTRIPOTHEK")) +
                            QStringLiteral(" FROM SERVERSTRIPOTHEK") +
                            (where ? QStringLiteral(" WHERE ") + QLatin1String(where) : QString()) + order +
                            QStringLiteral(" LIMIT 40"))
                               .toUtf8();
    sqlite3_prepare_v2(db, sql.constData(), -1, &s, nullptr);
    while (sqlite3_step(s) == SQLITE_ROW)
        for (int c = 0; c < sqlite3_column_count(s); ++c)
            sqlite3_column_text(s, c);
    sqlite3_finalize(s);
    sqlite3_close_v2(db);
}

} // namespace

void runGuiBench(const QString& dir, Report& report)
{
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir);
    const QString file = dir + QStringLiteral("/database/stripothek.db");

    double startup = 0;
    {
        // The first run warms the file cache like the raw side's first run does.
        startup = bestOf(3, [&] {
            TComicForm form;
            auto* grid = form.findChild<QAbstractItemView*>(QStringLiteral("dbgListe"));
            if (!grid)
                throw std::runtime_error("dbgListe fehlt");
            PaintWatch watch;
            grid->viewport()->installEventFilter(&watch);
            form.show();
            while (!watch.painted)
                QApplication::processEvents();
        });
    }
    report.add(QStringLiteral("start-up to the painted overview"), startup,
               bestOf(3, [&] { rawFirstScreen(file, nullptr); }));

    TComicForm form;
    form.show();
    QApplication::processEvents();
    auto* page = form.findChild<TOverviewPage*>();
    auto* title = form.findChild<QLineEdit*>(QStringLiteral("editSrchTitel"));
    auto* grid = form.findChild<QAbstractItemView*>(QStringLiteral("dbgListe"));
    if (!page || !title || !grid)
        throw std::runtime_error("Übersicht unvollständig");
    const double filter = bestOf(5, [&] {
        title->setText(QString());
        page->ApplyOverviewFilter();
        title->setText(QStringLiteral("Die"));
        page->ApplyOverviewFilter();
        grid->viewport()->repaint();
    });
    report.add(QStringLiteral("filter and repaint the overview"), filter, bestOf(5, [&] {
                   rawFirstScreen(file, nullptr);
                   rawFirstScreen(file, "(SCLTITEL1_SORT >= 'DIE' AND SCLTITEL1_SORT < 'DIE' || char(1114111))");
               }));
    QDir::setCurrent(previous);
}

} // namespace bench
