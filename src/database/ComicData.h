#pragma once

#include "database/Connection.h"
#include "database/DataSet.h"
#include "database/Table.h"

#include <QObject>
#include <QVariant>
#include <vector>

// One pending author assignment of "Neuer Band": copied from the volume it
// was made from, stored with the new volume.
struct PendingAuthor {
    QString authorId;
    QString roleId;
};

// The main window's data: the connection, the thirteen tables and their data
// sources, opening and closing them, record keys and the names shown in
// place of ids. Usable without any widget.
class ComicData : public QObject {
    Q_OBJECT
public:
    explicit ComicData(QObject* parent = nullptr);
    ~ComicData() override;

    db::Connection dbConnection{QStringLiteral("dbConnection")};

    db::Table tblStripothek{dbConnection, QStringLiteral("tblStripothek"), QStringLiteral("SERVERSTRIPOTHEK")};
    db::Table tblComic2Autor{dbConnection, QStringLiteral("tblComic2Autor"), QStringLiteral("COMIC2AUTOR")};
    db::Table tblAuflagen{dbConnection, QStringLiteral("tblAuflagen"), QStringLiteral("AUFLAGEN")};
    db::Table tblComicLocal{dbConnection, QStringLiteral("tblComicLocal"), QStringLiteral("LOKALESTRIPOTHEK")};
    db::Table tblVerlage{dbConnection, QStringLiteral("tblVerlage"), QStringLiteral("VERLAGE")};
    db::Table tblSerie{dbConnection, QStringLiteral("tblSerie"), QStringLiteral("SERIEN")};
    db::Table tblAutoren{dbConnection, QStringLiteral("tblAutoren"), QStringLiteral("AUTOREN")};
    db::Table tblAutortyp{dbConnection, QStringLiteral("tblAutortyp"), QStringLiteral("AUTORTYP")};
    db::Table tblAusfuehrungen{dbConnection, QStringLiteral("tblAusfuehrungen"), QStringLiteral("AUSFUEHRUNGEN")};
    db::Table tblZustandsarten{dbConnection, QStringLiteral("tblZustandsarten"), QStringLiteral("ZUSTANDSARTEN")};
    db::Table tblLitart{dbConnection, QStringLiteral("tblLitart"), QStringLiteral("LITERATURART")};
    db::Table tblUnterart{dbConnection, QStringLiteral("tblUnterart"), QStringLiteral("UNTERART")};
    db::Table tblKeyGen{dbConnection, QStringLiteral("tblKeyGen"), QStringLiteral("KEYGEN")};

    db::DataSource srcStripothek{&tblStripothek, QStringLiteral("srcStripothek")};
    db::DataSource srcComic2Autor{&tblComic2Autor, QStringLiteral("srcComic2Autor")};
    db::DataSource srcAuflagen{&tblAuflagen, QStringLiteral("srcAuflagen")};
    db::DataSource srcComicLocal{&tblComicLocal, QStringLiteral("srcComicLocal")};
    db::DataSource srcVerlage{&tblVerlage, QStringLiteral("srcVerlage")};
    db::DataSource srcSerie{&tblSerie, QStringLiteral("srcSerie")};
    db::DataSource srcAutoren{&tblAutoren, QStringLiteral("srcAutoren")};
    db::DataSource srcAutortyp{&tblAutortyp, QStringLiteral("srcAutortyp")};
    db::DataSource srcAusfuehrungen{&tblAusfuehrungen, QStringLiteral("srcAusfuehrungen")};
    db::DataSource srcZustand{&tblZustandsarten, QStringLiteral("srcZustand")};
    db::DataSource srcLitArt{&tblLitart, QStringLiteral("srcLitArt")};
    db::DataSource srcUnterart{&tblUnterart, QStringLiteral("srcUnterart")};

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
    QString ShowReferenceName(const db::Field& sender, const QVariant& value) const;
    QString NewRecordKey();

    std::vector<db::Table*> tables();
    db::Table* tableByName(const QString& componentName);

    // Author assignments that "Neuer Band" copied. They belong to the new
    // volume while it is being inserted: its store writes them in the same
    // transaction as the row, and any other way out of the insert drops them.
    std::vector<PendingAuthor> PendingAuthors;

    // The fields every save of a catalogue row derives: key, internal ISBN,
    // series and publisher names, the two flags never null. Installed on
    // tblStripothek.beforePost, so it runs whoever posts.
    void tblStripothekBeforePost(db::Table& table);

    // The catalogue's rules (ComicRules.cpp). The pages only call them; each
    // throws on failure and leaves nothing half-written.

    // "Neu": a new row, counted as changed from the start, so that a move
    // stores it.
    void NewComic();
    // "Neuer Band": stores a row being edited, then starts a new row with
    // the bibliographic fields of the current comic and its authors pending.
    void NewVolume();
    // Deletes the current comic with its authors, editions and own copies in
    // one transaction; after a failure the same comic stays current. A new
    // row not yet stored is only dropped. True when a stored comic went.
    bool DeleteComic();
    // Refuses, with the message the user sees, to delete an author whom any
    // comic still names.
    void CheckAuthorDeletable(const QString& authorId);
    // The key of the comic a new author, edition or own copy belongs to. A
    // new comic is stored first, so that it has one; without a comic the
    // command ends quietly (db::Abort).
    QString ComicKeyForNewDetail();
    // Gives the row being inserted into one of the three detail tables its
    // own new key and the current comic's key.
    void KeyNewDetailRow(db::Table& detail);
    // Stores a new row of a lookup table (publisher, series, author) under a
    // new key and returns the key; a refused row is dropped.
    QString AddNamedRow(db::Table& table, const QString& keyField, const QString& nameField, const QString& name);

Q_SIGNALS:
    void tablesOpened();

private:
    void catalogueStateChanged();
    void storeNewVolume(db::Table& table);

    // Set while a new volume and its authors are being stored, so that the
    // row leaving the insert state on the way does not drop them.
    bool m_storingNewVolume = false;
};
