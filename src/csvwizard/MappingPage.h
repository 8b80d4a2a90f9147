#pragma once

#include "csvimport/CsvReader.h"
#include "csvimport/Mapping.h"

#include <QWizardPage>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;

namespace csvwizard {

// The columns of a file: as many as its header or its longest record has.
int columnCount(const QStringList& header, const QList<csvimport::Record>& records);

// "Spalten zuordnen": a field for each of the file's columns, with a value
// of the column as its example, and below them what a mapping decides
// beyond its columns (how dates with slashes read, a currency for bare
// prices, commas between authors, when a row gets an own copy). Saved and
// loaded as a mapping file; loading shows the file's choices as they were
// saved.
class MappingPage : public QWizardPage {
    Q_OBJECT
public:
    // roles: the collection's author roles; currencies: those offered for
    // prices without one (see csvstore::offeredCurrencies).
    MappingPage(const QStringList& roles, const QStringList& currencies, QWidget* parent = nullptr);

    // The file as read now, with its header (empty without one) and first
    // records; what was shown for the file before goes.
    void setFile(const QString& path, const csvimport::Format& format, const QStringList& header,
                 const QList<csvimport::Record>& sample);
    // Throws db::Error for a mapping that names a column the file lacks.
    void showMapping(const csvimport::Mapping& mapping);
    bool isShowing() const;
    // What the page shows now. Throws db::Error for a currency that is none.
    csvimport::Mapping mapping() const;
    void setError(const QString& text);

private:
    QWidget* buildChoices();
    void showChoices(const csvimport::Mapping& mapping);
    QString defaultCurrency() const;
    void saveMapping();
    void loadMapping();

    QStringList m_roles;
    QStringList m_header;
    QList<csvimport::Record> m_sample;
    QString m_path;
    csvimport::Format m_format;
    QObject* m_wheelGuard = nullptr;

    QTableWidget* grdMapping = nullptr;
    QComboBox* cbSlashDates = nullptr;
    QComboBox* cbDefaultCurrency = nullptr;
    QCheckBox* chkCommaAuthors = nullptr;
    QComboBox* cbCopies = nullptr;
    QPushButton* btnSaveMapping = nullptr;
    QPushButton* btnLoadMapping = nullptr;
    QLabel* labMappingError = nullptr;
};

} // namespace csvwizard
