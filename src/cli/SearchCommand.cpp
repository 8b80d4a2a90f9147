#include "cli/SearchCommand.h"

#include "cli/Tool.h"
#include "database/Connection.h"
#include "database/Schema.h"
#include "database/Statement.h"
#include "database/Table.h"

#include <QDir>
#include <QFileInfo>

namespace cli {

namespace {

// A tab or line break inside a title would split its line for the script.
QString field(const QVariant& value)
{
    QString text = value.toString();
    for (QChar& c : text)
        if (c == QLatin1Char('\t') || c == QLatin1Char('\n') || c == QLatin1Char('\r'))
            c = QLatin1Char(' ');
    return text;
}

} // namespace

int runSearchCommand(const QStringList& arguments, QTextStream& out, QTextStream& err,
                     const std::function<int(const QString&)>& usage)
{
    if (arguments.isEmpty() || arguments[0].isEmpty())
        return usage(QStringLiteral("Es fehlt das Verzeichnis der Sammlung."));
    if (arguments.size() < 2)
        return usage(QStringLiteral("Es fehlt der Text, nach dem gesucht werden soll."));
    if (arguments.size() > 2)
        return usage(QStringLiteral("Zu viele Argumente: %1; einen Suchtext mit Leerzeichen setzen Sie in "
                                    "Anführungszeichen")
                         .arg(arguments.mid(2).join(QLatin1Char(' '))));
    try {
        const QFileInfo file(db::schema::databaseFile(arguments[0]));
        if (!file.isFile())
            throw db::Error(QStringLiteral("Die Datenbank „%1“ existiert nicht")
                                .arg(QDir::toNativeSeparators(file.absoluteFilePath())));
        db::Connection connection;
        connection.setDatabasePath(file.absolutePath());
        db::Table catalogue(connection, QStringLiteral("tblStripothek"), QStringLiteral("SERVERSTRIPOTHEK"));
        catalogue.setIndexName(QStringLiteral("NKSCLSERIENTEXT"));
        catalogue.open();
        catalogue.setSearch(arguments[1]);
        catalogue.readShown({QStringLiteral("SCLSERIENTEXT"), QStringLiteral("SCLBAND"), QStringLiteral("SCLTITEL1"),
                             QStringLiteral("SCLCOMICID")},
                            [&](const db::Statement& row) {
                                out << field(row.column(0)) << '\t' << field(row.column(1)) << '\t'
                                    << field(row.column(2)) << '\t' << field(row.column(3)) << '\n';
                            });
        out.flush();
        return kExitOk;
    } catch (const std::exception& e) {
        err << "stripothek-db: " << sentence(QString::fromUtf8(e.what())) << '\n';
        err.flush();
        return kExitFailed;
    }
}

} // namespace cli
