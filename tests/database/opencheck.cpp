// Opens the collection in a database directory as the program does, stores
// one new comic and prints what happened, a line each. The opening test runs
// it as another user, so that the rights of files and folders count even
// when the tests themselves run as root.
#include "database/ComicData.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2)
        return 2;
    QTextStream out(stdout);
    ComicData data;
    data.dbConnection().setDatabasePath(QString::fromLocal8Bit(argv[1]));
    try {
        data.OpenTables();
        out << "geöffnet: " << data.tblStripothek().recordCount() << " Comics\n";
        if (data.dbConnection().onlyReadable())
            out << "nur lesbar\n";
        if (data.dbConnection().readAsItIs())
            out << "wie vorgefunden\n";
        data.tblStripothek().append();
        data.tblStripothek().fieldByName(QStringLiteral("SCLTITEL1")).setAsString(QStringLiteral("Neu"));
        data.tblStripothek().post();
        out << "gespeichert\n";
    } catch (const std::exception& e) {
        out << "Fehler: " << QString::fromUtf8(e.what()) << '\n';
    }
    return 0;
}
