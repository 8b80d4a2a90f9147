#pragma once

#include "csvimport/CsvReader.h"
#include "csvimport/ImportPlan.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

// Text forms of records and rows for the expected files in data/. After a
// deliberate change, STRIPOTHEK_UPDATE_GOLDEN=1 rewrites them; review the
// difference before committing it.

inline QString describeRecord(const csvimport::Record& r)
{
    return QString::number(r.line) + QStringLiteral(": ")
        + QString::fromUtf8(QJsonDocument(QJsonArray::fromStringList(r.fields)).toJson(QJsonDocument::Compact));
}

inline QString describeRow(const csvimport::ImportRow& row)
{
    QStringList parts;
    const auto text = [&parts](const char* name, const QString& value) {
        if (!value.isEmpty())
            parts << QStringLiteral("%1=%2").arg(QLatin1String(name),
                                                 QString::fromUtf8(QJsonDocument(QJsonArray{value}).toJson(
                                                                       QJsonDocument::Compact))
                                                     .mid(1)
                                                     .chopped(1));
    };
    const auto number = [&parts](const char* name, const auto& value) {
        if (value)
            parts << QStringLiteral("%1=%2").arg(QLatin1String(name)).arg(*value);
    };
    text("title1", row.title1);
    text("title2", row.title2);
    text("title3", row.title3);
    text("series", row.series);
    number("volume", row.volume);
    text("publisher", row.publisher);
    text("isbn", row.isbn);
    number("pages", row.pages);
    text("literatureType", row.literatureType);
    text("literatureKind", row.literatureKind);
    text("content", row.content);
    text("remarks", row.remarks);
    number("limitation", row.limitation);
    if (row.missing)
        parts << QStringLiteral("missing");
    if (row.toBuy)
        parts << QStringLiteral("toBuy");
    QStringList authors;
    for (const csvimport::ImportAuthor& a : row.authors)
        authors << a.name + QStringLiteral(" (") + a.role + u')';
    if (!authors.isEmpty())
        parts << QStringLiteral("authors=[%1]").arg(authors.join(QStringLiteral(", ")));
    QString line = QStringLiteral("%1: ").arg(row.line) + parts.join(u' ');
    if (row.copy) {
        const csvimport::ImportCopy& c = *row.copy;
        parts.clear();
        text("edition", c.edition);
        text("condition", c.condition);
        if (c.purchaseDate.isValid())
            parts << QStringLiteral("date=") + c.purchaseDate.toString(Qt::ISODate);
        if (c.price)
            parts << QStringLiteral("price=") + QString::number(*c.price, 'f', 2);
        text("currency", c.currency);
        text("storagePlace", c.storagePlace);
        number("number", c.number);
        text("execution1", c.execution1);
        text("execution2", c.execution2);
        text("remarks", c.remarks);
        line += QStringLiteral("\n    copy: ") + parts.join(u' ');
    }
    return line;
}

// Compares text with the expected file, or rewrites the file when asked to.
inline void compareGolden(const QString& actual, const QString& path)
{
    if (qEnvironmentVariableIsSet("STRIPOTHEK_UPDATE_GOLDEN")) {
        QFile out(path);
        QVERIFY(out.open(QIODevice::WriteOnly));
        out.write(actual.toUtf8());
        return;
    }
    QFile in(path);
    QVERIFY2(in.open(QIODevice::ReadOnly), qPrintable(path));
    const QStringList expected = QString::fromUtf8(in.readAll()).split(u'\n');
    const QStringList got = actual.split(u'\n');
    for (qsizetype i = 0; i < std::min(expected.size(), got.size()); ++i)
        QCOMPARE(got[i], expected[i]);
    QCOMPARE(got.size(), expected.size());
}
