#pragma once

#include "app/ComicForm.h"
#include "../common/Named.h"
#include "cli/Demo.h"
#include "cli/Generator.h"
#include "database/Statement.h"
#include "core/Command.h"
#include "dbcontrols/DBGrid.h"
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
    ui::NoteSink previousNotes;
    ui::QuestionSink previousQuestions;
    std::unique_ptr<TComicForm> form;

    explicit Window(int generatedVolumes = 0)
    {
        if (generatedVolumes > 0)
            cli::createGeneratedDatabase(dir.path(), generatedVolumes);
        else
            cli::createDemoDatabase(dir.path());
        QDir::setCurrent(dir.path());
        previousErrors = ui::setErrorSink([this](const QString& m) { errors << m; });
        previousNotes = ui::setNoteSink([this](const QString& m) { messages << m; });
        previousQuestions = ui::setQuestionSink([this](const QString& m) {
            messages << m;
            return answer;
        });
        form = std::make_unique<TComicForm>();
    }
    ~Window()
    {
        form.reset();
        ui::setQuestionSink(std::move(previousQuestions));
        ui::setNoteSink(std::move(previousNotes));
        ui::setErrorSink(std::move(previousErrors));
        QDir::setCurrent(previous);
    }

    TSQLPage& page() { return *form->findChild<TSQLPage*>(); }
    // The window on screen with the SQL page in front, as the user has it.
    void showPage()
    {
        auto* sheet = named<QWidget>(*form, "tsSQLSheet");
        form->setPageTabVisible(sheet, true);
        named<QTabWidget>(*form, "pcMain")->setCurrentWidget(sheet);
        form->show();
        form->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        page().memoSQLDirect->setFocus();
    }
    ComicData& data() { return form->data(); }

    // Types the text as the user does and presses "&Ausführen"; a query has
    // then read its first rows and counted them.
    void run(const QString& text)
    {
        page().memoSQLDirect->setPlainText(text);
        page().btnSQLExecute->click();
        settle();
    }
    // Until nothing of the statement runs any more: its rows and its count
    // come from other threads.
    void settle()
    {
        QTRY_VERIFY_WITH_TIMEOUT(!page().qrySQLDirect.running(), 120000);
        QCoreApplication::processEvents(); // a failure is shown through the event loop
    }
    int gridRows() { return page().dbgSQLDirect->model()->rowCount(); }
    // A cell as shown once its row has been read.
    QString cell(ui::DBGrid* grid, int row, int column)
    {
        grid->model()->index(row, column).data();
        settle();
        return grid->model()->index(row, column).data().toString();
    }
    QString cell(ui::DBGrid* grid, int row, const QString& field)
    {
        for (int c = 0; c < grid->model()->columnCount(); ++c)
            if (grid->fieldNameAt(c) == field)
                return cell(grid, row, c);
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

