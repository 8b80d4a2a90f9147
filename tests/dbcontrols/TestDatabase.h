#pragma once

#include "database/Connection.h"
#include "database/Table.h"
#include "core/Command.h"
#include "../common/ModalDriver.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QStringList>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>
#include <sqlite3.h>

// A small collection file in a temporary directory: a comics table and a
// publisher list, with the connection on it.
class TestDatabase {
public:
    explicit TestDatabase(const QString& extraSql = {})
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("database")));
        const QByteArray file = (m_dir.path() + QStringLiteral("/database/stripothek.db")).toUtf8();
        sqlite3* handle = nullptr;
        QCOMPARE(sqlite3_open(file.constData(), &handle), SQLITE_OK);
        const QString sql = QStringLiteral(
            "CREATE TABLE COMICS (ID VARCHAR(50), TITEL VARCHAR(20), BAND INTEGER, PREIS DOUBLE,"
            " INHALT TEXT, FEHLT INTEGER, VERLAGID VARCHAR(50));"
            "INSERT INTO COMICS VALUES ('C1', 'Asterix', 1, 9.5, 'Gallier', 0, 'V2');"
            "INSERT INTO COMICS VALUES ('C2', 'Lucky Luke', 2, NULL, NULL, 1, 'V1');"
            "INSERT INTO COMICS VALUES ('C3', 'Tim', NULL, 12.0, 'Zeile 1\nZeile 2', NULL, 'V9');"
            "INSERT INTO COMICS VALUES ('C4', 'Spirou', 4, 3.25, NULL, 0, NULL);"
            "CREATE TABLE VERLAGE (VLID VARCHAR(50), VLNAME VARCHAR(50));"
            "INSERT INTO VERLAGE VALUES ('V1', 'Carlsen');"
            "INSERT INTO VERLAGE VALUES ('V2', 'Egmont');"
            "INSERT INTO VERLAGE VALUES ('V3', 'Ehapa');") + extraSql;
        char* error = nullptr;
        const int rc = sqlite3_exec(handle, sql.toUtf8().constData(), nullptr, nullptr, &error);
        const QString message = QString::fromUtf8(error ? error : "");
        sqlite3_free(error);
        sqlite3_close(handle);
        QVERIFY2(rc == SQLITE_OK, qPrintable(message));
        connection.setDatabasePath(m_dir.path() + QStringLiteral("/database"));
        comics = std::make_unique<db::Table>(connection, QStringLiteral("tblComics"), QStringLiteral("COMICS"));
        publishers = std::make_unique<db::Table>(connection, QStringLiteral("tblVerlage"), QStringLiteral("VERLAGE"));
        comics->open();
        publishers->open();
        srcComics = std::make_unique<db::DataSource>(comics.get(), QStringLiteral("srcComics"));
        srcPublishers = std::make_unique<db::DataSource>(publishers.get(), QStringLiteral("srcVerlage"));
    }

    QTemporaryDir m_dir;
    db::Connection connection;
    std::unique_ptr<db::Table> comics;
    std::unique_ptr<db::Table> publishers;
    std::unique_ptr<db::DataSource> srcComics;
    std::unique_ptr<db::DataSource> srcPublishers;
};

// Records what the central error display would show, for one test.
class ErrorRecorder {
public:
    ErrorRecorder()
    {
        m_previous = ui::setErrorSink([this](const QString& message) { messages << message; });
    }
    ~ErrorRecorder() { ui::setErrorSink(std::move(m_previous)); }
    QStringList messages;

private:
    ui::ErrorSink m_previous;
};

// Answers the next modal message box with the button whose text is given,
// noting its title, text and buttons. Created before the code that opens the box.
class BoxAnswer : public ModalDriver {
public:
    explicit BoxAnswer(const QString& buttonText)
    {
        then([this, buttonText](QWidget* modal) {
            seen = true;
            title = modal->windowTitle();
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (!box) {
                failures << QStringLiteral("no message box: ") + title;
                dismiss(modal);
                return;
            }
            text = box->text();
            for (QAbstractButton* b : box->buttons())
                buttons << b->text();
            for (QAbstractButton* b : box->buttons())
                if (b->text() == buttonText) {
                    b->click();
                    return;
                }
            box->reject();
        });
    }
    bool seen = false;
    QString title;
    QString text;
    QStringList buttons;
};
