#include "reports/ReportCommands.h"

#include "core/Command.h"
#include "core/Errors.h"
#include "covers/CoverStore.h"
#include "database/ComicData.h"
#include "reports/rptComicList.h"
#include "reports/rptComicMissing.h"
#include "reports/rptStammblatt.h"

#include <QDir>

namespace rpt {

namespace {
class CoverImages : public ImageSource {
public:
    explicit CoverImages(covers::CoverStore& store) : m_store(store) {}
    bool has(const QString& key) override { return m_store.has(key); }
    QImage image(const QString& key) override { return m_store.thumbnail(key); }

private:
    covers::CoverStore& m_store;
};

} // namespace

std::shared_ptr<ImageSource> coverImages(covers::CoverStore& store)
{
    return std::make_shared<CoverImages>(store);
}

QString noOwnCopiesMessage()
{
    return QStringLiteral("Es sind keine eigenen Comics vorhanden!");
}

void ShowMissingVolumes(ComicData& data, QWidget* owner)
{
    TRPTMissingComic form(owner);
    if (!form.gather(data)) {
        ui::showNote(noOwnCopiesMessage(), owner);
        return;
    }
    form.Preview(owner);
}

void ShowCollectionList(ComicData& data, QWidget* owner, covers::CoverStore* covers)
{
    TRPTListComic form(owner);
    if (covers)
        form.showCovers(coverImages(*covers));
    if (!form.gather(data.dbConnection())) {
        ui::showNote(noOwnCopiesMessage(), owner);
        return;
    }
    form.Preview(owner);
}

void ShowStammblatt(QWidget* owner, covers::CoverStore* covers, const QString& comicKey)
{
    if (!covers) {
        TRPTStammblatt form(owner);
        form.exec();
        return;
    }
    TRPTStammblatt form(owner, coverImages(*covers), comicKey);
    form.exec();
}

int WriteReportPdf(ReportKind kind, const QString& directory, const QString& pdfFile)
{
    ComicData data;
    data.dbConnection().setDatabasePath(QDir(directory).filePath(QStringLiteral("database")));
    // Opened as the program opens it, not read-only: the last connection to
    // close removes SQLite's files beside the database, and a read-only one
    // would leave them behind. Where the folder may not be written to, the
    // connection reads the file as it is all the same.
    if (kind == ReportKind::Missing) {
        data.OpenTables();
        TRPTMissingComic form;
        if (!form.gather(data))
            throw db::Error(noOwnCopiesMessage());
        return form.writePdf(pdfFile);
    }
    data.dbConnection().connect();
    TRPTListComic form;
    if (!form.gather(data.dbConnection()))
        throw db::Error(noOwnCopiesMessage());
    return form.writePdf(pdfFile);
}

} // namespace rpt
