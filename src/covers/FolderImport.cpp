#include "covers/FolderImport.h"

#include "core/Errors.h"
#include "covers/CoverImage.h"
#include "covers/CoverStore.h"
#include "database/Connection.h"
#include "database/Isbn.h"
#include "database/Statement.h"

#include <QDir>
#include <QFileInfo>
#include <QtConcurrent/QtConcurrentMap>

namespace covers {

namespace {

// SQLite's NOCASE: only ASCII letters fold.
QString foldedKey(QString key)
{
    for (QChar& c : key)
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
            c = QChar(c.unicode() - 'a' + 'A');
    return key;
}

} // namespace

QString isbnMatchKey(const QString& text)
{
    return db::comparableIsbn(text);
}

VolumeMatcher::VolumeMatcher(const QList<Volume>& volumes) : m_volumes(volumes)
{
    for (qsizetype i = 0; i < m_volumes.size(); ++i) {
        m_byKey.insert(foldedKey(m_volumes[i].key), i);
        const QString isbn = isbnMatchKey(m_volumes[i].isbn);
        if (!isbn.isEmpty())
            m_byIsbn[isbn].append(i);
    }
}

VolumeMatcher::Match VolumeMatcher::match(const QString& fileName) const
{
    const QString name = QFileInfo(fileName).completeBaseName();
    Match match;
    if (const auto key = m_byKey.constFind(foldedKey(name)); key != m_byKey.cend() && !name.isEmpty()) {
        match.volumes << &m_volumes[*key];
        match.byKey = true;
        return match;
    }
    const QString isbn = isbnMatchKey(name);
    if (!isbn.isEmpty())
        for (const qsizetype i : m_byIsbn.value(isbn))
            match.volumes << &m_volumes[i];
    return match;
}

QList<Volume> readVolumes(db::Connection& catalogue)
{
    catalogue.connect();
    db::Statement rows(catalogue.handle(),
                       QStringLiteral("SELECT SCLCOMICID, SCLINTISBNNR, SCLISBNNR, SCLTITEL1, SCLBAND FROM SERVERSTRIPOTHEK "
                                      "WHERE SCLCOMICID IS NOT NULL AND SCLCOMICID <> ''"),
                       QStringLiteral("tblStripothek"));
    QList<Volume> volumes;
    while (rows.step()) {
        Volume v;
        v.key = rows.column(0).toString();
        // The internal form is what the catalogue compares; a row stored
        // around the program may lack it.
        v.isbn = rows.column(1).toString();
        if (v.isbn.isEmpty())
            v.isbn = rows.column(2).toString();
        v.shown = rows.column(3).toString();
        if (!rows.columnIsNull(4))
            v.shown += QStringLiteral(" %1").arg(rows.column(4).toString());
        volumes << v;
    }
    return volumes;
}

QList<FolderEntry> importFolder(db::Connection& catalogue, CoverStore& store, const QString& folder)
{
    const QDir dir(folder);
    if (!QFileInfo::exists(folder))
        throw db::Error(QStringLiteral("Den Ordner „%1“ mit den Titelbildern gibt es nicht")
                            .arg(QDir::toNativeSeparators(folder)));
    if (!QFileInfo(folder).isDir())
        throw db::Error(QStringLiteral("„%1“ ist eine Datei, kein Ordner; geben Sie den Ordner an, in dem die "
                                       "Titelbilder liegen")
                            .arg(QDir::toNativeSeparators(folder)));
    if (!dir.isReadable())
        throw db::Error(QStringLiteral("Der Ordner „%1“ lässt sich nicht lesen").arg(QDir::toNativeSeparators(folder)));
    const VolumeMatcher matcher(readVolumes(catalogue));

    QList<FolderEntry> entries;
    QHash<QString, QList<qsizetype>> byVolume; // folded key → entries naming it alone
    for (const QString& name : dir.entryList(QDir::Files | QDir::Readable, QDir::Name)) {
        FolderEntry entry;
        entry.file = name;
        const VolumeMatcher::Match match = matcher.match(name);
        for (const Volume* v : match.volumes)
            entry.volumes << *v;
        entry.byKey = match.byKey;
        if (match.volumes.size() > 1) {
            entry.outcome = FolderEntry::Outcome::Ambiguous;
            entry.message = QStringLiteral("Die ISBN haben %1 Bände").arg(match.volumes.size());
        } else if (match.volumes.size() == 1) {
            entry.outcome = FolderEntry::Outcome::Stored;
            byVolume[foldedKey(entry.volumes.first().key)].append(entries.size());
        }
        entries << entry;
    }
    for (const QList<qsizetype>& same : std::as_const(byVolume)) {
        if (same.size() < 2)
            continue;
        QStringList files;
        for (const qsizetype i : same)
            files << QStringLiteral("„%1“").arg(entries[i].file);
        for (const qsizetype i : same) {
            entries[i].outcome = FolderEntry::Outcome::Ambiguous;
            entries[i].message = QStringLiteral("Für den Band sind %1 Dateien da: %2")
                                     .arg(same.size())
                                     .arg(files.join(QStringLiteral(", ")));
        }
    }

    QList<qsizetype> toStore;
    for (qsizetype i = 0; i < entries.size(); ++i)
        if (entries[i].outcome == FolderEntry::Outcome::Stored)
            toStore << i;
    struct Prepared {
        PreparedCover cover;
        QString error;
    };
    const auto prepare = [&](qsizetype i) -> Prepared {
        try {
            return {prepareCoverFile(dir.filePath(entries[i].file)), {}};
        } catch (const std::exception& e) {
            return {{}, QString::fromUtf8(e.what())};
        }
    };
    // Scans are decoded several at a time; each block is one transaction,
    // so that a run cut short keeps what it stored.
    constexpr qsizetype kBlock = 16;
    for (qsizetype at = 0; at < toStore.size(); at += kBlock) {
        const QList<qsizetype> block = toStore.mid(at, kBlock);
        const QList<Prepared> prepared = QtConcurrent::blockingMapped(block, prepare);
        CoverStore::WriteBatch batch(store);
        for (qsizetype j = 0; j < block.size(); ++j) {
            FolderEntry& entry = entries[block[j]];
            if (!prepared[j].error.isEmpty()) {
                entry.outcome = FolderEntry::Outcome::Refused;
                entry.message = prepared[j].error;
                continue;
            }
            const QString key = entry.volumes.first().key;
            entry.replaced = store.has(key);
            store.storePrepared(key, prepared[j].cover);
        }
        batch.commit();
    }
    return entries;
}

} // namespace covers
