#include "covers/CoverBuilder.h"

#include "core/Errors.h"
#include "covers/CoverFile.h"
#include "database/SqliteFailureText.h"
#include "database/Statement.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <sqlite3.h>

namespace covers {

namespace {

// The prefix the collection tools clear away after a killed run.
constexpr char kBuildingPrefix[] = ".stripothek-im-aufbau-titelbilder-";

} // namespace

struct CoverBuilder::Insert {
    db::Statement statement;
};

void CoverBuilder::refuseExisting(const QString& databaseFolder)
{
    const QString target = file::pathIn(databaseFolder);
    if (QFileInfo::exists(target))
        throw db::Error(QStringLiteral("Die Titelbilddatei „%1“ existiert bereits; sie wird nicht überschrieben")
                            .arg(QDir::toNativeSeparators(target)));
}

CoverBuilder::CoverBuilder(const QString& databaseFolder) : m_target(file::pathIn(databaseFolder))
{
    refuseExisting(databaseFolder);
}

CoverBuilder::~CoverBuilder()
{
    discard();
}

void CoverBuilder::discard() noexcept
{
    m_insert.reset();
    if (m_db) {
        sqlite3_close(m_db);
        m_db = nullptr;
    }
    if (!m_building.isEmpty()) {
        for (const char* suffix : {"", "-journal", "-wal", "-shm"})
            QFile::remove(m_building + QLatin1String(suffix));
        m_building.clear();
    }
}

void CoverBuilder::start()
{
    {
        QTemporaryFile claim(QFileInfo(m_target).path() + QLatin1Char('/') + QLatin1String(kBuildingPrefix)
                             + QStringLiteral("XXXXXX.db"));
        claim.setAutoRemove(false);
        if (!claim.open())
            throw db::Error(QStringLiteral("Die Titelbilddatei „%1“ lässt sich nicht anlegen: %2")
                                .arg(QDir::toNativeSeparators(m_target), claim.errorString()));
        m_building = claim.fileName();
    }
    const int rc = sqlite3_open_v2(QFile::encodeName(m_building).constData(), &m_db,
                                   SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
    if (rc != SQLITE_OK) {
        const QString text = db::sqliteFailureText(rc, QString::fromUtf8(sqlite3_errmsg(m_db)), m_building);
        discard();
        throw db::Error(text);
    }
    try {
        file::initialise(m_db);
        // The whole file is one transaction: nobody else sees it before install().
        file::exec(m_db, "PRAGMA cache_size = -65536");
        file::exec(m_db, "BEGIN IMMEDIATE");
        m_insert = std::make_unique<Insert>(
            Insert{db::Statement(m_db, QString::fromUtf8(file::kInsert), QLatin1String(file::kComponent))});
    } catch (...) {
        discard();
        throw;
    }
}

void CoverBuilder::add(const QByteArray& key, const PreparedCover& cover)
{
    if (!m_db)
        start();
    db::Statement& insert = m_insert->statement;
    const db::StatementReset reset(insert);
    file::bindInsert(insert, key, cover);
    insert.exec();
    ++m_count;
}

void CoverBuilder::install(const QString& madeWith)
{
    if (!m_db)
        return;
    try {
        m_insert.reset();
        file::exec(m_db, "COMMIT");
        file::exec(m_db, "PRAGMA journal_mode = WAL");
        if (sqlite3_close(m_db) != SQLITE_OK)
            throw db::Error(QStringLiteral("Die Titelbilddatei „%1“ lässt sich nicht schließen: %2")
                                .arg(QDir::toNativeSeparators(m_building), QString::fromUtf8(sqlite3_errmsg(m_db))));
        m_db = nullptr;
        QFile::setPermissions(m_building, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
                                              | QFileDevice::ReadOther);
        // rename never replaces: a covers file made meanwhile stays.
        if (!QFile::rename(m_building, m_target)) {
            if (QFileInfo::exists(m_target))
                refuseExisting(QFileInfo(m_target).path());
            throw db::Error(QStringLiteral("Die fertige Titelbilddatei lässt sich nicht in „%1“ umbenennen")
                                .arg(QDir::toNativeSeparators(m_target)));
        }
        m_building.clear();
    } catch (...) {
        discard();
        if (!madeWith.isEmpty())
            for (const char* suffix : {"", "-wal", "-shm"})
                QFile::remove(madeWith + QLatin1String(suffix));
        throw;
    }
}

} // namespace covers
