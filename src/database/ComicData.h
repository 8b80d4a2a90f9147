#pragma once

#include "database/ComicRules.h"
#include "database/Connection.h"
#include "database/DataSet.h"
#include "database/Table.h"

#include <QHash>
#include <QObject>
#include <QVariant>
#include <optional>
#include <vector>

// The main window's data: the connection, the thirteen tables and their data
// sources, opening and closing them, record keys and the names shown in
// place of ids. The catalogue's rules are a unit of their own (ComicRules),
// reached through rules(). Usable without any widget.
class ComicData : public QObject {
    Q_OBJECT
public:
    explicit ComicData(QObject* parent = nullptr);
    ~ComicData() override;

    db::Connection& dbConnection() { return m_dbConnection; }

    // The tables, named as the pages and reports know them.
    db::Table& tblStripothek() { return m_tblStripothek; }
    db::Table& tblComic2Autor() { return m_tblComic2Autor; }
    db::Table& tblAuflagen() { return m_tblAuflagen; }
    db::Table& tblComicLocal() { return m_tblComicLocal; }
    db::Table& tblVerlage() { return m_tblVerlage; }
    db::Table& tblSerie() { return m_tblSerie; }
    db::Table& tblAutoren() { return m_tblAutoren; }
    db::Table& tblAutortyp() { return m_tblAutortyp; }
    db::Table& tblAusfuehrungen() { return m_tblAusfuehrungen; }
    db::Table& tblZustandsarten() { return m_tblZustandsarten; }
    db::Table& tblLitart() { return m_tblLitart; }
    db::Table& tblUnterart() { return m_tblUnterart; }
    db::Table& tblKeyGen() { return m_tblKeyGen; }

    // The data sources the bound controls listen to; the key counter has none.
    db::DataSource& srcStripothek() { return m_srcStripothek; }
    db::DataSource& srcComic2Autor() { return m_srcComic2Autor; }
    db::DataSource& srcAuflagen() { return m_srcAuflagen; }
    db::DataSource& srcComicLocal() { return m_srcComicLocal; }
    db::DataSource& srcVerlage() { return m_srcVerlage; }
    db::DataSource& srcSerie() { return m_srcSerie; }
    db::DataSource& srcAutoren() { return m_srcAutoren; }
    db::DataSource& srcAutortyp() { return m_srcAutortyp; }
    db::DataSource& srcAusfuehrungen() { return m_srcAusfuehrungen; }
    db::DataSource& srcZustand() { return m_srcZustand; }
    db::DataSource& srcLitArt() { return m_srcLitArt; }
    db::DataSource& srcUnterart() { return m_srcUnterart; }

    // The catalogue's rules: new comic and volume, deletion, the author
    // check, the keys of new detail and lookup rows, the derived fields.
    ComicRules& rules() { return m_rules; }

    // Connects and opens all tables; leaves the catalogue in series order on
    // its first row. Stops at the first table that fails: those before stay open.
    void OpenTables();
    // Closes all tables; a row still being edited is dropped, not saved.
    void CloseTables();
    void InstallNameDisplay(db::Table& table, const QString& fieldName);
    // Installs the name display on every reference field of an open table,
    // as OpenTables does; for a table reopened on its own (packing, emptying).
    void InstallNameDisplays(db::Table& table);
    // Display text of a reference field: the referenced row's name, or ""
    // for an empty id or one that names no row the lookup table shows.
    QString ShowReferenceName(const db::Field& sender, const QVariant& value);
    QString NewRecordKey();

    // While one lives, each name found for an id is read only once: for a
    // pass that stores many rows and renames nothing (an import), whose
    // every save asks for the same few series and publishers again.
    class RememberedNames {
    public:
        explicit RememberedNames(ComicData& data) : m_data(data) { m_data.m_rememberedNames.emplace(); }
        ~RememberedNames() { m_data.m_rememberedNames.reset(); }
        RememberedNames(const RememberedNames&) = delete;
        RememberedNames& operator=(const RememberedNames&) = delete;

    private:
        ComicData& m_data;
    };

    std::vector<db::Table*> tables();
    db::Table* tableByName(const QString& componentName);

Q_SIGNALS:
    void tablesOpened();

private:
    std::optional<QHash<QString, QString>> m_rememberedNames; // field, 0x1f, id → name

    db::Connection m_dbConnection{QStringLiteral("dbConnection")};

    db::Table m_tblStripothek{m_dbConnection, QStringLiteral("tblStripothek"), QStringLiteral("SERVERSTRIPOTHEK")};
    db::Table m_tblComic2Autor{m_dbConnection, QStringLiteral("tblComic2Autor"), QStringLiteral("COMIC2AUTOR")};
    db::Table m_tblAuflagen{m_dbConnection, QStringLiteral("tblAuflagen"), QStringLiteral("AUFLAGEN")};
    db::Table m_tblComicLocal{m_dbConnection, QStringLiteral("tblComicLocal"), QStringLiteral("LOKALESTRIPOTHEK")};
    db::Table m_tblVerlage{m_dbConnection, QStringLiteral("tblVerlage"), QStringLiteral("VERLAGE")};
    db::Table m_tblSerie{m_dbConnection, QStringLiteral("tblSerie"), QStringLiteral("SERIEN")};
    db::Table m_tblAutoren{m_dbConnection, QStringLiteral("tblAutoren"), QStringLiteral("AUTOREN")};
    db::Table m_tblAutortyp{m_dbConnection, QStringLiteral("tblAutortyp"), QStringLiteral("AUTORTYP")};
    db::Table m_tblAusfuehrungen{m_dbConnection, QStringLiteral("tblAusfuehrungen"), QStringLiteral("AUSFUEHRUNGEN")};
    db::Table m_tblZustandsarten{m_dbConnection, QStringLiteral("tblZustandsarten"), QStringLiteral("ZUSTANDSARTEN")};
    db::Table m_tblLitart{m_dbConnection, QStringLiteral("tblLitart"), QStringLiteral("LITERATURART")};
    db::Table m_tblUnterart{m_dbConnection, QStringLiteral("tblUnterart"), QStringLiteral("UNTERART")};
    db::Table m_tblKeyGen{m_dbConnection, QStringLiteral("tblKeyGen"), QStringLiteral("KEYGEN")};

    db::DataSource m_srcStripothek{&m_tblStripothek, QStringLiteral("srcStripothek")};
    db::DataSource m_srcComic2Autor{&m_tblComic2Autor, QStringLiteral("srcComic2Autor")};
    db::DataSource m_srcAuflagen{&m_tblAuflagen, QStringLiteral("srcAuflagen")};
    db::DataSource m_srcComicLocal{&m_tblComicLocal, QStringLiteral("srcComicLocal")};
    db::DataSource m_srcVerlage{&m_tblVerlage, QStringLiteral("srcVerlage")};
    db::DataSource m_srcSerie{&m_tblSerie, QStringLiteral("srcSerie")};
    db::DataSource m_srcAutoren{&m_tblAutoren, QStringLiteral("srcAutoren")};
    db::DataSource m_srcAutortyp{&m_tblAutortyp, QStringLiteral("srcAutortyp")};
    db::DataSource m_srcAusfuehrungen{&m_tblAusfuehrungen, QStringLiteral("srcAusfuehrungen")};
    db::DataSource m_srcZustand{&m_tblZustandsarten, QStringLiteral("srcZustand")};
    db::DataSource m_srcLitArt{&m_tblLitart, QStringLiteral("srcLitArt")};
    db::DataSource m_srcUnterart{&m_tblUnterart, QStringLiteral("srcUnterart")};

    // Last: the rules hook into the catalogue table when they are made.
    ComicRules m_rules{*this};
};
