#pragma once

// What the tests of the list commands and their dialogs share: a user who
// answers modal windows, and a small collection with a stand-in for the page
// "Stammdaten" that carries the lists' controls under their names.

#include "catalogue/DetailCommands.h"
#include "database/ComicData.h"
#include "QueryRows.h"
#include "database/Query.h"
#include "database/Schema.h"
#include "dbcontrols/Command.h"
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
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtTest>
#include <functional>
#include <memory>

inline QString S(const char* text)
{
    return QString::fromUtf8(text);
}

// Plays the user: the steps run one after the other on whatever modal window
// is open, each noting its title (and a message box's text) first. A modal
// window with no step left is noted and closed, so a test never hangs.
class DialogUser : public QObject {
public:
    using Step = std::function<void(QWidget* modal)>;

    DialogUser()
    {
        m_timer.setInterval(2);
        connect(&m_timer, &QTimer::timeout, this, &DialogUser::look);
        m_timer.start();
    }

    DialogUser& then(Step step)
    {
        m_steps.append(std::move(step));
        return *this;
    }
    bool finished() const { return m_steps.isEmpty() && unexpected.isEmpty() && failures.isEmpty(); }

    QStringList titles;     // each window a step ran on
    QStringList texts;      // the text of each message box among them
    QStringList unexpected; // windows nobody expected
    QStringList failures;   // controls a step did not find

    // Step helpers.
    template <class T>
    T* find(QWidget* modal, const QString& name)
    {
        T* w = modal->findChild<T*>(name);
        if (!w)
            failures << modal->windowTitle() + QStringLiteral(": no ") + name;
        return w;
    }

    // The button named so, or else captioned so.
    void press(QWidget* modal, const QString& button)
    {
        QAbstractButton* target = modal->findChild<QAbstractButton*>(button);
        for (QAbstractButton* b : modal->findChildren<QAbstractButton*>())
            if (!target && b->text() == button)
                target = b;
        if (target) {
            target->click();
        } else {
            failures << modal->windowTitle() + QStringLiteral(": no button ") + button;
            modal->close();
        }
    }

    // Types as the user does: the old text selected and replaced.
    void type(QWidget* modal, const QString& name, const QString& text)
    {
        QWidget* w = find<QWidget>(modal, name);
        if (!w)
            return;
        w->setFocus();
        if (auto* line = qobject_cast<QLineEdit*>(w))
            line->selectAll();
        else if (auto* memo = qobject_cast<QPlainTextEdit*>(w))
            memo->selectAll();
        if (text.isEmpty())
            QTest::keyClick(w, Qt::Key_Delete);
        else
            for (const QChar c : text) // keyClicks knows ASCII only
                QTest::sendKeyEvent(QTest::Click, w, c.unicode() < 128 ? Qt::Key(QTest::asciiToKey(char(c.unicode())))
                                                                        : Qt::Key_unknown,
                                    QString(c), Qt::NoModifier);
    }

    void choose(QWidget* modal, const QString& name, const QString& item)
    {
        auto* box = find<QComboBox>(modal, name);
        if (!box)
            return;
        const int index = box->findText(item);
        if (index < 0) {
            failures << name + QStringLiteral(" lists no ") + item;
            return;
        }
        box->setCurrentIndex(index);
        Q_EMIT box->activated(index);
    }

    // Leaves a dialog as the user can: a button, Esc or the close box.
    void leave(QWidget* modal, const QString& how)
    {
        if (how == QStringLiteral("Esc"))
            QTest::keyClick(modal, Qt::Key_Escape);
        else if (how == QStringLiteral("close box"))
            modal->close();
        else
            press(modal, how);
    }

    // Answers the one-line input box.
    Step input(const QString& text, const QString& button = QStringLiteral("OK"))
    {
        return [this, text, button](QWidget* modal) {
            if (auto* edit = find<QLineEdit>(modal, QStringLiteral("editValue")))
                edit->setText(text);
            press(modal, button);
        };
    }
    Step answer(const QString& button)
    {
        return [this, button](QWidget* modal) { press(modal, button); };
    }

private:
    // A step may open a window of its own and wait in it; it runs from a
    // timer of its own, so that this one goes on serving the new window.
    void look()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (m_scheduled || !modal || !modal->isVisible())
            return;
        if (m_steps.isEmpty()) {
            unexpected << modal->windowTitle();
            modal->close();
            return;
        }
        m_scheduled = true;
        QTimer::singleShot(0, this, [this, modal = QPointer<QWidget>(modal)] {
            m_scheduled = false;
            if (!modal || m_steps.isEmpty())
                return;
            titles << modal->windowTitle();
            if (auto* box = qobject_cast<QMessageBox*>(modal.data()))
                texts << box->text();
            const Step step = m_steps.takeFirst();
            step(modal);
        });
    }

    bool m_scheduled = false;
    QList<Step> m_steps;
    QTimer m_timer;
};

// A fresh collection for each test, opened as the main window opens it, and
// the stand-in page with the commands attached.
class DetailFixture : public QObject {
protected:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<ComicData> m_data;
    std::unique_ptr<QWidget> m_frame;
    TDetailCommands* m_commands = nullptr;
    QWidget* m_page = nullptr;
    QStringList m_errors;

    void openCollection()
    {
        m_errors.clear();
        ui::setErrorSink([this](const QString& message) { m_errors << message; });
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        db::schema::createDatabase(m_dir->path());
        m_data = std::make_unique<ComicData>();
        m_data->dbConnection.setDatabasePath(m_dir->path() + QStringLiteral("/database"));
        m_data->OpenTables();

        m_frame = std::make_unique<QWidget>();
        m_frame->resize(900, 600);
        m_page = new QWidget(m_frame.get());
        auto* layout = new QVBoxLayout(m_page);
        auto grid = [&](const char* name, db::DataSource* source) {
            auto* g = new ui::DBGrid(source, m_page);
            g->setObjectName(QLatin1String(name));
            layout->addWidget(g);
        };
        grid("dbgAutoren", &m_data->srcComic2Autor);
        grid("dbgAuflagen", &m_data->srcAuflagen);
        grid("dbgLAuflage", &m_data->srcComicLocal);
        for (const char* name : {"btnAddAuthor", "btnDelAuthor", "btnEditAuthor", "btnAddAuflage", "btnDelAuflage",
                                 "btnEditAuflage", "btnAddLComic", "btnDelLComic", "btnEditLComic"}) {
            auto* b = new QToolButton(m_page);
            b->setObjectName(QLatin1String(name));
            layout->addWidget(b);
        }
        for (const char* name : {"btnAutShortCut", "btnAuflShortCut"}) {
            auto* b = new QPushButton(m_page);
            b->setObjectName(QLatin1String(name));
            layout->addWidget(b);
        }
        auto* memo = new ui::DBMemo(&m_data->srcComicLocal, QStringLiteral("LCLBEMERKUNG"), m_page);
        memo->setObjectName(QStringLiteral("editBemerkung2"));
        memo->setReadOnly(true);
        layout->addWidget(memo);
        auto* frameLayout = new QVBoxLayout(m_frame.get());
        frameLayout->addWidget(m_page);

        m_commands = new TDetailCommands(*m_data, m_frame.get());
        m_commands->attach(m_page);
        m_frame->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_frame.get()));
    }

    void closeCollection()
    {
        m_frame.reset();
        m_data.reset();
        m_dir.reset();
        ui::setErrorSink({});
    }

    template <class T = QAbstractButton>
    T* pageControl(const char* name)
    {
        return m_page->findChild<T*>(QLatin1String(name));
    }

    QStringList rows(const QString& sql, const QVariantList& params = {})
    {
        return queryRows(m_data->dbConnection, sql, params);
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
        db::Table& comic = m_data->tblStripothek;
        comic.append();
        comic.fieldByName(QStringLiteral("SCLTITEL1")).setAsString(title);
        comic.post();
        return comic.fieldByName(QStringLiteral("SCLCOMICID")).asString();
    }
    QString addAuthor(const QString& name)
    {
        return addRow(m_data->tblAutoren, {QStringLiteral("ANAUTORID"), QStringLiteral("ANNAME")},
                      {m_data->NewRecordKey(), name});
    }
    // Assigns an author to the current comic.
    QString assign(const QString& author, const QString& role)
    {
        return addRow(m_data->tblComic2Autor,
                      {QStringLiteral("C2AID"), QStringLiteral("C2AAUTORID"), QStringLiteral("C2ACOMICID"),
                       QStringLiteral("C2AATID")},
                      {m_data->NewRecordKey(), author, currentComic(), role});
    }
    // The record key handed out last.
    QString lastKey() { return value(QStringLiteral("SELECT KGDBID || CAST(KGNEXTID AS INTEGER) FROM KEYGEN")); }
    QString currentComic() { return m_data->tblStripothek.fieldByName(QStringLiteral("SCLCOMICID")).asString(); }
    QString keyOf(const char* table, const char* keyField, const char* nameField, const QString& name)
    {
        return value(QStringLiteral("SELECT %1 FROM %2 WHERE %3 = ?")
                         .arg(QLatin1String(keyField), QLatin1String(table), QLatin1String(nameField)),
                     {name});
    }
    QString role(const QString& name) { return keyOf("AUTORTYP", "ATID", "ATTYP", name); }
    QString execution(const QString& name) { return keyOf("AUSFUEHRUNGEN", "AFAUSFID", "AFNAME", name); }
};
