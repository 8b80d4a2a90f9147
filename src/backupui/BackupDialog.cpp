#include "backupui/BackupDialog.h"

#include "backup/Snapshot.h"
#include "backupui/BackupBeforeCommand.h"
#include "backupui/KeepSettingsDialog.h"
#include "backupui/Progress.h"
#include "core/Command.h"
#include "core/WaitCursor.h"
#include "database/ComicData.h"
#include "dbcontrols/FieldLink.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <cstdio>

namespace {

const QLocale& german()
{
    static const QLocale locale(QLocale::German, QLocale::Germany);
    return locale;
}

QString count(qint64 n)
{
    return n < 0 ? QStringLiteral("?") : german().toString(n);
}

QString contents(qint64 volumes, qint64 ownCopies)
{
    return QStringLiteral("%1 Bände, %2 eigene Exemplare").arg(count(volumes), count(ownCopies));
}

QString megabytes(qint64 bytes)
{
    return german().toString(double(bytes) / 1e6, 'f', 1) + QStringLiteral(" MB");
}

QString shown(const QString& file)
{
    return QDir::toNativeSeparators(file);
}

QString databaseFolder(ComicData& data)
{
    return QFileInfo(data.dbConnection().databaseFile()).absolutePath();
}

enum Column { ColCreated, ColSize, ColVolumes, ColOwnCopies, ColReason };

} // namespace

namespace backupui {

backup::RestoreResult restoreCollection(ComicData& data, const QString& nameOrFile, const backup::Progress& progress)
{
    backup::BackupStore store(databaseFolder(data));
    const QString file = store.resolve(nameOrFile);
    // What is not a collection at all is told before the tables close, so
    // the window keeps its place. The whole check (every page) follows in
    // the restore itself.
    try {
        backup::Handle copy(file, backup::Handle::Mode::ReadOnly);
        backup::checkLayout(copy, QStringLiteral("Die Datei „%1“").arg(shown(file)));
    } catch (const std::exception& e) {
        // A plain error: the live collection is fine, whatever SQLite said of this file.
        throw db::Error(QString::fromUtf8(e.what())
                        + QStringLiteral(". Es wurde nichts wiederhergestellt; die Sammlung ist unverändert"));
    }
    // Stored, the entry being edited is in the safety copy the restore makes.
    for (db::Table* table : data.tables())
        if (table->active())
            ui::storeEditedRow(*table);
    data.CloseTables();
    backup::RestoreResult result;
    try {
        result = store.restore(file, progress);
    } catch (...) {
        data.OpenTables();
        throw;
    }
    notifyCopyMade(databaseFolder(data));
    data.OpenTables();
    return result;
}

} // namespace backupui

TBackupDialog::TBackupDialog(ComicData& data, QWidget* owner)
    : QDialog(owner), m_data(data), m_store(databaseFolder(data))
{
    setObjectName(QStringLiteral("BackupDialog"));
    setWindowTitle(QStringLiteral("Sicherungen"));

    labFolder = new QLabel;
    labFolder->setObjectName(QStringLiteral("labFolder"));
    labFolder->setTextFormat(Qt::PlainText);
    labFolder->setWordWrap(true);
    labFolder->setText(QStringLiteral("Die Sicherungen liegen im Ordner „%1“. Neue entstehen vor jedem Befehl, der "
                                      "viele Daten auf einmal ändert, und beim Beenden nach Änderungen.")
                           .arg(shown(m_store.folder())));

    lvBackups = new QTreeWidget;
    lvBackups->setObjectName(QStringLiteral("lvBackups"));
    lvBackups->setRootIsDecorated(false);
    lvBackups->setUniformRowHeights(true);
    lvBackups->setSelectionMode(QAbstractItemView::SingleSelection);
    lvBackups->setHeaderLabels({QStringLiteral("Angelegt"), QStringLiteral("Größe"), QStringLiteral("Bände"),
                                QStringLiteral("Eigene Exemplare"), QStringLiteral("Anlass")});
    lvBackups->header()->setStretchLastSection(true);
    lvBackups->headerItem()->setTextAlignment(ColSize, Qt::AlignRight | Qt::AlignVCenter);
    lvBackups->headerItem()->setTextAlignment(ColVolumes, Qt::AlignRight | Qt::AlignVCenter);
    lvBackups->headerItem()->setTextAlignment(ColOwnCopies, Qt::AlignRight | Qt::AlignVCenter);

    labStatus = new QLabel;
    labStatus->setObjectName(QStringLiteral("labStatus"));
    labStatus->setTextFormat(Qt::PlainText);

    const auto button = [this](const char* name, const QString& caption) {
        auto* b = new QPushButton(caption, this);
        b->setObjectName(QLatin1String(name));
        // Enter in the list must not replace the collection.
        b->setAutoDefault(false);
        return b;
    };
    btnRestore = button("btnRestore", QStringLiteral("&Wiederherstellen …"));
    btnRestoreFile = button("btnRestoreFile", QStringLiteral("Aus &Datei wiederherstellen …"));
    btnExport = button("btnExport", QStringLiteral("Kopie &speichern unter …"));
    btnSettings = button("btnSettings", QStringLiteral("&Einstellungen …"));
    btnClose = button("btnClose", QStringLiteral("Schließen"));
    btnClose->setDefault(true);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnRestore);
    buttons->addWidget(btnRestoreFile);
    buttons->addWidget(btnExport);
    buttons->addStretch(1);
    buttons->addWidget(btnSettings);
    buttons->addWidget(btnClose);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(labFolder);
    layout->addWidget(lvBackups, 1);
    layout->addWidget(labStatus);
    layout->addLayout(buttons);
    resize(820, 440);

    ui::onCommand(btnRestore, &QPushButton::clicked, this, [this](bool) { btnRestoreClick(); });
    ui::onCommand(btnRestoreFile, &QPushButton::clicked, this, [this](bool) { btnRestoreFileClick(); });
    ui::onCommand(btnExport, &QPushButton::clicked, this, [this](bool) { btnExportClick(); });
    ui::onCommand(btnSettings, &QPushButton::clicked, this, [this](bool) { btnSettingsClick(); });
    connect(btnClose, &QPushButton::clicked, this, &QDialog::reject);
    connect(lvBackups, &QTreeWidget::itemSelectionChanged, this, &TBackupDialog::updateButtons);

    ui::runCommand([this] { Refresh(); });
    updateButtons();
}

void TBackupDialog::Refresh()
{
    lvBackups->clear();
    const QList<backup::BackupInfo> copies = m_store.list();
    for (const backup::BackupInfo& copy : copies) {
        auto* item = new QTreeWidgetItem(lvBackups);
        item->setText(ColCreated, german().toString(copy.created, QStringLiteral("dd.MM.yyyy HH:mm:ss")));
        item->setText(ColSize, megabytes(copy.bytes));
        item->setText(ColVolumes, count(copy.volumes));
        item->setText(ColOwnCopies, count(copy.ownCopies));
        item->setText(ColReason, copy.reason.isEmpty() ? QStringLiteral("(nicht vermerkt)") : copy.reason);
        for (const int c : {ColSize, ColVolumes, ColOwnCopies})
            item->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
        item->setData(ColCreated, Qt::UserRole, copy.name);
        item->setData(ColCreated, Qt::UserRole + 1,
                      QStringLiteral("die Sicherung vom %1 (%2)").arg(item->text(ColCreated),
                                                                      contents(copy.volumes, copy.ownCopies)));
        item->setToolTip(ColCreated, shown(copy.file));
        item->setToolTip(ColReason, item->text(ColReason));
    }
    for (int c = 0; c < ColReason; ++c)
        lvBackups->resizeColumnToContents(c);
    if (copies.isEmpty())
        labStatus->setText(QStringLiteral("Noch keine Sicherungen."));
    else
        lvBackups->setCurrentItem(lvBackups->topLevelItem(0));
    updateButtons();
}

void TBackupDialog::updateButtons()
{
    btnRestore->setEnabled(lvBackups->currentItem() && lvBackups->currentItem()->isSelected());
}

void TBackupDialog::btnRestoreClick()
{
    QTreeWidgetItem* item = lvBackups->currentItem();
    if (!item)
        return;
    restoreFrom(item->data(ColCreated, Qt::UserRole).toString(), item->data(ColCreated, Qt::UserRole + 1).toString());
}

void TBackupDialog::btnRestoreFileClick()
{
    QString file;
    if (m_openChooser)
        file = m_openChooser(this);
    else
        file = QFileDialog::getOpenFileName(this, QStringLiteral("Sicherung wählen"),
                                            QDir(m_store.folder()).exists() ? m_store.folder() : QDir::homePath(),
                                            QStringLiteral("Stripothek-Sammlungen (*.db);;Alle Dateien (*)"));
    if (file.isEmpty())
        return;
    restoreFrom(file, QStringLiteral("die Datei „%1“").arg(shown(file)));
}

void TBackupDialog::restoreFrom(const QString& nameOrFile, const QString& what)
{
    if (!ui::askYesNo(QStringLiteral("Die Sammlung durch %1 ersetzen?\n\nDer jetzige Stand wird vorher gesichert; "
                                     "auch ihn können Sie hier wiederherstellen.")
                          .arg(what),
                      this))
        return;
    backup::RestoreResult result;
    {
        const ui::WaitCursor wait;
        backupui::StatusProgress progress(labStatus, QStringLiteral("Wiederherstellung"));
        result = backupui::restoreCollection(m_data, nameOrFile, progress.callback());
    }
    QString text = QStringLiteral("Wiederhergestellt aus „%1“: %2.")
                       .arg(QFileInfo(result.source).fileName(),
                            contents(result.restored.volumes(), result.restored.ownCopies()));
    if (!result.safety.name.isEmpty())
        text += QStringLiteral("\n\nDer bisherige Stand ist gesichert als „%1“.").arg(result.safety.name);
    if (!result.damagedKept.isEmpty())
        text += QStringLiteral("\n\nDie beschädigte Sammlung ist aufgehoben in „%1“.").arg(shown(result.damagedKept));
    ui::showNote(text, this);
    accept();
}

void TBackupDialog::btnExportClick()
{
    QString file;
    if (m_saveChooser)
        file = m_saveChooser(this);
    else
        file = QFileDialog::getSaveFileName(
            this, QStringLiteral("Kopie speichern unter"),
            QDir::home().filePath(QStringLiteral("stripothek-%1.db")
                                      .arg(QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")))),
            QStringLiteral("Stripothek-Sammlungen (*.db)"));
    if (file.isEmpty())
        return;
    // The file dialog asked before it let an existing file be chosen; the
    // old file is replaced only once the new one is complete and checked.
    const QFileInfo target(file);
    const QString written = target.exists() ? target.absolutePath() + QStringLiteral("/.neu-") + target.fileName()
                                            : target.absoluteFilePath();
    backup::Snapshot snapshot;
    {
        const ui::WaitCursor wait;
        backupui::StatusProgress progress(labStatus, QStringLiteral("Kopie"));
        if (written != target.absoluteFilePath())
            QFile::remove(written); // left by an earlier attempt that was cut off
        snapshot = m_store.exportCopy(written, progress.callback());
    }
    if (written != target.absoluteFilePath()
        && std::rename(QFile::encodeName(written).constData(), QFile::encodeName(file).constData()) != 0) {
        QFile::remove(written);
        throw db::Error(QStringLiteral("Die Datei „%1“ ließ sich nicht ersetzen; sie ist unverändert").arg(shown(file)));
    }
    ui::showNote(QStringLiteral("Kopie gespeichert: „%1“ (%2).")
                     .arg(shown(target.absoluteFilePath()), contents(snapshot.volumes(), snapshot.ownCopies())),
                 this);
}

void TBackupDialog::btnSettingsClick()
{
    TKeepSettingsDialog dialog(this);
    dialog.exec();
}
