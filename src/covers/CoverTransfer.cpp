#include "covers/CoverTransfer.h"

#include "core/Errors.h"
#include "covers/CoverBuilder.h"
#include "covers/CoverFile.h"
#include "covers/CoverImage.h"
#include "database/Connection.h"
#include "database/Statement.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QScopeGuard>
#include <QSet>
#include <QStringDecoder>
#include <QRegularExpression>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <QtConcurrent/QtConcurrentMap>

#include <filesystem>
#include <sqlite3.h>
#ifdef Q_OS_LINUX
#include <fcntl.h>
#include <unistd.h>
#endif

namespace covers {

namespace {

constexpr char kRoot[] = "TITELBILDER";
constexpr char kEntry[] = "TITELBILD";
constexpr char kVersion[] = "1";
const QString kExists = QStringLiteral("SELECT 1 FROM SERVERSTRIPOTHEK WHERE SCLCOMICID = ?1 COLLATE NOCASE LIMIT 1");

QString shown(const QString& path)
{
    return QDir::toNativeSeparators(path);
}

// The key as an attribute when XML can carry it exactly, else null.
QString plainKey(const QByteArray& key)
{
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString text = decoder.decode(key);
    if (decoder.hasError())
        return {};
    for (const QChar c : std::as_const(text))
        if (c.unicode() < 0x20 || c.unicode() == 0xFFFE || c.unicode() == 0xFFFF)
            return {};
    return text.isNull() ? QStringLiteral("") : text;
}

// Keys compare as SQLite's NOCASE does: only ASCII letters fold.
QByteArray foldedKey(QByteArray key)
{
    for (char& c : key)
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
    return key;
}

bool isDeviceName(const QByteArray& name)
{
    static const QSet<QByteArray> devices = {"CON", "PRN", "AUX", "NUL"};
    const QByteArray upper = foldedKey(name);
    if (devices.contains(upper))
        return true;
    return upper.size() == 4 && (upper.startsWith("COM") || upper.startsWith("LPT")) && upper[3] >= '0'
        && upper[3] <= '9';
}

// The files an earlier export named in its index, to be cleared away.
QSet<QString> previousFiles(const QString& indexFile)
{
    QSet<QString> files;
    if (!QFileInfo::exists(indexFile))
        return files;
    try {
        for (const IndexEntry& e : readIndex(indexFile))
            files.insert(e.file);
    } catch (const db::Error&) {
        // Not an index this program can read: it is replaced, its files stay.
    }
    return files;
}

constexpr char kPartSuffix[] = ".part";

// An image file is written under a name of its own and renamed when
// complete, but not synced one by one: at 100,000 covers a sync each would
// take the export ten minutes. The folder is synced once before the index
// is written, so an index never names files that are not on the disk.
void writeImage(const QString& path, const QByteArray& bytes)
{
    const QString part = path + QLatin1String(kPartSuffix);
    QFile file(part);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size() || !file.flush()) {
        const QString reason = file.errorString();
        file.remove();
        throw db::Error(QStringLiteral("Die Titelbilddatei „%1“ lässt sich nicht schreiben: %2").arg(shown(path), reason));
    }
    file.close();
    std::error_code error;
    std::filesystem::rename(QFile::encodeName(part).constData(), QFile::encodeName(path).constData(), error);
    if (error) {
        QFile::remove(part);
        throw db::Error(QStringLiteral("Die Titelbilddatei „%1“ lässt sich nicht schreiben: %2")
                            .arg(shown(path), QString::fromLocal8Bit(error.message())));
    }
}

void syncFolder(const QString& folder)
{
#ifdef Q_OS_LINUX
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd >= 0) {
        ::syncfs(fd);
        ::close(fd);
    }
#else
    Q_UNUSED(folder);
#endif
}

// Parts of images a killed export left behind.
void removeParts(const QString& folder)
{
    const QDir dir(folder);
    for (const QString& name : dir.entryList({QStringLiteral("*") + QLatin1String(kPartSuffix)}, QDir::Files))
        QFile::remove(dir.filePath(name));
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw db::Error(QStringLiteral("Die Titelbilddatei „%1“ lässt sich nicht schreiben: %2")
                            .arg(shown(path), file.errorString()));
}

struct Exported {
    QByteArray key;
    QString file;
    QByteArray format;
    QByteArray sha256;
};

void writeIndex(const QString& path, const QList<Exported>& entries)
{
    QByteArray xmlBytes;
    QXmlStreamWriter xml(&xmlBytes);
    xml.setAutoFormatting(true);
    xml.setAutoFormattingIndent(1);
    xml.writeStartDocument(QStringLiteral("1.0"), true);
    xml.writeStartElement(QLatin1String(kRoot));
    xml.writeAttribute(QStringLiteral("Version"), QLatin1String(kVersion));
    for (const Exported& e : entries) {
        xml.writeEmptyElement(QLatin1String(kEntry));
        const QString key = plainKey(e.key);
        if (key.isNull())
            xml.writeAttribute(QStringLiteral("keybase64"), QString::fromLatin1(e.key.toBase64()));
        else
            xml.writeAttribute(QStringLiteral("key"), key);
        xml.writeAttribute(QStringLiteral("file"), e.file);
        xml.writeAttribute(QStringLiteral("format"), QString::fromLatin1(e.format));
        xml.writeAttribute(QStringLiteral("sha256"), QString::fromLatin1(e.sha256));
    }
    xml.writeEndElement();
    xml.writeEndDocument();
    writeFile(path, xmlBytes);
}

} // namespace

QString exportFileName(const QByteArray& key, const QByteArray& format)
{
    QString name;
    for (int i = 0; i < key.size(); ++i) {
        const char c = key[i];
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-'
            || c == '_';
        // A Windows device name (CON, LPT1 …) is no file name even with an extension.
        if (plain && !(i == 0 && isDeviceName(key)))
            name += QLatin1Char(c);
        else
            name += QStringLiteral("%%1").arg(uchar(c), 2, 16, QLatin1Char('0')).toUpper();
    }
    if (key.isEmpty())
        name = QStringLiteral("%"); // no encoded key is a lone "%"
    if (name.size() > 200)
        name = QStringLiteral("key-") + sha256Hex(key).left(40);
    return name + QLatin1Char('.') + fileSuffix(format);
}

int exportCovers(const QString& databaseFolder, db::Connection& catalogue, const QString& targetDirectory,
                 const std::function<void()>& afterCover)
{
    return file::guarded(file::pathIn(databaseFolder), [&]() -> int {
        const QDir target(targetDirectory);
        const QString folder = target.filePath(QLatin1String(kExportFolder));
        const QString index = QDir(folder).filePath(QLatin1String(kIndexFile));
        QSet<QString> stale = previousFiles(index);
        if (QFileInfo(folder).isDir())
            removeParts(folder);

        QList<Exported> written;
        sqlite3* const coversDb = file::open(file::pathIn(databaseFolder), false);
        // Closed on every way out, after the statements below are gone.
        const auto closeCovers = qScopeGuard([coversDb] {
            if (coversDb) {
                sqlite3_exec(coversDb, "COMMIT", nullptr, nullptr, nullptr);
                sqlite3_close(coversDb);
            }
        });
        if (coversDb) {
            catalogue.connect();
            db::Statement exists(catalogue.handle(), kExists, catalogue.objectName());
            file::exec(coversDb, "BEGIN");
            db::Statement rows(coversDb,
                               QStringLiteral("SELECT TBCOMICID, TBFORMAT, TBSHA256, TBBILD FROM TITELBILDER "
                                              "ORDER BY TBCOMICID COLLATE BINARY"),
                               QLatin1String(file::kComponent));
            while (rows.step()) {
                const QByteArray key = file::columnBytes(rows.raw(), 0);
                {
                    const db::StatementReset reset(exists);
                    file::bindTextBytes(exists.raw(), 1, key);
                    if (!exists.step())
                        continue; // removed at the next packing; it is no part of the collection
                }
                if (written.isEmpty() && !QDir().mkpath(folder))
                    throw db::Error(QStringLiteral("Das Verzeichnis „%1“ für die Titelbilder lässt sich nicht anlegen")
                                        .arg(shown(folder)));
                Exported e{key, {}, file::columnBytes(rows.raw(), 1), file::columnBytes(rows.raw(), 2)};
                e.file = exportFileName(key, e.format);
                writeImage(QDir(folder).filePath(e.file), file::columnBytes(rows.raw(), 3));
                stale.remove(e.file);
                written << e;
                if (afterCover)
                    afterCover();
            }
        }
        if (!written.isEmpty()) {
            syncFolder(folder);
            writeIndex(index, written);
        } else {
            QFile::remove(index);
        }
        for (const QString& name : std::as_const(stale))
            if (!name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\')))
                QFile::remove(QDir(folder).filePath(name));
        if (written.isEmpty())
            QDir().rmdir(folder); // only when nothing else is in it
        return int(written.size());
    });
}

QString indexIn(const QString& exportDirectory)
{
    const QString index = QDir(exportDirectory).filePath(QLatin1String(kExportFolder) + QLatin1Char('/')
                                                         + QLatin1String(kIndexFile));
    return QFileInfo::exists(index) ? index : QString();
}

QList<IndexEntry> readIndex(const QString& indexFile)
{
    QFile file(indexFile);
    if (!file.open(QIODevice::ReadOnly))
        throw db::Error(QStringLiteral("Die Titelbildliste „%1“ lässt sich nicht lesen: %2")
                            .arg(shown(indexFile), file.errorString()));
    QXmlStreamReader xml(&file);
    const auto refuse = [&](const QString& reason) {
        return db::Error(QStringLiteral("Titelbildliste „%1“, Zeile %2: %3").arg(shown(indexFile)).arg(xml.lineNumber()).arg(reason));
    };
    QList<IndexEntry> entries;
    QSet<QByteArray> keys;
    QSet<QString> files;
    bool root = false;
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::DTD:
            throw refuse(QStringLiteral("Eine Dokumenttyp-Deklaration (DTD) wird nicht angenommen"));
        case QXmlStreamReader::StartElement: {
            const QXmlStreamAttributes a = xml.attributes();
            if (!root) {
                if (xml.name() != QLatin1String(kRoot) || a.value(QStringLiteral("Version")) != QLatin1String(kVersion))
                    throw refuse(QStringLiteral("Das ist keine Titelbildliste der Stripothek (erwartet: <%1 Version=\"%2\">)")
                                     .arg(QLatin1String(kRoot), QLatin1String(kVersion)));
                root = true;
                break;
            }
            if (xml.name() != QLatin1String(kEntry))
                throw refuse(QStringLiteral("Unbekanntes Element <%1>").arg(xml.name()));
            IndexEntry e;
            e.line = xml.lineNumber();
            if (a.hasAttribute(QStringLiteral("key"))) {
                e.key = a.value(QStringLiteral("key")).toUtf8();
            } else {
                const auto decoded = QByteArray::fromBase64Encoding(a.value(QStringLiteral("keybase64")).toLatin1(),
                                                                    QByteArray::AbortOnBase64DecodingErrors);
                if (!a.hasAttribute(QStringLiteral("keybase64")) || !decoded)
                    throw refuse(QStringLiteral("Dem Titelbild fehlt der Schlüssel seines Bandes"));
                e.key = decoded.decoded;
            }
            e.file = a.value(QStringLiteral("file")).toString();
            e.format = a.value(QStringLiteral("format")).toLatin1();
            e.sha256 = a.value(QStringLiteral("sha256")).toString();
            if (e.file.isEmpty() || e.file.startsWith(QLatin1Char('.')) || e.file.contains(QLatin1Char('/'))
                || e.file.contains(QLatin1Char('\\')) || e.file.size() > 250)
                throw refuse(QStringLiteral("„%1“ ist kein Dateiname im Ordner der Titelbilder").arg(e.file));
            if (!acceptedFormat(e.format))
                throw refuse(QStringLiteral("Unbekanntes Bildformat „%1“").arg(QString::fromLatin1(e.format)));
            static const QRegularExpression hex(QStringLiteral("^[0-9a-f]{64}$"));
            if (!hex.match(e.sha256).hasMatch())
                throw refuse(QStringLiteral("Die Prüfsumme von „%1“ ist keine SHA-256-Summe").arg(e.file));
            if (keys.contains(foldedKey(e.key)))
                throw refuse(QStringLiteral("Der Band „%1“ hat schon ein Titelbild (Schlüssel unterscheiden keine "
                                            "Groß- und Kleinschreibung)")
                                 .arg(QString::fromUtf8(e.key)));
            if (files.contains(e.file.toLower()))
                throw refuse(QStringLiteral("Die Datei „%1“ steht schon für ein anderes Titelbild").arg(e.file));
            keys.insert(foldedKey(e.key));
            files.insert(e.file.toLower());
            entries << e;
            break;
        }
        default:
            break;
        }
    }
    if (xml.hasError())
        throw refuse(QStringLiteral("Die Datei ist kein gültiges XML: %1").arg(xml.errorString()));
    if (!root)
        throw refuse(QStringLiteral("Die Datei ist leer"));
    return entries;
}

int importCovers(const QString& indexFile, const QList<IndexEntry>& entries, sqlite3* catalogue, CoverBuilder& builder)
{
    const QDir folder = QFileInfo(indexFile).dir();
    const auto where = [&](const IndexEntry& e) {
        return QStringLiteral("Titelbildliste „%1“, Zeile %2").arg(shown(indexFile)).arg(e.line);
    };
    struct Result {
        PreparedCover cover;
        QString error;
    };
    const auto prepare = [&](const IndexEntry& e) -> Result {
        try {
            const QString path = folder.filePath(e.file);
            if (!QFileInfo(path).isFile())
                return {{}, QStringLiteral("%1: Die Datei „%2“ fehlt").arg(where(e), shown(path))};
            QFile file(path);
            if (QFileInfo(path).size() > kMaxInputBytes || !file.open(QIODevice::ReadOnly))
                return {{}, QStringLiteral("%1: Die Datei „%2“ lässt sich nicht lesen").arg(where(e), shown(path))};
            const QByteArray bytes = file.readAll();
            if (sha256Hex(bytes) != e.sha256)
                return {{}, QStringLiteral("%1: „%2“ ist nicht das exportierte Titelbild, seine Prüfsumme weicht ab")
                                .arg(where(e), e.file)};
            PreparedCover cover = prepareCover(bytes, e.file, Oversize::Keep);
            if (cover.format != e.format)
                return {{}, QStringLiteral("%1: „%2“ ist ein Bild im Format %3, nicht %4")
                                .arg(where(e), e.file, QString::fromLatin1(cover.format.toUpper()),
                                     QString::fromLatin1(e.format.toUpper()))};
            return {std::move(cover), {}};
        } catch (const std::exception& error) {
            return {{}, QStringLiteral("%1: %2").arg(where(e), QString::fromUtf8(error.what()))};
        }
    };

    db::Statement exists(catalogue, kExists, QStringLiteral("tblStripothek"));
    // Decoding is the work; a few at a time keep both cores busy and the
    // memory to a few originals.
    constexpr qsizetype kBlock = 16;
    for (qsizetype at = 0; at < entries.size(); at += kBlock) {
        const QList<IndexEntry> block = entries.mid(at, kBlock);
        for (const IndexEntry& e : block) {
            const db::StatementReset reset(exists);
            file::bindTextBytes(exists.raw(), 1, e.key);
            if (!exists.step())
                throw db::Error(QStringLiteral("%1: Das Titelbild „%2“ gehört zu keinem Band der Importdateien "
                                               "(Schlüssel „%3“)")
                                    .arg(where(e), e.file, QString::fromUtf8(e.key)));
        }
        const QList<Result> results = QtConcurrent::blockingMapped(block, prepare);
        for (qsizetype i = 0; i < results.size(); ++i) {
            if (!results[i].error.isEmpty())
                throw db::Error(results[i].error);
            builder.add(block[i].key, results[i].cover);
        }
    }
    return int(entries.size());
}

} // namespace covers
