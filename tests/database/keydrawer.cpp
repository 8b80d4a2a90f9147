// Draws record keys from a database and prints one per line; run twice at
// once by the record-key test to show two programs never get the same key.
#include "database/Connection.h"
#include "database/RecordKeys.h"
#include "database/Table.h"

#include <QCoreApplication>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 3)
        return 2;
    try {
        db::Connection connection;
        connection.setDatabasePath(QString::fromLocal8Bit(argv[1]));
        db::Table keyGen(connection, QStringLiteral("tblKeyGen"), QStringLiteral("KEYGEN"));
        keyGen.open();
        const int count = QString::fromLocal8Bit(argv[2]).toInt();
        for (int i = 0; i < count; ++i)
            std::printf("%s\n", db::drawRecordKey(keyGen).toUtf8().constData());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
