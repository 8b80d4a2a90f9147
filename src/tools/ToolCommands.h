#pragma once

#include <QObject>
#include <QString>
#include <functional>

class ComicData;
class QLabel;
class QWidget;

// The maintenance commands of the menus: the export of every table, the
// emptying of the catalogue and the ISBN check. Each throws on failure; the
// frame runs them through the central command runner.
class TToolCommands : public QObject {
    Q_OBJECT
public:
    // owner parents the dialogs; the two labels are the status bar's panels.
    TToolCommands(ComicData& data, QWidget* owner, QLabel* statusTable, QLabel* statusProgress);

    // "Exportieren nach": asks for a directory (starting at the desktop);
    // cancelling ends quietly.
    void menExportClick();
    // Stores the entry being edited, then writes every table into directory,
    // showing its progress in the status bar and repainting while it runs
    // (input waits for the end); then "Daten wurden exportiert!" and both
    // panels cleared. An error stops at that table and leaves the panels as
    // they were; a refused entry stops before the first.
    void ExportTo(const QString& directory);
    // "Comicdatenbank leeren": asks first; "&Nein" or Esc changes nothing.
    void menEmptyDBClick();
    // "ISBN-Nr kontrollieren".
    void menCheckISBNNrClick();

    // Replaces the folder chooser (tests); an empty chooser brings it back.
    using DirectoryChooser = std::function<QString(QWidget* owner)>;
    void setDirectoryChooser(DirectoryChooser chooser) { m_chooser = std::move(chooser); }

Q_SIGNALS:
    // The catalogue lost rows (emptying); the count label follows.
    void catalogueChanged();

private:
    ComicData& m_data;
    QWidget* m_owner;
    QLabel* m_statusTable;
    QLabel* m_statusProgress;
    DirectoryChooser m_chooser;
};
