#include "tools/ToolCommands.h"

#include "core/Command.h"
#include "database/ComicData.h"
#include "dbcontrols/FieldLink.h"
#include "tools/Export.h"
#include "tools/BackupHook.h"
#include "tools/TableMaintenance.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLabel>
#include <QStandardPaths>

TToolCommands::TToolCommands(ComicData& data, QWidget* owner, QLabel* statusTable, QLabel* statusProgress)
    : QObject(owner), m_data(data), m_owner(owner), m_statusTable(statusTable), m_statusProgress(statusProgress)
{
}

void TToolCommands::menExportClick()
{
    QString directory;
    if (m_chooser) {
        directory = m_chooser(m_owner);
    } else {
        // Not every home has a desktop folder; the dialog would offer a missing one.
        QString start = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
        if (!QDir(start).exists())
            start = QDir::homePath();
        directory = QFileDialog::getExistingDirectory(m_owner, QStringLiteral("Bitte das Exportverzeichnis wählen"),
                                                      start, QFileDialog::ShowDirsOnly);
    }
    if (directory.isEmpty())
        return;
    ExportTo(directory);
}

void TToolCommands::ExportTo(const QString& directory)
{
    // The files hold what is stored: what the user is typing is stored
    // first, as closing does; a value the field refuses ends the command
    // with its message, before any file is written.
    for (db::Table* table : m_data.tables())
        if (table->active())
            ui::storeEditedRow(*table);
    tools::ExportProgress progress;
    progress.tableStarted = [this](const QString& table) {
        m_statusTable->setText(QStringLiteral("Exportiere Tabelle ") + table);
    };
    int shown = -1;
    progress.percent = [this, &shown](int percent) {
        // The same text again would only cost a repaint request per row.
        if (percent == shown)
            return;
        shown = percent;
        m_statusProgress->setText(QStringLiteral("%1 exportiert").arg(percent));
    };
    // The window repaints between rows, fifty times a second: asking the
    // window system after every row would take longer than the export.
    // Input waits until the export is done: a command run meanwhile could
    // change the rows being read.
    QElapsedTimer sinceEvents;
    sinceEvents.start();
    progress.afterRow = [&sinceEvents] {
        if (sinceEvents.elapsed() < 20)
            return;
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        sinceEvents.restart();
    };
    tools::ExportAllTables(m_data.dbConnection(), directory, progress);
    m_statusTable->clear();
    m_statusProgress->clear();
    ui::showNote(QStringLiteral("Daten wurden exportiert!"), m_owner);
}

void TToolCommands::menEmptyDBClick()
{
    if (!ui::askYesNo(QStringLiteral("Möchten Sie wirklich alle Daten löschen?"), m_owner))
        return;
    // What the user typed goes into the copy, not into the void: closing a
    // table would drop it.
    for (db::Table* table : m_data.tables())
        if (table->active())
            ui::storeEditedRow(*table);
    tools::backupBefore(QStringLiteral("Comicdatenbank leeren"));
    try {
        tools::EmptyCatalogue(m_data);
    } catch (...) {
        // Emptying may have succeeded and only the packing after it failed.
        Q_EMIT catalogueChanged();
        throw;
    }
    Q_EMIT catalogueChanged();
    ui::showNote(QStringLiteral("Tabellen wurden geleert!"), m_owner);
}

void TToolCommands::menCheckISBNNrClick()
{
    // The walk's first move would store the entry being edited; stored now,
    // it is in the copy as well.
    db::Table& catalogue = m_data.tblStripothek();
    if (catalogue.active())
        ui::storeEditedRow(catalogue);
    tools::backupBefore(QStringLiteral("ISBN-Nr kontrollieren"));
    tools::CheckISBNNumbers(m_data);
}
