#include "cli/Demo.h"
#include "cli/Generator.h"
#include "database/Connection.h"
#include "core/Errors.h"
#include "database/Schema.h"
#include "database/Statement.h"
#include "tools/DataPacket.h"
#include "tools/Export.h"
#include "tools/Import.h"
#include "../common/ErrorOf.h"

#include <QDir>
#include <QDomDocument>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

// Texts that XML and the export have to carry through unchanged.
const QString kTitle = QStringLiteral("Kapitän „Möwe“ & die <Hallig> für 12,80 € – \"Sonder\" 'band'");
const QString kMemo = QStringLiteral("Erste Zeile\nzweite Zeile\r\nmit\tTab und  zwei Leerzeichen ");

void run(sqlite3* db, const QString& sql, const QVariantList& values = {})
{
    db::Statement statement(db, sql);
    statement.bindAll(values);
    statement.exec();
}

// A small collection with fixed keys, so its export never changes.
void fillGolden(sqlite3* db)
{
    for (const db::schema::TableDef& table : db::schema::tables())
        run(db, QStringLiteral("DELETE FROM %1").arg(table.name));
    run(db, QStringLiteral("INSERT INTO KEYGEN VALUES ('GOLD', 14)"));
    run(db, QStringLiteral("INSERT INTO VERLAGE VALUES ('GOLD1', 'Feder & Tusche')"));
    run(db, QStringLiteral("INSERT INTO SERIEN VALUES ('GOLD2', 'Kapitän Möwe', ?)"), {kMemo});
    run(db, QStringLiteral("INSERT INTO AUTOREN VALUES ('GOLD3', 'Sören O''Neill')"));
    // What only the SQL page or a pasted text stores: values a plain
    // attribute cannot carry, written as VALUE elements.
    run(db, QStringLiteral("INSERT INTO AUTOREN VALUES ('GOLD12', 'Zeile' || char(11) || 'Umbruch'), "
                           "('GOLD13', CAST(x'4DFC6C6C6572' AS TEXT)), ('GOLD14', x'0001FF'), "
                           "(NULL, 'ohne Schlüssel'), ('GOLD15', printf('%.60c', 'x')), ('GOLD16', '')"));
    run(db, QStringLiteral("INSERT INTO AUTORTYP VALUES ('GOLD4', 'Zeichner')"));
    run(db, QStringLiteral("INSERT INTO SERVERSTRIPOTHEK (SCLCOMICID, SCLTITEL1, SCLTITEL2, SCLSERIEID, SCLBAND, "
                           "SCLVERLAGID, SCLISBNNR, SCLSEITEN, SCLINHALT, SCLFEHLT, SCLBEMERKUNG, SCLZUKAUFEN, "
                           "SCLINTISBNNR, SCLVERLAGTEXT, SCLSERIENTEXT) VALUES ('GOLD5', ?, '', 'GOLD2', 3, 'GOLD1', "
                           "'3-551-x', 48, ?, 0, '', 1, '3551X', 'Feder & Tusche', 'Kapitän Möwe')"),
        {kTitle, kMemo});
    run(db, QStringLiteral("INSERT INTO SERVERSTRIPOTHEK (SCLCOMICID, SCLTITEL1) VALUES ('GOLD6', ' Nur ein Titel ')"));
    run(db, QStringLiteral("INSERT INTO COMIC2AUTOR VALUES ('GOLD7', 'GOLD3', 'GOLD5', 'GOLD4')"));
    run(db, QStringLiteral("INSERT INTO AUFLAGEN (ALAUFLAGEID, ALCOMICID, ALAUFLAGE, ALERSCHEINUNGSDATUM, ALVKPREIS, "
                           "ALWG, ALSPREIS, ALSPWG) VALUES ('GOLD8', 'GOLD5', '1. Auflage', '03/1987', 12.8, 'DM', "
                           "0.1, '€'), ('GOLD9', 'GOLD5', '2. Auflage', NULL, 1234567.891, '€', 1e-7, NULL)"));
    run(db, QStringLiteral("INSERT INTO LOKALESTRIPOTHEK (LCLCOMICID, LCLSERVERCOMICID, LCLKPREIS, LCLKPREISWG, "
                           "LCKKDATUM, LCLNUMMER, LCLBEMERKUNG) VALUES ('GOLD10', 'GOLD5', 9.95, '€', "
                           "'2023-01-15T00:00:00', 7, ?), ('GOLD11', 'GOLD5', NULL, NULL, NULL, NULL, NULL), "
                           "('GOLD17', 'GOLD5', 'abc', '', 2003, 'eins', 3.5), ('GOLD18', 'GOLD5', 1e999, NULL, 2003.5, '', "
                           "'')"),
        {kMemo});
}

struct Database {
    QTemporaryDir dir;
    db::Connection connection;

    explicit Database(const std::function<void(const QString&)>& make)
    {
        make(dir.path());
        connection.setDatabasePath(dir.path() + QStringLiteral("/database"));
        connection.connect();
    }
    QString path(const QString& name) const { return dir.path() + QLatin1Char('/') + name; }
    QString exportAll(const QString& name)
    {
        QDir().mkpath(path(name));
        tools::ExportAllTables(connection, path(name));
        return path(name);
    }
};

void makeGolden(const QString& dir)
{
    db::schema::createDatabase(dir, fillGolden);
}

// Every stored value of every table with its storage class, in the
// tables' natural order.
QStringList storedValues(db::Connection& connection)
{
    QStringList values;
    for (const db::schema::TableDef& table : db::schema::tables()) {
        QStringList columns;
        for (const db::schema::FieldDef& f : table.fields)
            columns << QStringLiteral("typeof(%1) || ':' || coalesce(hex(%1), '')").arg(f.name);
        db::Statement rows(connection.handle(), QStringLiteral("SELECT %1 FROM %2 ORDER BY rowid")
                                                     .arg(columns.join(QStringLiteral(" || ' ' || ")), table.name));
        while (rows.step())
            values << table.name + QLatin1Char(' ') + rows.column(0).toString();
    }
    return values;
}

// Exports dir, imports the files into a fresh database, exports that again:
// both exports must be the same bytes, and the copy must hold every value
// as the original does, in the same storage class.
void verifyRoundTrip(Database& original)
{
    const QString first = original.exportAll(QStringLiteral("erster"));
    QStringList files;
    for (const QString& name : QDir(first).entryList({QStringLiteral("*.xml")}, QDir::Files))
        files << first + QLatin1Char('/') + name;
    QCOMPARE(files.size(), 13);
    tools::ImportDatabase(original.path(QStringLiteral("kopie")), files);
    db::Connection copy;
    copy.setDatabasePath(original.path(QStringLiteral("kopie/database")));
    const QString second = original.path(QStringLiteral("zweiter"));
    QDir().mkpath(second);
    tools::ExportAllTables(copy, second);
    for (const QString& file : files) {
        const QString name = QFileInfo(file).fileName();
        QVERIFY2(readAll(file) == readAll(second + QLatin1Char('/') + name), qPrintable(name));
    }
    const QStringList before = storedValues(original.connection);
    const QStringList after = storedValues(copy);
    QCOMPARE(after.size(), before.size());
    for (qsizetype i = 0; i < before.size(); ++i)
        QCOMPARE(after[i].left(2000), before[i].left(2000));
    QVERIFY(after == before);
}

} // namespace

class TestDataPacket : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void goldenExport_data();
    void goldenExport();
    void fieldDescriptionsMatchTheSchema();
    void progress_data();
    void progress();
    void targetPath_data();
    void targetPath();
    void everyTableExportedAndReplaced();
    void failingTableStopsTheExport();
    void roundTripDemoThroughTheTool();
    void roundTripLargeCollection();
    void everyStoredValueSurvives_data();
    void everyStoredValueSurvives();
    void importRefuses_data();
    void importRefuses();
    void importOfSeveralFilesRefuses_data();
    void importOfSeveralFilesRefuses();
};

void TestDataPacket::goldenExport_data()
{
    QTest::addColumn<QString>("table");
    QTest::newRow("catalogue") << QStringLiteral("SERVERSTRIPOTHEK");
    QTest::newRow("own copies") << QStringLiteral("LOKALESTRIPOTHEK");
    QTest::newRow("editions") << QStringLiteral("AUFLAGEN");
    QTest::newRow("empty table") << QStringLiteral("UNTERART");
    QTest::newRow("values only the SQL page stores") << QStringLiteral("AUTOREN");
}

void TestDataPacket::goldenExport()
{
    QFETCH(QString, table);
    Database golden(makeGolden);
    const QString actual = tools::ExportTargetPath(golden.dir.path(), table);
    tools::ExportTable(golden.connection, actual, table);
    const QString expected = QStringLiteral(GOLDEN_DIR "/") + QFileInfo(actual).fileName();
    if (qEnvironmentVariableIsSet("STRIPOTHEK_UPDATE_GOLDEN"))
        writeAll(expected, readAll(actual));
    QCOMPARE(readAll(actual), readAll(expected));

    // Any XML parser reads it, and finds what the packet promises.
    QDomDocument document;
    QVERIFY(document.setContent(readAll(expected)));
    const QDomElement root = document.documentElement();
    QCOMPARE(root.tagName(), QStringLiteral("DATAPACKET"));
    db::Statement count(golden.connection.handle(), QStringLiteral("SELECT count(*) FROM %1").arg(table));
    QVERIFY(count.step());
    QCOMPARE(root.elementsByTagName(QStringLiteral("ROW")).size(), count.columnInt64(0));
    QCOMPARE(root.elementsByTagName(QStringLiteral("FIELD")).size(),
             db::schema::table(table)->fields.size());
}

void TestDataPacket::fieldDescriptionsMatchTheSchema()
{
    // The import checks files against the schema, the export writes what
    // the file holds: both must describe a created table the same way.
    Database created([](const QString& dir) { db::schema::createDatabase(dir); });
    for (const db::schema::TableDef& table : db::schema::tables())
        QCOMPARE(tools::packet::describeTable(created.connection.handle(), table.name, table.name),
                 tools::packet::describeSchemaTable(table.name));
}

void TestDataPacket::progress_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<QList<int>>("percents");
    // After copying a row the table stands on the next: 2 * 100 div 3.
    QTest::newRow("three rows") << 3 << QList<int>{66, 100, 100};
    QTest::newRow("one row") << 1 << QList<int>{100};
    QTest::newRow("no rows") << 0 << QList<int>{};
}

void TestDataPacket::progress()
{
    QFETCH(int, rows);
    QFETCH(QList<int>, percents);
    Database data([](const QString& dir) { db::schema::createDatabase(dir); });
    data.connection.execute(QStringLiteral("DELETE FROM AUTOREN"));
    for (int i = 0; i < rows; ++i)
        data.connection.execute(QStringLiteral("INSERT INTO AUTOREN VALUES (?, ?)"),
                                {QStringLiteral("K%1").arg(i), QStringLiteral("Autor %1").arg(i)});
    QStringList started;
    QList<int> seen;
    tools::ExportProgress progress;
    progress.tableStarted = [&](const QString& table) { started << table; };
    progress.percent = [&](int percent) { seen << percent; };
    const QString target = data.path(QStringLiteral("autoren.xml"));
    tools::ExportTable(data.connection, target, QStringLiteral("AUTOREN"), progress);
    QCOMPARE(started, QStringList{QStringLiteral("AUTOREN")});
    QCOMPARE(seen, percents);
    QDomDocument document;
    QVERIFY(document.setContent(readAll(target)));
    QCOMPARE(document.elementsByTagName(QStringLiteral("ROW")).size(), rows);
    QCOMPARE(document.elementsByTagName(QStringLiteral("FIELD")).size(), 2);
}

void TestDataPacket::targetPath_data()
{
    QTest::addColumn<QString>("directory");
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("path");
    QTest::newRow("root") << QStringLiteral("/") << QStringLiteral("SERVERSTRIPOTHEK")
                          << QStringLiteral("/serverstripothek.xml");
    QTest::newRow("with separator") << QStringLiteral("/a/b/") << QStringLiteral("KEYGEN")
                                    << QStringLiteral("/a/b/keygen.xml");
    QTest::newRow("without separator") << QStringLiteral("/a/b") << QStringLiteral("KEYGEN")
                                       << QStringLiteral("/a/b/keygen.xml");
    QTest::newRow("only A to Z lowered") << QStringLiteral("/a") << QStringLiteral("TÜTE_1")
                                         << QStringLiteral("/a/tÜte_1.xml");
}

void TestDataPacket::targetPath()
{
    QFETCH(QString, directory);
    QFETCH(QString, table);
    QFETCH(QString, path);
    QCOMPARE(tools::ExportTargetPath(directory, table), path);
}

void TestDataPacket::everyTableExportedAndReplaced()
{
    Database data([](const QString& dir) { db::schema::createDatabase(dir); });
    data.connection.execute(QStringLiteral("CREATE TABLE TEST (NAME VARCHAR(20), MENGE INTEGER)"));
    data.connection.execute(QStringLiteral("INSERT INTO TEST VALUES ('alt', 1)"));
    const QString target = data.path(QStringLiteral("ziel"));
    QDir().mkpath(target);
    QStringList expected;
    for (const QString& table : data.connection.listTables())
        expected << tools::ExportTargetPath(target, table);
    QCOMPARE(expected.size(), 14);

    QCOMPARE(tools::ExportAllTables(data.connection, target), expected);
    QVERIFY(readAll(target + QStringLiteral("/test.xml")).contains("NAME=\"alt\" MENGE=\"1\""));
    data.connection.execute(QStringLiteral("UPDATE TEST SET NAME = 'neu'"));
    QCOMPARE(tools::ExportAllTables(data.connection, target), expected);
    QVERIFY(readAll(target + QStringLiteral("/test.xml")).contains("NAME=\"neu\" MENGE=\"1\""));
    QCOMPARE(QDir(target).entryList(QDir::Files).size(), 14);
}

void TestDataPacket::failingTableStopsTheExport()
{
    Database data([](const QString& dir) { db::schema::createDatabase(dir); });
    // AUTOREN is listed third; its file cannot be written where a folder has its name.
    const QString target = data.path(QStringLiteral("ziel"));
    QDir().mkpath(target + QStringLiteral("/autoren.xml"));

    const QString error = errorOf([&] { tools::ExportAllTables(data.connection, target); });

    QVERIFY2(error.contains(QStringLiteral("autoren.xml")), qPrintable(error));
    QCOMPARE(QDir(target).entryList(QDir::Files),
             (QStringList{QStringLiteral("auflagen.xml"), QStringLiteral("ausfuehrungen.xml")}));
}

void TestDataPacket::roundTripDemoThroughTheTool()
{
    QTemporaryDir dir;
    const auto tool = [&](const QStringList& arguments) {
        QProcess process;
        process.start(QStringLiteral(STRIPOTHEK_DB_TOOL), arguments);
        QVERIFY(process.waitForFinished(120000));
        QVERIFY2(process.exitCode() == 0, qPrintable(QString::fromUtf8(process.readAllStandardError())));
    };
    const QString base = dir.path() + QLatin1Char('/');
    tool({QStringLiteral("demo"), base + QStringLiteral("demo")});
    tool({QStringLiteral("export"), base + QStringLiteral("demo"), base + QStringLiteral("eins")});
    const QStringList names = QDir(base + QStringLiteral("eins")).entryList(QDir::Files);
    QCOMPARE(names.size(), 13);
    QStringList files;
    for (const QString& name : names)
        files << base + QStringLiteral("eins/") + name;
    tool(QStringList{QStringLiteral("import"), base + QStringLiteral("kopie")} + files);
    tool({QStringLiteral("export"), base + QStringLiteral("kopie"), base + QStringLiteral("zwei")});
    for (const QString& name : names)
        QVERIFY2(readAll(base + QStringLiteral("eins/") + name) == readAll(base + QStringLiteral("zwei/") + name),
                 qPrintable(name));
}

void TestDataPacket::roundTripLargeCollection()
{
    Database large([](const QString& dir) { cli::createGeneratedDatabase(dir, 10000); });
    // What the generator never writes: every awkward text, nulls and exact floats.
    large.connection.execute(QStringLiteral("UPDATE SERVERSTRIPOTHEK SET SCLTITEL2 = ?, SCLBEMERKUNG = ? "
                                            "WHERE rowid % 97 = 0"),
                             {kTitle, kMemo});
    large.connection.execute(QStringLiteral("UPDATE AUFLAGEN SET ALVKPREIS = 0.1 * rowid, ALSPREIS = NULL, "
                                            "ALSPWG = '' WHERE rowid % 89 = 0"));
    large.connection.execute(QStringLiteral("UPDATE LOKALESTRIPOTHEK SET LCKKDATUM = NULL, LCLKPREIS = 1e-300 "
                                            "WHERE rowid % 83 = 0"));
    verifyRoundTrip(large);
}

void TestDataPacket::everyStoredValueSurvives_data()
{
    QTest::addColumn<QString>("sql"); // run on the small collection of the golden files
    const auto row = [](const char* name, const char* sql) { QTest::newRow(name) << QString::fromUtf8(sql); };
    row("vertical tab pasted into a memo", "UPDATE SERVERSTRIPOTHEK SET SCLINHALT = 'a' || char(11) || 'b'");
    row("bell typed on the SQL page", "UPDATE AUTOREN SET ANNAME = 'A' || char(7)");
    row("NUL inside a text", "UPDATE SERVERSTRIPOTHEK SET SCLTITEL1 = 'a' || char(0) || 'b'");
    row("U+FFFE and U+FFFF", "UPDATE SERVERSTRIPOTHEK SET SCLTITEL1 = char(65534, 65535)");
    row("leading byte order mark", "UPDATE SERVERSTRIPOTHEK SET SCLTITEL1 = char(65279) || 'Titel'");
    row("carriage return alone", "UPDATE SERVERSTRIPOTHEK SET SCLBEMERKUNG = 'a' || char(13) || 'b' || char(13)");
    row("invalid UTF-8 in a text", "UPDATE SERVERSTRIPOTHEK SET SCLTITEL1 = CAST(x'4DFCC328FF' AS TEXT)");
    row("lone surrogate", "UPDATE SERVERSTRIPOTHEK SET SCLTITEL3 = CAST(x'41EDA080' AS TEXT)");
    row("blob in a text field", "UPDATE SERVERSTRIPOTHEK SET SCLTITEL1 = x'00FF10', SCLINHALT = x''");
    row("text over its field's width", "UPDATE SERVERSTRIPOTHEK SET SCLTITEL1 = printf('%.1000c', 'T')");
    row("memo in pieces, a pair of surrogates across their border",
        "UPDATE SERVERSTRIPOTHEK SET SCLINHALT = printf('%.65535c', 'a') || '😀' || printf('%.300000c', 'b')");
    row("long memo with control characters",
        "UPDATE SERVERSTRIPOTHEK SET SCLBEMERKUNG = replace(printf('%.700000c', 'x'), 'xx', 'x' || char(1))");
    row("long blob", "UPDATE SERVERSTRIPOTHEK SET SCLINHALT = randomblob(500000)");
    row("text in an integer field", "UPDATE SERVERSTRIPOTHEK SET SCLBAND = 'eins', SCLSEITEN = ''");
    row("real in an integer field", "UPDATE SERVERSTRIPOTHEK SET SCLBAND = 3.5, SCLSEITEN = 1e300");
    row("largest integers", "UPDATE SERVERSTRIPOTHEK SET SCLBAND = 9223372036854775807, SCLSEITEN = -9223372036854775808");
    row("text and blob in a float field", "UPDATE AUFLAGEN SET ALVKPREIS = 'zwölf', ALSPREIS = x'01'");
    row("infinite and inexact floats", "UPDATE AUFLAGEN SET ALVKPREIS = 1e999, ALSPREIS = -1e999 WHERE rowid = 1; "
                                       "UPDATE AUFLAGEN SET ALVKPREIS = 0.1 + 0.2, ALSPREIS = 5e-324 WHERE rowid = 2");
    row("numbers and text in a date field", "UPDATE LOKALESTRIPOTHEK SET LCKKDATUM = 2003 WHERE rowid = 1; "
                                            "UPDATE LOKALESTRIPOTHEK SET LCKKDATUM = 2003.5 WHERE rowid = 2; "
                                            "INSERT INTO LOKALESTRIPOTHEK (LCLCOMICID, LCKKDATUM) VALUES "
                                            "('N1', 'kein Datum'), ('N2', 1e999), ('N3', x'20')");
    row("empty text beside null", "UPDATE SERVERSTRIPOTHEK SET SCLTITEL2 = '', SCLTITEL3 = NULL, SCLBAND = ''");
    row("rows without a key", "INSERT INTO AUTOREN (ANNAME) VALUES ('a'), ('b'); "
                              "INSERT INTO KEYGEN VALUES ('X', NULL)");
    row("key of control characters and of bytes", "INSERT INTO AUTOREN VALUES ('K' || char(1), 'a'), (x'4B', 'b')");
    row("text in the key counter", "UPDATE KEYGEN SET KGNEXTID = 'viele'");
}

void TestDataPacket::everyStoredValueSurvives()
{
    QFETCH(QString, sql);
    Database data(makeGolden);
    for (const QString& statement : sql.split(QStringLiteral("; ")))
        data.connection.execute(statement);
    verifyRoundTrip(data);
}

void TestDataPacket::importRefuses_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("message");
    const QString catalogue = QStringLiteral("serverstripothek.xml");
    QTest::newRow("unknown table") << QStringLiteral("buecher.xml") << QString() << QString()
                                   << QStringLiteral("gehört zu keiner Tabelle");
    QTest::newRow("field renamed") << catalogue << QStringLiteral("attrname=\"SCLTITEL2\"")
                                   << QStringLiteral("attrname=\"SCLUNTERTITEL\"") << QStringLiteral("Feld 3 ist SCLUNTERTITEL");
    QTest::newRow("field missing") << catalogue
                                   << QStringLiteral("<FIELD attrname=\"SCLSERVERID\" fieldtype=\"string\" WIDTH=\"50\"/>")
                                   << QString() << QStringLiteral("Feld 22 ist nichts");
    QTest::newRow("other width") << catalogue << QStringLiteral("WIDTH=\"150\"") << QStringLiteral("WIDTH=\"15\"")
                                 << QStringLiteral("passen nicht zur Tabelle SERVERSTRIPOTHEK");
    QTest::newRow("unknown field in a row") << catalogue << QStringLiteral("<ROW SCLCOMICID=\"GOLD6\"")
                                            << QStringLiteral("<ROW SCLCOMICID=\"GOLD6\" SCLPREIS=\"3\"")
                                            << QStringLiteral("„SCLPREIS“ gehört nicht zur Tabelle");
    QTest::newRow("element in a row") << catalogue << QStringLiteral("Nur ein Titel \"/>")
                                      << QStringLiteral("Nur ein Titel \"><X/></ROW>")
                                      << QStringLiteral("Zeile 32, Datensatz „GOLD6“: Im Element ROW steht X");
    QTest::newRow("text in a row") << catalogue << QStringLiteral("Nur ein Titel \"/>")
                                   << QStringLiteral("Nur ein Titel \">Text</ROW>") << QStringLiteral("Unerwarteter Text");
    QTest::newRow("end tag missing") << catalogue << QStringLiteral("</ROWDATA>") << QString()
                                     << QStringLiteral("kein wohlgeformtes XML (Die Anzahl der öffnenden Elemente");
    QTest::newRow("cut off") << catalogue << QStringLiteral("</ROWDATA>\n</DATAPACKET>\n") << QString()
                             << QStringLiteral("Zeile 33: Die Datei endet vorzeitig");
    // Values a row cannot hold as they stand.
    QTest::newRow("row without its key") << catalogue << QStringLiteral("<ROW SCLCOMICID=\"GOLD6\" ")
                                         << QStringLiteral("<ROW ")
                                         << QStringLiteral("Zeile 32: Dem Datensatz fehlt sein Schlüssel SCLCOMICID");
    QTest::newRow("text in an integer field") << catalogue << QStringLiteral("SCLBAND=\"3\"")
                                              << QStringLiteral("SCLBAND=\"eins\"")
                                              << QStringLiteral("Zeile 31, Datensatz „GOLD5“: Im Feld SCLBAND steht "
                                                                "„eins“, keine ganze Zahl");
    QTest::newRow("text over its width") << catalogue << QStringLiteral("SCLISBNNR=\"3-551-x\"")
                                         << QStringLiteral("SCLISBNNR=\"%1\"").arg(QString(51, QLatin1Char('9')))
                                         << QStringLiteral("Datensatz „GOLD5“: Der Text im Feld SCLISBNNR ist mit 51 "
                                                           "Zeichen länger als die 50 Zeichen des Feldes");
    QTest::newRow("row far too long") << catalogue << QStringLiteral("\" Nur ein Titel \"")
                                      << QStringLiteral("\"%1\"").arg(QString(9'000'000, QLatin1Char('x')))
                                      << QStringLiteral("Zeile 32, Datensatz „GOLD6“: Der Datensatz ist länger als 8 MB");
    const QString row = QStringLiteral("Nur ein Titel \"><VALUE attrname=\"%1\" type=\"%2\" %3/></ROW>");
    const QString end = QStringLiteral("Nur ein Titel \"/>");
    QTest::newRow("value of an unknown type") << catalogue << end << row.arg("SCLBAND", "zahl", "value=\"1\"")
                                              << QStringLiteral("Datensatz „GOLD6“: Der Wert des Feldes SCLBAND hat "
                                                                "den unbekannten Typ „zahl“");
    QTest::newRow("field given twice") << catalogue << end << row.arg("SCLTITEL1", "text", "value=\"x\"")
                                       << QStringLiteral("Das Feld SCLTITEL1 hat mehr als einen Wert");
    QTest::newRow("bytes not in base64") << catalogue << end << row.arg("SCLINHALT", "blob", "base64=\"%%\"")
                                         << QStringLiteral("Der Wert des Feldes SCLINHALT ist kein gültiges Base64");
    QTest::newRow("not a number") << catalogue << end << row.arg("SCLBAND", "integer", "value=\"1.5\"")
                                  << QStringLiteral("Im Feld SCLBAND steht „1.5“, keine ganze Zahl");
    QTest::newRow("entity") << catalogue << QStringLiteral("<DATAPACKET")
                            << QStringLiteral("<!DOCTYPE DATAPACKET [<!ENTITY x \"y\">]><DATAPACKET")
                            << QStringLiteral("Dokumenttypdeklaration");
    QTest::newRow("other root") << catalogue << QStringLiteral("DATAPACKET") << QStringLiteral("PAKET")
                                << QStringLiteral("Wurzelelement");
}

void TestDataPacket::importRefuses()
{
    QFETCH(QString, fileName);
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QString, message);
    QTemporaryDir dir;
    QString text = QString::fromUtf8(readAll(QStringLiteral(GOLDEN_DIR "/serverstripothek.xml")));
    QVERIFY(from.isEmpty() || text.contains(from));
    if (!from.isEmpty())
        text.replace(from, to);
    const QString file = dir.path() + QLatin1Char('/') + fileName;
    writeAll(file, text.toUtf8());
    const QString target = dir.path() + QStringLiteral("/neu");

    const QString error = errorOf([&] { tools::ImportDatabase(target, {file}); });

    QVERIFY2(error.contains(message), qPrintable(error.left(500)));
    QVERIFY(!QFileInfo::exists(target));
}

void TestDataPacket::importOfSeveralFilesRefuses_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("message");
    // The catalogue is stored and indexed first, whatever the files' order.
    QTest::newRow("later file cut off") << QStringLiteral("lokalestripothek.xml") << QStringLiteral("</ROWDATA>")
                                        << QString() << QStringLiteral("kein wohlgeformtes XML");
    QTest::newRow("key twice in a later file") << QStringLiteral("auflagen.xml") << QStringLiteral("\"GOLD9\"")
                                               << QStringLiteral("\"GOLD8\"")
                                               << QStringLiteral("Zeile 20, Datensatz „GOLD8“: Der Schlüssel "
                                                                 "ALAUFLAGEID „GOLD8“ steht schon in Zeile 19");
    QTest::newRow("key twice in the catalogue, in other case") << QStringLiteral("serverstripothek.xml")
                                                               << QStringLiteral("\"GOLD6\"")
                                                               << QStringLiteral("\"gold5\"")
                                                               << QStringLiteral("Zeile 32, Datensatz „gold5“: Der "
                                                                                 "Schlüssel SCLCOMICID „gold5“ steht "
                                                                                 "schon in Zeile 31");
}

void TestDataPacket::importOfSeveralFilesRefuses()
{
    QFETCH(QString, fileName);
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QString, message);
    QTemporaryDir dir;
    QStringList files;
    for (const QString& name : QDir(QStringLiteral(GOLDEN_DIR)).entryList({QStringLiteral("*.xml")}, QDir::Files)) {
        QString text = QString::fromUtf8(readAll(QStringLiteral(GOLDEN_DIR "/") + name));
        if (name == fileName) {
            QVERIFY(text.contains(from));
            text.replace(from, to);
        }
        files << dir.path() + QLatin1Char('/') + name;
        writeAll(files.last(), text.toUtf8());
    }
    const QString target = dir.path() + QStringLiteral("/neu");

    const QString error = errorOf([&] { tools::ImportDatabase(target, files); });

    QVERIFY2(error.contains(fileName) && error.contains(message), qPrintable(error));
    QVERIFY(!QFileInfo::exists(target + QStringLiteral("/database")));
}

QTEST_GUILESS_MAIN(TestDataPacket)
#include "tst_datapacket.moc"
