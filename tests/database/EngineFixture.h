#pragma once

#include "database/Connection.h"
#include "database/Schema.h"
#include "database/Table.h"

#include <QTemporaryDir>
#include <QtTest>
#include <memory>

// A fresh collection file in a temporary directory, one connection on it.
struct EngineFixture {
    QTemporaryDir dir;
    std::unique_ptr<db::Connection> connection;

    EngineFixture()
    {
        // Windows of two rows and sorting at most three matches: every test
        // of the engine also crosses the windows large collections are read in.
        db::RowSet::setWindows({2, 3});
        db::schema::createDatabase(dir.path());
        connection = std::make_unique<db::Connection>();
        connection->setDatabasePath(dir.path() + QStringLiteral("/database"));
        connection->connect();
    }

    std::unique_ptr<db::Table> table(const QString& component, const QString& name)
    {
        auto t = std::make_unique<db::Table>(*connection, component, name);
        t->open();
        return t;
    }

    // Appends one catalogue row with the fields the overview works on.
    static void addComic(db::Table& t, const QString& id, const QString& title, const QString& series, int band,
                         int missing = 0, int toBuy = 0)
    {
        t.append();
        t.fieldByName(QStringLiteral("SCLCOMICID")).setAsString(id);
        t.fieldByName(QStringLiteral("SCLTITEL1")).setAsString(title);
        t.fieldByName(QStringLiteral("SCLSERIENTEXT")).setAsString(series);
        t.fieldByName(QStringLiteral("SCLBAND")).setAsInteger(band);
        t.fieldByName(QStringLiteral("SCLFEHLT")).setAsInteger(missing);
        t.fieldByName(QStringLiteral("SCLZUKAUFEN")).setAsInteger(toBuy);
        t.post();
    }

    static QStringList column(db::DataSet& t, const QString& field)
    {
        QStringList values;
        const int index = t.fieldByName(field).index();
        for (int row = 0; row < t.shownCount(); ++row)
            values << t.valueAt(row, index).toString();
        return values;
    }
};
