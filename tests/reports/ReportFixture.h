#pragma once

#include "cli/CollectionWriter.h"
#include "database/Schema.h"

#include <QDate>
#include <QFile>
#include <QHash>
#include <QStringList>
#include <QtTest>

// A small collection written from lines of text, one thing per line:
//   series | A | Asterix | Egmont          series tag A, its name and publisher
//   vol | A | 3 | Die goldene Sichel | own fehlt isbn=3-7704-0002-8 verlag=Carlsen
//   vol | A | 4..90 | Band %1 |            a run of volumes, %1 is the number
//   vol | - | - | Einzelband | own        no series, no volume number
//   orphan                                 a copy whose comic no longer exists
// Options: own (a copy: "1._Auflage", 12.05.2003, 9,95 €) or
// own=edition,yyyy-mm-dd,price,currency (empty parts stay empty, _ is a
// blank), fehlt (flagged missing), isbn=..., verlag=... (_ is a blank).
inline void writeCollection(const QString& dir, const QStringList& lines)
{
    db::schema::createDatabase(dir, [&](sqlite3* db) {
        cli::CollectionWriter w(db);
        QHash<QString, QString> publishers;
        QHash<QString, QString> seriesKeys;
        QHash<QString, QString> seriesPublishers;
        const auto publisher = [&](const QString& name) {
            if (!publishers.contains(name))
                publishers.insert(name, w.addPublisher(name));
            return publishers.value(name);
        };
        const auto blanks = [](QString s) { return s.replace(QLatin1Char('_'), QLatin1Char(' ')); };
        for (const QString& line : lines) {
            const QStringList f = line.split(QLatin1Char('|'));
            const QString kind = f.value(0).trimmed();
            if (kind == QLatin1String("series")) {
                seriesKeys.insert(f.value(1).trimmed(), w.addSeries(f.value(2).trimmed()));
                seriesPublishers.insert(f.value(1).trimmed(), f.value(3).trimmed());
            } else if (kind == QLatin1String("orphan")) {
                cli::Copy copy;
                copy.edition = QStringLiteral("Waise");
                w.addCopy(QStringLiteral("GIBT-ES-NICHT"), copy);
            } else if (kind == QLatin1String("vol")) {
                const QString tag = f.value(1).trimmed();
                const QString band = f.value(2).trimmed();
                int from = 0;
                int to = 0;
                const bool numbered = band != QLatin1String("-");
                if (numbered) {
                    const QStringList range = band.split(QStringLiteral(".."));
                    from = range.first().toInt();
                    to = range.last().toInt();
                }
                for (int n = from; n <= to; ++n) {
                    cli::Volume v;
                    const QString title = f.value(3).trimmed();
                    v.title1 = title.contains(QLatin1String("%1")) ? title.arg(n) : title;
                    v.seriesKey = tag == QLatin1String("-") ? QString() : seriesKeys.value(tag);
                    if (numbered)
                        v.band = n;
                    v.publisherKey = publisher(seriesPublishers.value(tag, QStringLiteral("Ohne Verlag")));
                    QList<cli::Copy> copies;
                    for (const QString& option : f.value(4).split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
                        const QString value = option.section(QLatin1Char('='), 1);
                        if (option == QLatin1String("own")) {
                            cli::Copy c;
                            c.edition = QStringLiteral("1. Auflage");
                            c.bought = QDate(2003, 5, 12);
                            c.price = 9.95;
                            c.currency = QStringLiteral("€");
                            copies << c;
                        } else if (option.startsWith(QLatin1String("own="))) {
                            const QStringList p = value.split(QLatin1Char(','));
                            cli::Copy c;
                            c.edition = blanks(p.value(0));
                            c.bought = QDate::fromString(p.value(1), Qt::ISODate);
                            if (!p.value(2).isEmpty())
                                c.price = p.value(2).toDouble();
                            c.currency = p.value(3);
                            copies << c;
                        } else if (option == QLatin1String("fehlt")) {
                            v.missing = true;
                        } else if (option.startsWith(QLatin1String("isbn="))) {
                            v.isbn = blanks(value);
                        } else if (option.startsWith(QLatin1String("verlag="))) {
                            v.publisherKey = publisher(blanks(value));
                        } else {
                            QTest::qFail(qPrintable(QStringLiteral("Unbekannte Option %1").arg(option)), __FILE__,
                                         __LINE__);
                        }
                    }
                    const QString key = w.addVolume(v);
                    for (const cli::Copy& c : copies)
                        w.addCopy(key, c);
                }
            } else if (!kind.isEmpty()) {
                QTest::qFail(qPrintable(QStringLiteral("Unbekannte Zeile %1").arg(line)), __FILE__, __LINE__);
            }
        }
        w.finish();
    });
}

// Compares text with a stored file line by line; with STRIPOTHEK_UPDATE_GOLDEN
// set, stores the text instead (review the difference before committing it).
#define COMPARE_GOLDEN(text, file)                                                                                     \
    do {                                                                                                               \
        const QString golden_path = QStringLiteral(STRIPOTHEK_GOLDEN_DIR "/") + (file);                               \
        if (qEnvironmentVariableIsSet("STRIPOTHEK_UPDATE_GOLDEN")) {                                                   \
            QFile golden_out(golden_path);                                                                             \
            QVERIFY(golden_out.open(QIODevice::WriteOnly | QIODevice::Truncate));                                     \
            golden_out.write((text).toUtf8());                                                                         \
        }                                                                                                              \
        QFile golden_in(golden_path);                                                                                  \
        QVERIFY2(golden_in.open(QIODevice::ReadOnly), qPrintable(golden_path));                                        \
        const QStringList golden_expected = QString::fromUtf8(golden_in.readAll()).split(QLatin1Char('\n'));          \
        QCOMPARE((text).split(QLatin1Char('\n')), golden_expected);                                                    \
    } while (false)
