#pragma once

// What the tests of the list commands and their dialogs share: a user who
// answers modal windows, and a small collection with a stand-in for the page
// "Stammdaten" that carries the lists' controls under their names and hands
// them to the commands.

#include "catalogue/DetailCommands.h"
#include "database/ComicData.h"
#include "QueryRows.h"
#include "../common/ModalDriver.h"
#include "database/Query.h"
#include "database/Schema.h"
#include "core/Command.h"
#include "dbcontrols/DBGrid.h"
#include "dbcontrols/DBMemo.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtTest>
#include <functional>
#include <memory>

inline QString S(const char* text)
{
    return QString::fromUtf8(text);
}

// The user at the dialogs: see ModalDriver.
using DialogUser = ModalDriver;

// A fresh collection for each test, opened as the main window opens it, and
// the stand-in page with the commands attached.
class DetailFixture : public QObject {
protected:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ComicData> m_data;
    std::unique_ptr<QWidget> m_frame;
    TDetailCommands* m_commands = nullptr;
    QWidget* m_page = nullptr;
    TDetailControls m_controls;
    QStringList m_errors;

    void openCollection()
    {
        m_errors.clear();
        ui::setErrorSink([this](const QString& message) { m_errors << message; });
        ui::setNoteSink([this](const QString& message) { m_errors << message; });
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        db::schema::createDatabase(m_dir->path());
        m_data = std::make_unique<ComicData>();
        m_data->dbConnection().setDatabasePath(m_dir->path() + QStringLiteral("/database"));
        m_data->OpenTables();

        m_frame = std::make_unique<QWidget>();
        m_frame->resize(900, 600);
        m_page = new QWidget(m_frame.get());
        auto* layout = new QVBoxLayout(m_page);
        auto grid = [&](const char* name, db::DataSource* source) {
            auto* g = new ui::DBGrid(source, m_page);
            g->setObjectName(QLatin1String(name));
            layout->addWidget(g);
            return g;
        };
        m_controls.dbgAutoren = grid("dbgAutoren", &m_data->srcComic2Autor());
        m_controls.dbgAuflagen = grid("dbgAuflagen", &m_data->srcAuflagen());
        m_controls.dbgLAuflage = grid("dbgLAuflage", &m_data->srcComicLocal());
        auto button = [&](QAbstractButton* b, const char* name) {
            b->setObjectName(QLatin1String(name));
            layout->addWidget(b);
            return b;
        };
        m_controls.btnAddAuthor = button(new QToolButton(m_page), "btnAddAuthor");
        m_controls.btnDelAuthor = button(new QToolButton(m_page), "btnDelAuthor");
        m_controls.btnEditAuthor = button(new QToolButton(m_page), "btnEditAuthor");
        m_controls.btnAddAuflage = button(new QToolButton(m_page), "btnAddAuflage");
        m_controls.btnDelAuflage = button(new QToolButton(m_page), "btnDelAuflage");
        m_controls.btnEditAuflage = button(new QToolButton(m_page), "btnEditAuflage");
        m_controls.btnAddLComic = button(new QToolButton(m_page), "btnAddLComic");
        m_controls.btnDelLComic = button(new QToolButton(m_page), "btnDelLComic");
        m_controls.btnEditLComic = button(new QToolButton(m_page), "btnEditLComic");
        m_controls.btnAutShortCut = button(new QPushButton(m_page), "btnAutShortCut");
        m_controls.btnAuflShortCut = button(new QPushButton(m_page), "btnAuflShortCut");
        auto* memo = new ui::DBMemo(&m_data->srcComicLocal(), QStringLiteral("LCLBEMERKUNG"), m_page);
        memo->setObjectName(QStringLiteral("editBemerkung2"));
        memo->setReadOnly(true);
        layout->addWidget(memo);
        auto* frameLayout = new QVBoxLayout(m_frame.get());
        frameLayout->addWidget(m_page);

        m_commands = new TDetailCommands(*m_data, m_frame.get());
        m_commands->attach(m_controls);
        m_frame->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_frame.get()));
    }

    void closeCollection()
    {
        m_frame.reset();
        m_data.reset();
        m_dir.reset();
        ui::setNoteSink({});
        ui::setErrorSink({});
    }

    template <class T = QAbstractButton>
    T* pageControl(const char* name)
    {
        return m_page->findChild<T*>(QLatin1String(name));
    }

    QStringList rows(const QString& sql, const QVariantList& params = {})
    {
        return queryRows(m_data->dbConnection(), sql, params);
    }
    QString value(const QString& sql, const QVariantList& params = {}) { return rows(sql, params).value(0); }

    QString addRow(db::Table& table, const QStringList& fields, const QStringList& values)
    {
        table.append();
        for (qsizetype i = 0; i < fields.size(); ++i)
            table.fieldByName(fields[i]).setAsString(values[i]);
        table.post();
        return table.fieldByName(fields[0]).asString();
    }
    QString addComic(const QString& title)
    {
        db::Table& comic = m_data->tblStripothek();
        comic.append();
        comic.fieldByName(QStringLiteral("SCLTITEL1")).setAsString(title);
        comic.post();
        return comic.fieldByName(QStringLiteral("SCLCOMICID")).asString();
    }
    QString addAuthor(const QString& name)
    {
        return addRow(m_data->tblAutoren(), {QStringLiteral("ANAUTORID"), QStringLiteral("ANNAME")},
                      {m_data->NewRecordKey(), name});
    }
    // Assigns an author to the current comic.
    QString assign(const QString& author, const QString& role)
    {
        return addRow(m_data->tblComic2Autor(),
                      {QStringLiteral("C2AID"), QStringLiteral("C2AAUTORID"), QStringLiteral("C2ACOMICID"),
                       QStringLiteral("C2AATID")},
                      {m_data->NewRecordKey(), author, currentComic(), role});
    }
    // The record key handed out last.
    QString lastKey() { return value(QStringLiteral("SELECT KGDBID || CAST(KGNEXTID AS INTEGER) FROM KEYGEN")); }
    QString currentComic() { return m_data->tblStripothek().fieldByName(QStringLiteral("SCLCOMICID")).asString(); }
    QString keyOf(const char* table, const char* keyField, const char* nameField, const QString& name)
    {
        return value(QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?")
                         .arg(QLatin1String(keyField), QLatin1String(table), QLatin1String(nameField)),
                     {name});
    }
    QString role(const QString& name) { return keyOf("AUTORTYP", "ATID", "ATTYP", name); }
    QString execution(const QString& name) { return keyOf("AUSFUEHRUNGEN", "AFAUSFID", "AFNAME", name); }
};
