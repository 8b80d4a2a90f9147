// Opens a collection and keeps it open until its standard input closes, as
// another program using the same database would. Prints "offen" once the
// database is open, so the test knows when to go on.
#include "database/Connection.h"
#include "database/Table.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2)
        return 2;
    try {
        db::Connection connection;
        connection.setDatabasePath(QString::fromLocal8Bit(argv[1]));
        db::Table catalogue(connection, QStringLiteral("tblStripothek"), QStringLiteral("SERVERSTRIPOTHEK"));
        catalogue.open();
        connection.endRead();
        std::printf("offen\n");
        std::fflush(stdout);
        char line[16];
        while (std::fgets(line, sizeof line, stdin)) {
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
