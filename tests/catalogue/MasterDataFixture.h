#pragma once

#include "catalogue/MasterDataPage.h"
#include "catalogue/RemarksPage.h"
#include "covers/CollectionCovers.h"
#include "database/ComicData.h"
#include "QueryRows.h"
#include "../common/ModalDriver.h"
#include "../common/Named.h"
#include "database/Query.h"
#include "database/Schema.h"
#include "core/Command.h"
#include "dbcontrols/DBEdit.h"
#include "dbcontrols/DBGrid.h"
#include "dbcontrols/DBLookupComboBox.h"
#include "dbcontrols/DBMemo.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QToolButton>
#include <QtTest>
#include <memory>

using namespace Qt::StringLiterals;
using State = db::DataSetState;

// Plays the user at the modal windows the commands open: each answer serves
// the next modal window, notes its title, text and buttons, types the input
// (if any) into its edit box and presses the named button.
class ModalAnswers : public ModalDriver {
public:
    struct Seen {
        QString title, text;
        QStringList buttons;
    };
    QList<Seen> seen;

    void answer(const QString& button, const QString& input = {})
    {
        then([this, button, input](QWidget* modal) {
            Seen s{modal->windowTitle(), {}, {}};
            if (auto* box = qobject_cast<QMessageBox*>(modal))
                s.text = box->text();
            else if (auto* prompt = modal->findChild<QLabel*>())
                s.text = prompt->text();
            if (auto* edit = modal->findChild<QLineEdit*>(); edit && !input.isNull())
                edit->setText(input);
            for (QAbstractButton* b : modal->findChildren<QAbstractButton*>())
                s.buttons << b->text();
            seen.append(s);
            press(modal, button);
        });
    }
    bool done() const { return finished(); }
};


// A fresh collection with the data module and the page "Stammdaten" on it;
// errors go to m_errors instead of a message box.
class MasterDataFixture : public QObject {
protected:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ComicData> m_data;
    std::unique_ptr<covers::CollectionCovers> m_covers;
    std::unique_ptr<TMasterDataPage> m_page;
    QStringList m_errors;
    QString m_roles[3];

    db::Table& tbl() { return m_data->tblStripothek(); }
    // A control of the page, found by its name as a user's tool finds it.
    template <class T = QAbstractButton>
    T* control(const char* name) const
    {
        return named<T>(*m_page, name);
    }
    db::Field& field(const char* name) { return tbl().fieldByName(QLatin1String(name)); }

    QString addLookup(db::Table& table, const char* keyField, const char* nameField, const QString& name)
    {
        const QString key = m_data->NewRecordKey();
        table.append();
        table.fieldByName(QLatin1String(keyField)).setAsString(key);
        table.fieldByName(QLatin1String(nameField)).setAsString(name);
        table.post();
        return key;
    }
    QString addSeries(const QString& name) { return addLookup(m_data->tblSerie(), "SRSERIENID", "SRNAME", name); }
    QString addPublisher(const QString& name) { return addLookup(m_data->tblVerlage(), "VLVERLAGID", "VLNAME1", name); }

    // Posted through the table, so the derived fields are set.
    QString addComic(const QString& title, const QString& series = {}, const QString& publisher = {})
    {
        tbl().append();
        field("SCLTITEL1").setAsString(title);
        field("SCLSERIEID").setAsString(series);
        field("SCLVERLAGID").setAsString(publisher);
        tbl().post();
        return field("SCLCOMICID").asString();
    }

    // Written behind the tables' backs; reread() lets them see it.
    void insert(const QString& table, const QStringList& fields, const QVariantList& values)
    {
        const QString marks = QStringList(fields.size(), u"?"_s).join(u',');
        m_data->dbConnection().execute(u"INSERT INTO %1 (%2) VALUES (%3)"_s.arg(table, fields.join(u','), marks), values);
    }
    void addAuthor(const QString& comic, const QString& author, const QString& role)
    {
        insert(u"COMIC2AUTOR"_s, {"C2AID", "C2AAUTORID", "C2ACOMICID", "C2AATID"},
               {m_data->NewRecordKey(), author, comic, role});
    }
    void addEditionAndCopy(const QString& comic)
    {
        insert(u"AUFLAGEN"_s, {"ALAUFLAGEID", "ALCOMICID"}, {m_data->NewRecordKey(), comic});
        insert(u"LOKALESTRIPOTHEK"_s, {"LCLCOMICID", "LCLSERVERCOMICID"}, {m_data->NewRecordKey(), comic});
    }
    void reread()
    {
        for (db::Table* t : {&tbl(), &m_data->tblComic2Autor(), &m_data->tblAuflagen(), &m_data->tblComicLocal()})
            t->refresh();
    }
    void locateComic(const QString& key)
    {
        reread();
        QVERIFY(tbl().locate(u"SCLCOMICID"_s, key));
    }

    QStringList rows(const QString& sql, const QVariantList& params = {})
    {
        return queryRows(m_data->dbConnection(), sql, params);
    }
    int count(const QString& table) { return rows(u"SELECT count(*) FROM "_s + table).value(0).toInt(); }
    QString stored(const QString& comic, const char* column)
    {
        return rows(u"SELECT %1 FROM SERVERSTRIPOTHEK WHERE SCLCOMICID = ?"_s.arg(QLatin1String(column)), {comic})
            .value(0);
    }
    QString comicTitled(const QString& title)
    {
        return rows(u"SELECT SCLCOMICID FROM SERVERSTRIPOTHEK WHERE SCLTITEL1 = ?"_s, {title}).value(0);
    }
    QStringList authorsOf(const QString& comic)
    {
        return rows(u"SELECT C2AAUTORID, C2AATID FROM COMIC2AUTOR WHERE C2ACOMICID = ? ORDER BY rowid"_s, {comic});
    }
    int lastKeyNumber() { return rows(u"SELECT KGNEXTID FROM KEYGEN"_s).value(0).toInt(); }

    void showPage()
    {
        m_page->resize(1000, 700);
        m_page->show();
        m_page->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_page.get()));
    }

    void setUpCollection()
    {
        ui::setErrorSink([this](const QString& message) { m_errors << message; });
        ui::setNoteSink([this](const QString& message) { m_errors << message; });
        m_errors.clear();
        m_dir = std::make_unique<QTemporaryDir>();
        db::schema::createDatabase(m_dir->path());
        m_data = std::make_unique<ComicData>();
        m_data->dbConnection().setDatabasePath(m_dir->path() + u"/database"_s);
        m_covers = std::make_unique<covers::CollectionCovers>(m_data->dbConnection());
        m_page = std::make_unique<TMasterDataPage>(*m_data, *m_covers); // as in the frame: before the tables open
        m_data->OpenTables();
        db::Table& roles = m_data->tblAutortyp();
        for (QString& role : m_roles) {
            role = roles.fieldByName(u"ATID"_s).asString();
            roles.next();
        }
        QVERIFY(!m_roles[2].isEmpty());
    }

    void tearDownCollection()
    {
        m_page.reset();
        m_covers.reset();
        m_data.reset();
        m_dir.reset();
        ui::setNoteSink({});
        ui::setErrorSink({});
    }
};
