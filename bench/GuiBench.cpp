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
#include <algorithm>
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
// ids as the engine does (the first window and the count), count the whole
// collection for the label, and read the rows of one screen by their ids.
void rawFirstScreen(const QString& file, const char* where)
{
    sqlite3* db = nullptr;
    sqlite3_open_v2(file.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
    rawExec(db, "PRAGMA cache_size=-16384");
    const QString table = QStringLiteral("SERVERSTRIPOTHEK");
    const QString order = db::germanKeyColumn(QStringLiteral("SCLSERIENTEXT")) + QStringLiteral(", SCLBAND, rowid");
    const std::vector<qint64> ids =
        rawFirstWindow(db, table, where ? QLatin1String(where) : QString(), order, QStringLiteral("NKSCLSERIENTEXT"));
    rawCollectIds(db, QStringLiteral("SELECT count(*) FROM SERVERSTRIPOTHEK"));
    const size_t screen = std::min(ids.size(), size_t(40));
    QStringList marks;
    for (size_t i = 0; i < screen; ++i)
        marks << QString::number(ids[i]);
    sqlite3_stmt* s = nullptr;
    const QByteArray sql = (QStringLiteral("SELECT rowid, ") + storedColumns(table) + QStringLiteral(" FROM ") + table +
                            QStringLiteral(" WHERE rowid IN (%1)").arg(marks.join(QLatin1Char(','))))
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
