#include "csvwizard/CsvImportWizard.h"

#include "backupui/BackupBeforeCommand.h"

#include "core/Errors.h"
#include "core/WaitCursor.h"
#include "csvimport/ImportPlan.h"
#include "csvimport/FormatDetection.h"
#include "csvwizard/ErrorLabel.h"
#include "csvwizard/MappingPage.h"
#include "csvwizard/PassProgress.h"
#include "database/ComicData.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

namespace csvwizard {

namespace {

std::pair<qint64, QDateTime> fileStamp(const QString& path)
{
    const QFileInfo file(path);
    return {file.size(), file.lastModified()};
}

constexpr int kPreviewRows = 20;

QString message(const std::exception& e)
{
    return QString::fromUtf8(e.what());
}

// The last page: "Importieren" only after a trial run of what is chosen now.
class SummaryWizardPage : public QWizardPage {
public:
    SummaryWizardPage(std::function<bool()> ready, QWidget* parent) : QWizardPage(parent), m_ready(std::move(ready)) {}
    bool isComplete() const override { return m_ready(); }

private:
    std::function<bool()> m_ready;
};

} // namespace

TCsvImportWizard::TCsvImportWizard(ComicData& data, QWidget* parent)
    : QWizard(parent), m_data(data)
{
    const db::Connection& connection = data.dbConnection();
    if (connection.readAsItIs() || connection.onlyReadable())
        throw db::Error(QStringLiteral("Die Sammlung lässt sich nur lesen; aus einer Tabelle kann nichts in sie "
                                       "importiert werden"));
    setObjectName(QStringLiteral("TCsvImportWizard"));
    setWindowTitle(QStringLiteral("Importieren aus Tabelle"));
    setWizardStyle(QWizard::ClassicStyle);
    setOption(QWizard::NoBackButtonOnStartPage);
    setButtonText(QWizard::BackButton, QStringLiteral("< &Zurück"));
    setButtonText(QWizard::NextButton, QStringLiteral("&Weiter >"));
    setButtonText(QWizard::FinishButton, QStringLiteral("&Importieren"));
    setButtonText(QWizard::CancelButton, QStringLiteral("Abbrechen"));
    setPage(FileStep, buildFilePage());
    setPage(FormatStep, buildFormatPage());
    m_mappingPage = new MappingPage(csvstore::readLookups(data.dbConnection()).roles,
                                    csvstore::offeredCurrencies(data.dbConnection()), this);
    setPage(MappingStep, m_mappingPage);
    setPage(SummaryStep, buildSummaryPage());
    resize(860, 600);
}

TCsvImportWizard::~TCsvImportWizard() = default;

QWizardPage* TCsvImportWizard::buildFilePage()
{
    auto* page = new QWizardPage(this);
    page->setObjectName(QStringLiteral("pgFile"));
    page->setTitle(QStringLiteral("Datei wählen"));
    page->setSubTitle(QStringLiteral("Eine CSV-Datei, wie sie Excel, LibreOffice oder ein anderes Sammlerprogramm "
                                     "schreibt („Speichern unter …“ → CSV)."));
    auto* layout = new QVBoxLayout(page);
    auto* row = new QHBoxLayout;
    editFile = new QLineEdit(page);
    editFile->setObjectName(QStringLiteral("editFile"));
    auto* browseButton = new QPushButton(QStringLiteral("&Durchsuchen …"), page);
    browseButton->setObjectName(QStringLiteral("btnBrowse"));
    row->addWidget(editFile, 1);
    row->addWidget(browseButton);
    layout->addLayout(row);
    layout->addWidget(errorLabel("labFileError", page));
    layout->addStretch(1);
    connect(browseButton, &QPushButton::clicked, this, &TCsvImportWizard::browse);
    return page;
}

QWizardPage* TCsvImportWizard::buildFormatPage()
{
    auto* page = new QWizardPage(this);
    page->setObjectName(QStringLiteral("pgFormat"));
    page->setTitle(QStringLiteral("Aufbau der Datei"));
    page->setSubTitle(QStringLiteral("So wurde die Datei erkannt. Stimmt die Vorschau nicht, ändern Sie die Angaben."));
    auto* layout = new QVBoxLayout(page);
    auto* form = new QFormLayout;
    cbEncoding = new QComboBox(page);
    cbEncoding->setObjectName(QStringLiteral("cbEncoding"));
    for (const csvimport::Encoding e : {csvimport::Encoding::Utf8, csvimport::Encoding::Windows1252,
                                        csvimport::Encoding::Utf16LE, csvimport::Encoding::Utf16BE})
        cbEncoding->addItem(csvimport::encodingName(e), int(e));
    cbSeparator = new QComboBox(page);
    cbSeparator->setObjectName(QStringLiteral("cbSeparator"));
    cbSeparator->addItem(QStringLiteral("Semikolon ;"), QString(u';'));
    cbSeparator->addItem(QStringLiteral("Tabulator"), QString(u'\t'));
    cbSeparator->addItem(QStringLiteral("Komma ,"), QString(u','));
    cbSeparator->addItem(QStringLiteral("Senkrechter Strich |"), QString(u'|'));
    cbHeader = new QCheckBox(QStringLiteral("Die erste Zeile enthält die Spaltennamen"), page);
    cbHeader->setObjectName(QStringLiteral("cbHeader"));
    editSkip = new QSpinBox(page);
    editSkip->setObjectName(QStringLiteral("editSkip"));
    editSkip->setRange(0, 50);
    form->addRow(QStringLiteral("Zeichenkodierung:"), cbEncoding);
    form->addRow(QStringLiteral("Trennzeichen:"), cbSeparator);
    form->addRow(QString(), cbHeader);
    form->addRow(QStringLiteral("Zeilen darüber überspringen:"), editSkip);
    layout->addLayout(form);
    labFormatError = errorLabel("labFormatError", page);
    layout->addWidget(labFormatError);
    grdPreview = new QTableWidget(page);
    grdPreview->setObjectName(QStringLiteral("grdPreview"));
    grdPreview->setEditTriggers(QAbstractItemView::NoEditTriggers);
    layout->addWidget(grdPreview, 1);

    const auto changed = [this] {
        if (m_filling)
            return;
        try {
            readFormat(false);
        } catch (const std::exception& e) {
            labFormatError->setText(message(e));
            grdPreview->clear();
            grdPreview->setRowCount(0);
        }
    };
    connect(cbEncoding, &QComboBox::currentIndexChanged, this, changed);
    connect(cbSeparator, &QComboBox::currentIndexChanged, this, changed);
    connect(cbHeader, &QCheckBox::toggled, this, changed);
    connect(editSkip, &QSpinBox::valueChanged, this, changed);
    return page;
}

QWizardPage* TCsvImportWizard::buildSummaryPage()
{
    auto* page = new SummaryWizardPage([this] { return m_trial && m_trial->plan.refusedRows == 0 && !m_pass; }, this);
    page->setObjectName(QStringLiteral("pgSummary"));
    page->setTitle(QStringLiteral("Probelauf"));
    page->setSubTitle(QStringLiteral("Das entstünde beim Import. Noch ist nichts gespeichert; vor dem Import wird "
                                     "die Sammlung gesichert."));
    auto* layout = new QVBoxLayout(page);
    labSummary = new QLabel(page);
    labSummary->setObjectName(QStringLiteral("labSummary"));
    labSummary->setWordWrap(true);
    labSummary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(labSummary);
    labPassError = errorLabel("labPassError", page);
    layout->addWidget(labPassError);
    auto* again = new QPushButton(QStringLiteral("&Probelauf wiederholen"), page);
    again->setObjectName(QStringLiteral("btnTrial"));
    auto* againRow = new QHBoxLayout;
    againRow->addWidget(again);
    againRow->addStretch(1);
    layout->addLayout(againRow);
    connect(again, &QPushButton::clicked, this, [this] { runTrial(); });
    auto* existing = new QLabel(QStringLiteral("Bände, die es schon gibt (gleiche ISBN oder gleiche Serie und Band):"),
                                page);
    rbSkip = new QRadioButton(QStringLiteral("&überspringen"), page);
    rbSkip->setObjectName(QStringLiteral("rbSkip"));
    rbComplete = new QRadioButton(QStringLiteral("&ergänzen (leere Felder füllen, fehlende Autoren und ein eigenes "
                                                 "Exemplar hinzufügen)"),
                                  page);
    rbComplete->setObjectName(QStringLiteral("rbComplete"));
    rbSkip->setChecked(true);
    layout->addWidget(existing);
    layout->addWidget(rbSkip);
    layout->addWidget(rbComplete);
    memoProblems = new QPlainTextEdit(page);
    memoProblems->setObjectName(QStringLiteral("memoProblems"));
    memoProblems->setReadOnly(true);
    layout->addWidget(memoProblems, 1);
    connect(rbComplete, &QRadioButton::toggled, this, [this] { runTrial(); });
    return page;
}

void TCsvImportWizard::browse()
{
    QFileDialog dialog(this, QStringLiteral("Tabelle importieren"),
                       editFile->text().isEmpty() ? QDir::homePath() : editFile->text(),
                       QStringLiteral("CSV-Dateien (*.csv *.txt *.tsv);;Alle Dateien (*)"));
    dialog.setObjectName(QStringLiteral("dlgCsvFile"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        editFile->setText(QDir::toNativeSeparators(dialog.selectedFiles().constFirst()));
}

void TCsvImportWizard::readFormat(bool guessAgain)
{
    const QString path = editFile->text();
    csvimport::FormatChoice choice;
    if (!guessAgain) {
        choice.encoding = csvimport::Encoding(cbEncoding->currentData().toInt());
        choice.separator = cbSeparator->currentData().toString().at(0);
        choice.header = cbHeader->isChecked();
        choice.skipRecords = editSkip->value();
    }
    labFormatError->clear();
    const ui::WaitCursor waiting;
    m_format = csvimport::detectFormat(path, choice);
    const csvimport::Preview preview = csvimport::readPreview(path, m_format, kPreviewRows);
    m_header = preview.header;
    m_sample = preview.records;
    m_filling = true;
    cbEncoding->setCurrentIndex(cbEncoding->findData(int(m_format.encoding)));
    cbSeparator->setCurrentIndex(cbSeparator->findData(QString(m_format.separator)));
    cbHeader->setChecked(m_format.header);
    editSkip->setValue(m_format.skipRecords);
    m_filling = false;
    showPreview();
    m_mappingPage->setFile(path, m_format, m_header, m_sample); // proposed anew for these columns
}

void TCsvImportWizard::showPreview()
{
    const int columns = columnCount(m_header, m_sample);
    grdPreview->clear();
    grdPreview->setColumnCount(columns);
    grdPreview->setRowCount(int(m_sample.size()));
    QStringList titles;
    for (int c = 0; c < columns; ++c)
        titles << (c < m_header.size() ? m_header[c] : QString::number(c + 1));
    grdPreview->setHorizontalHeaderLabels(titles);
    QStringList lines;
    for (int r = 0; r < m_sample.size(); ++r) {
        lines << QString::number(m_sample[r].line);
        for (int c = 0; c < m_sample[r].fields.size(); ++c)
            grdPreview->setItem(r, c, new QTableWidgetItem(m_sample[r].fields[c]));
    }
    grdPreview->setVerticalHeaderLabels(lines);
}

csvstore::ImportOptions TCsvImportWizard::options() const
{
    csvstore::ImportOptions o;
    o.existing = rbComplete->isChecked() ? csvstore::ExistingRows::Complete : csvstore::ExistingRows::Skip;
    return o;
}

// The passes run here, on the thread of the windows, and not on a thread of
// their own: the store works through the program's tables and connection,
// and a rollback tells every table of the program to read its rows again,
// which the overview and the pages answer by repainting. So the pass lets
// the windows paint between records and keeps every command away until the
// transaction is committed or rolled back: the wizard runs modally, so the
// program's other windows wait anyway, and within the wizard the page and
// its way back and on wait too. Its close button, Esc and "Abbrechen" stay:
// they cancel the pass first (reject()). No second pass starts meanwhile.
std::optional<csvstore::ImportSummary> TCsvImportWizard::runPass(bool store)
{
    if (m_pass)
        return std::nullopt;
    PassProgress progress(store ? PassProgress::Kind::Import : PassProgress::Kind::Trial,
                          QFileInfo(editFile->text()).fileName(), this);
    const HoldOpen frame(parentWidget() ? parentWidget()->window() : nullptr);
    QList<QPointer<QWidget>> waiting;
    for (QWidget* w : std::initializer_list<QWidget*>{currentPage(), button(BackButton), button(NextButton),
                                                      button(FinishButton)})
        if (w && w->isEnabled()) {
            w->setEnabled(false);
            waiting << w;
        }
    m_pass = &progress;
    const auto ended = qScopeGuard([this, &waiting] {
        m_pass = nullptr;
        for (const QPointer<QWidget>& w : waiting)
            if (w)
                w->setEnabled(true);
        // The keyboard comes back here, not to whichever window the system
        // picks when the progress goes.
        activateWindow();
    });
    progress.start();
    csvstore::ImportOptions o = options();
    o.progress = [&progress](qint64 read, qint64 size) { return progress.report(read, size); };
    if (store)
        return csvstore::importFile(m_data, editFile->text(), m_format, m_mappingPage->mapping(), o);
    return csvstore::dryRun(m_data, editFile->text(), m_format, m_mappingPage->mapping(), o);
}

void TCsvImportWizard::runTrial()
{
    if (m_pass)
        return;
    m_trial.reset();
    memoProblems->clear();
    labSummary->clear();
    labPassError->clear();
    try {
        m_trialFile = fileStamp(editFile->text());
        m_trial = runPass(false);
        if (m_trial) {
            labSummary->setText(m_trial->text());
            memoProblems->setPlainText(m_trial->plan.problems().join(u'\n'));
            if (m_trial->plan.refusedRows > 0)
                labSummary->setText(labSummary->text()
                                    + QStringLiteral("\n\nSolange Zeilen fehlerhaft sind, wird nichts importiert: "
                                                     "berichtigen Sie die Datei oder die Zuordnung."));
        }
    } catch (const csvimport::Cancelled&) {
        labPassError->setText(QStringLiteral("Der Probelauf wurde abgebrochen; es wurde nichts gespeichert. Mit "
                                             "„Probelauf wiederholen“ beginnt er von vorn."));
        findChild<QPushButton*>(QStringLiteral("btnTrial"))->setFocus();
    } catch (const std::exception& e) {
        labPassError->setText(message(e));
    }
    emit currentPage()->completeChanged();
    closeIfAsked();
}

void TCsvImportWizard::closeIfAsked()
{
    if (m_closeAsked) {
        m_closeAsked = false;
        QWizard::reject();
    }
}

void TCsvImportWizard::reject()
{
    if (!m_pass) {
        QWizard::reject();
        return;
    }
    // The pass gives everything back first; the wizard goes when it has.
    m_closeAsked = true;
    m_pass->cancel();
}

void TCsvImportWizard::closeEvent(QCloseEvent* event)
{
    if (m_pass) {
        event->ignore();
        reject();
        return;
    }
    QWizard::closeEvent(event);
}

void TCsvImportWizard::initializePage(int id)
{
    QWizard::initializePage(id);
    if (id == MappingStep && !m_mappingPage->isShowing())
        m_mappingPage->showMapping(csvimport::proposeMapping(m_header, m_sample));
    else if (id == SummaryStep) {
        // Once the page shows: the wizard keeps painting behind the progress.
        m_trial.reset();
        labSummary->clear();
        QMetaObject::invokeMethod(
            this, [this] {
                if (isVisible() && currentId() == SummaryStep && !m_trial)
                    runTrial();
            },
            Qt::QueuedConnection);
    }
}

bool TCsvImportWizard::validateCurrentPage()
{
    if (currentId() == FileStep) {
        auto* error = findChild<QLabel*>(QStringLiteral("labFileError"));
        try {
            if (editFile->text().trimmed().isEmpty())
                throw db::Error(QStringLiteral("Bitte wählen Sie eine Datei"));
            if (!QFileInfo(editFile->text()).isFile())
                throw db::Error(QStringLiteral("Die Datei „%1“ gibt es nicht").arg(editFile->text()));
            readFormat(true);
            error->clear();
        } catch (const std::exception& e) {
            error->setText(message(e));
            return false;
        }
    }
    if (currentId() == FormatStep && !labFormatError->text().isEmpty())
        return false;
    if (currentId() == MappingStep) {
        try {
            csvimport::Planner check(m_format.header ? m_header : QStringList(), m_mappingPage->mapping(),
                                     csvimport::PlanOptions{csvstore::readLookups(m_data.dbConnection())});
            m_mappingPage->setError({});
        } catch (const std::exception& e) {
            m_mappingPage->setError(message(e));
            return false;
        }
    }
    return QWizard::validateCurrentPage();
}

void TCsvImportWizard::accept()
{
    if (m_pass || !m_trial || m_trial->plan.refusedRows > 0)
        return;
    // Saved again in the spreadsheet meanwhile, the file may hold other
    // rows than the trial run showed: the user sees them before they go in.
    if (fileStamp(editFile->text()) != m_trialFile) {
        runTrial();
        if (labPassError->text().isEmpty())
            labPassError->setText(QStringLiteral("„%1“ wurde seit dem Probelauf geändert; der Probelauf oben gilt für "
                                                 "die Datei, wie sie jetzt ist. Importieren Sie, wenn er stimmt.")
                                      .arg(QFileInfo(editFile->text()).fileName()));
        return;
    }
    labPassError->clear();
    try {
        if (!backupui::backupBeforeCommand(this, QFileInfo(m_data.dbConnection().databaseFile()).absolutePath(),
                                           QStringLiteral("Import aus Tabelle")))
            return;
        m_imported = runPass(true);
    } catch (const csvimport::Cancelled& e) {
        labPassError->setText(message(e) + u'.');
    } catch (const std::exception& e) {
        labPassError->setText(message(e) + QStringLiteral("\n\nEs wurde nichts importiert."));
    }
    emit currentPage()->completeChanged();
    if (m_imported)
        QWizard::accept();
    else
        closeIfAsked();
}

std::optional<csvstore::ImportSummary> runImportWizard(ComicData& data, QWidget* parent)
{
    TCsvImportWizard wizard(data, parent);
    if (wizard.exec() != QDialog::Accepted)
        return std::nullopt;
    return wizard.imported();
}

} // namespace csvwizard
