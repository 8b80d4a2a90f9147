#pragma once

#include "app/ComicForm.h"
#include "cli/Demo.h"
#include "cli/Generator.h"
#include "database/Statement.h"
#include "core/Command.h"
#include "dbcontrols/DBGrid.h"
#include "tools/Messages.h"
#include "tools/SqlPage.h"

#include <QDir>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

// The main window on a collection in the working directory, with every box
// it would show recorded instead; questions are answered with answer.
struct Window {
    bool answer = true;
    QTemporaryDir dir;
    QString previous = QDir::currentPath();
    QStringList errors;
    QStringList messages;
    ui::ErrorSink previousErrors;
    tools::MessageSink previousMessages;
    std::unique_ptr<TComicForm> form;

    explicit Window(int generatedVolumes = 0)
    {
        if (generatedVolumes > 0)
            cli::createGeneratedDatabase(dir.path(), generatedVolumes);
        else
            cli::createDemoDatabase(dir.path());
        QDir::setCurrent(dir.path());
        previousErrors = ui::setErrorSink([this](const QString& m) { errors << m; });
        previousMessages = tools::setMessageSink([this](const QString& m) {
            messages << m;
            return answer;
        });
        form = std::make_unique<TComicForm>();
    }
    ~Window()
    {
        form.reset();
        tools::setMessageSink(std::move(previousMessages));
        ui::setErrorSink(std::move(previousErrors));
        QDir::setCurrent(previous);
    }

    TSQLPage& page() { return *form->findChild<TSQLPage*>(); }
    ComicData& data() { return form->data(); }

    // Types the text as the user does and presses "&Ausführen".
    void run(const QString& text)
    {
        page().memoSQLDirect->setPlainText(text);
        page().btnSQLExecute->click();
    }
    int gridRows() { return page().dbgSQLDirect->model()->rowCount(); }
    QString cell(ui::DBGrid* grid, int row, const QString& field)
    {
        for (int c = 0; c < grid->model()->columnCount(); ++c)
            if (grid->fieldNameAt(c) == field)
                return grid->model()->index(row, c).data().toString();
        return QStringLiteral("<keine Spalte %1>").arg(field);
    }
    int scalar(const QString& sql)
    {
        db::Statement statement(data().dbConnection().handle(), sql);
        return statement.step() ? int(statement.columnInt64(0)) : -1;
    }
    void verifyAllOpen()
    {
        for (db::Table* table : data().tables())
            QVERIFY2(table->active(), qPrintable(table->name()));
    }
};

