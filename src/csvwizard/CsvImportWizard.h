#pragma once

#include "csvimport/CsvReader.h"
#include "csvimport/Mapping.h"
#include "csvstore/CsvStore.h"

#include <QDateTime>
#include <QWizard>

#include <optional>

class ComicData;
class QCheckBox;
class QCloseEvent;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QRadioButton;
class QSpinBox;
class QTableWidget;

namespace csvwizard {

class MappingPage;
class PassProgress;

// "Importieren aus Tabelle": a spreadsheet's CSV file into the collection in
// four steps. The file; its encoding, separator and header as guessed, each
// changeable, with its first rows as a table; a field for each column,
// proposed from the column names, saved and loaded as a mapping; the trial
// run's summary with the choice for volumes already there. Finishing makes a
// checked backup, then stores the file in one transaction. Runs modally, as
// runImportWizard() runs it: while a pass holds the collection's
// transaction, no other window of the program may start a command.
class TCsvImportWizard : public QWizard {
    Q_OBJECT
public:
    explicit TCsvImportWizard(ComicData& data, QWidget* parent = nullptr);
    ~TCsvImportWizard() override;

    // What the import stored; empty until it ran.
    const std::optional<csvstore::ImportSummary>& imported() const { return m_imported; }

    bool validateCurrentPage() override;
    void accept() override;
    // While a pass runs: cancels it, and closes when it has given back.
    void reject() override;

protected:
    void initializePage(int id) override;
    void closeEvent(QCloseEvent* event) override;

private:
    enum Step { FileStep, FormatStep, MappingStep, SummaryStep };
    QWizardPage* buildFilePage();
    QWizardPage* buildFormatPage();
    QWizardPage* buildSummaryPage();

    void browse();
    // Reads the format and the first rows again with what the user fixed.
    void readFormat(bool guessAgain);
    void showPreview();
    void runTrial();
    // The trial run or the import with its progress; nothing when a pass
    // runs already. Throws csvimport::Cancelled when the user cancelled.
    std::optional<csvstore::ImportSummary> runPass(bool store);
    void closeIfAsked();
    csvstore::ImportOptions options() const;

    ComicData& m_data;
    csvimport::Format m_format;
    QStringList m_header;
    QList<csvimport::Record> m_sample;
    std::optional<csvstore::ImportSummary> m_trial;
    std::pair<qint64, QDateTime> m_trialFile; // the file's size and time of change when the trial run began
    std::optional<csvstore::ImportSummary> m_imported;
    bool m_filling = false;
    PassProgress* m_pass = nullptr; // the pass that runs
    bool m_closeAsked = false;

    QLineEdit* editFile = nullptr;
    QComboBox* cbEncoding = nullptr;
    QComboBox* cbSeparator = nullptr;
    QCheckBox* cbHeader = nullptr;
    QSpinBox* editSkip = nullptr;
    QLabel* labFormatError = nullptr;
    QTableWidget* grdPreview = nullptr;
    MappingPage* m_mappingPage = nullptr;
    QRadioButton* rbSkip = nullptr;
    QRadioButton* rbComplete = nullptr;
    QLabel* labSummary = nullptr;
    QLabel* labPassError = nullptr;
    QPlainTextEdit* memoProblems = nullptr;
};

// Runs the wizard modally; what it stored, so that the caller shows it.
std::optional<csvstore::ImportSummary> runImportWizard(ComicData& data, QWidget* parent);

} // namespace csvwizard
