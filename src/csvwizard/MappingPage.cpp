#include "csvwizard/MappingPage.h"

#include "core/Errors.h"
#include "csvwizard/ErrorLabel.h"
#include "database/FieldNames.h"
#include "database/Schema.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QValidator>
#include <QVBoxLayout>

namespace csvwizard {

namespace {

QString noCurrency()
{
    return QStringLiteral("(keine)");
}

// As long as the collection keeps a currency.
int currencyLength()
{
    const db::schema::TableDef* copies = db::schema::table(QStringLiteral("LOKALESTRIPOTHEK"));
    const db::schema::FieldDef* field = copies ? copies->field(db::fields::LCLKPREISWG) : nullptr;
    return field ? field->size : 5;
}

// Typing stops where the collection would have to cut the currency off;
// only "(keine)" is longer, and what deleting makes of it on the way to a
// currency typed over it.
class CurrencyValidator : public QValidator {
public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override
    {
        if (input.size() <= m_length || input == noCurrency())
            return Acceptable;
        return input.size() <= noCurrency().size() ? Intermediate : Invalid;
    }

private:
    int m_length = currencyLength();
};

// A combo box in a scrolled table: the wheel scrolls the table until the
// user has chosen the box, so that scrolling never changes a field.
class WheelGuard : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Wheel && !static_cast<QWidget*>(watched)->hasFocus()) {
            event->ignore();
            return true;
        }
        return false;
    }
};

QComboBox* mappingBox(const QString& name, QWidget* parent, QObject* wheelGuard)
{
    auto* box = new QComboBox(parent);
    box->setObjectName(name);
    box->setFocusPolicy(Qt::StrongFocus);
    box->installEventFilter(wheelGuard);
    return box;
}

} // namespace

int columnCount(const QStringList& header, const QList<csvimport::Record>& records)
{
    qsizetype columns = header.size();
    for (const csvimport::Record& r : records)
        columns = std::max(columns, r.fields.size());
    return int(columns);
}

MappingPage::MappingPage(const QStringList& roles, const QStringList& currencies, QWidget* parent)
    : QWizardPage(parent), m_roles(roles), m_wheelGuard(new WheelGuard(this))
{
    setObjectName(QStringLiteral("pgMapping"));
    setTitle(QStringLiteral("Spalten zuordnen"));
    setSubTitle(QStringLiteral("Welches Feld der Sammlung jede Spalte füllt, nach den Spaltennamen "
                               "vorgeschlagen. Autorenspalten nennen die Funktion ihrer Namen."));
    auto* layout = new QVBoxLayout(this);
    grdMapping = new QTableWidget(0, 4, this);
    grdMapping->setObjectName(QStringLiteral("grdMapping"));
    grdMapping->setHorizontalHeaderLabels(
        {QStringLiteral("Spalte"), QStringLiteral("Beispiel"), QStringLiteral("Feld"), QStringLiteral("Funktion")});
    grdMapping->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdMapping->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    layout->addWidget(grdMapping, 1);
    layout->addWidget(buildChoices());
    for (const QString& currency : currencies)
        cbDefaultCurrency->addItem(currency);

    auto* buttons = new QHBoxLayout;
    btnSaveMapping = new QPushButton(QStringLiteral("Zuordnung &speichern …"), this);
    btnSaveMapping->setObjectName(QStringLiteral("btnSaveMapping"));
    btnLoadMapping = new QPushButton(QStringLiteral("Zuordnung &laden …"), this);
    btnLoadMapping->setObjectName(QStringLiteral("btnLoadMapping"));
    buttons->addWidget(btnSaveMapping);
    buttons->addWidget(btnLoadMapping);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    labMappingError = errorLabel("labMappingError", this);
    layout->addWidget(labMappingError);
    connect(btnSaveMapping, &QPushButton::clicked, this, &MappingPage::saveMapping);
    connect(btnLoadMapping, &QPushButton::clicked, this, &MappingPage::loadMapping);
}

QWidget* MappingPage::buildChoices()
{
    auto* group = new QGroupBox(QStringLiteral("Weitere Angaben"), this);
    auto* grid = new QGridLayout(group);
    cbSlashDates = mappingBox(QStringLiteral("cbSlashDates"), group, m_wheelGuard);
    cbSlashDates->addItem(QStringLiteral("Tag/Monat/Jahr"), int(csvimport::DateOrder::DayMonth));
    cbSlashDates->addItem(QStringLiteral("Monat/Tag/Jahr"), int(csvimport::DateOrder::MonthDay));
    cbDefaultCurrency = mappingBox(QStringLiteral("cbDefaultCurrency"), group, m_wheelGuard);
    cbDefaultCurrency->setEditable(true);
    cbDefaultCurrency->setInsertPolicy(QComboBox::NoInsert);
    cbDefaultCurrency->setValidator(new CurrencyValidator(cbDefaultCurrency));
    cbDefaultCurrency->addItem(noCurrency());
    chkCommaAuthors = new QCheckBox(QStringLiteral("&Komma trennt Autoren („A, B“ sind zwei)"), group);
    chkCommaAuthors->setObjectName(QStringLiteral("chkCommaAuthors"));
    cbCopies = mappingBox(QStringLiteral("cbCopies"), group, m_wheelGuard);
    cbCopies->addItem(QStringLiteral("wenn ein Feld des Exemplars gefüllt ist"), int(csvimport::CopyRule::IfFilled));
    cbCopies->addItem(QStringLiteral("für jede Zeile"), int(csvimport::CopyRule::Always));
    cbCopies->addItem(QStringLiteral("nie"), int(csvimport::CopyRule::Never));

    // Alt+S saves and Alt+W goes on: the labels take other letters.
    const auto label = [group](const QString& text, QWidget* buddy) {
        auto* l = new QLabel(text, group);
        l->setBuddy(buddy);
        return l;
    };
    grid->addWidget(label(QStringLiteral("&Daten mit Schrägstrich (03/10/1998):"), cbSlashDates), 0, 0);
    grid->addWidget(cbSlashDates, 0, 1);
    grid->addWidget(label(QStringLiteral("Eigenes &Exemplar anlegen:"), cbCopies), 0, 3);
    grid->addWidget(cbCopies, 0, 4);
    grid->addWidget(label(QStringLiteral("Wä&hrung für Preise ohne Angabe:"), cbDefaultCurrency), 1, 0);
    grid->addWidget(cbDefaultCurrency, 1, 1);
    grid->addWidget(chkCommaAuthors, 1, 3, 1, 2);
    grid->setColumnMinimumWidth(2, 12);
    grid->setColumnStretch(5, 1);
    return group;
}

void MappingPage::setFile(const QString& path, const csvimport::Format& format, const QStringList& header,
                          const QList<csvimport::Record>& sample)
{
    m_path = path;
    m_format = format;
    m_header = header;
    m_sample = sample;
    grdMapping->setRowCount(0);
}

bool MappingPage::isShowing() const
{
    return grdMapping->rowCount() > 0;
}

void MappingPage::setError(const QString& text)
{
    labMappingError->setText(text);
}

void MappingPage::showMapping(const csvimport::Mapping& mapping)
{
    const int columns = columnCount(m_header, m_sample);
    const QList<csvimport::ColumnMapping> resolved = mapping.resolve(m_header, columns);
    grdMapping->setRowCount(columns);
    QList<QWidget*> tabOrder{grdMapping};
    for (int c = 0; c < columns; ++c) {
        csvimport::ColumnMapping column;
        for (const csvimport::ColumnMapping& r : resolved)
            if (r.index == c)
                column = r;
        grdMapping->setItem(c, 0, new QTableWidgetItem(c < m_header.size() ? m_header[c] : QString::number(c + 1)));
        // Many files leave most cells of a column empty.
        QString example;
        for (const csvimport::Record& r : m_sample)
            if (example = r.fields.value(c).simplified(); !example.isEmpty())
                break;
        grdMapping->setItem(c, 1, new QTableWidgetItem(example));
        auto* target = mappingBox(QStringLiteral("cbTarget%1").arg(c + 1), grdMapping, m_wheelGuard);
        for (const csvimport::Target t : csvimport::allTargets())
            target->addItem(csvimport::targetCaption(t), int(t));
        target->setCurrentIndex(target->findData(int(column.target)));
        auto* role = mappingBox(QStringLiteral("cbRole%1").arg(c + 1), grdMapping, m_wheelGuard);
        role->addItem(QStringLiteral("(wie in der Zelle genannt)"), QString());
        for (const QString& r : m_roles)
            role->addItem(r, r);
        role->setCurrentIndex(std::max(0, role->findData(column.role)));
        role->setEnabled(column.target == csvimport::Target::Authors);
        connect(target, &QComboBox::currentIndexChanged, role, [target, role] {
            role->setEnabled(csvimport::Target(target->currentData().toInt()) == csvimport::Target::Authors);
        });
        grdMapping->setCellWidget(c, 2, target);
        grdMapping->setCellWidget(c, 3, role);
        tabOrder << target << role;
    }
    grdMapping->resizeColumnsToContents();
    showChoices(mapping);
    // The boxes of the table were made after the controls below it.
    tabOrder << cbSlashDates << cbCopies << cbDefaultCurrency << chkCommaAuthors << btnSaveMapping << btnLoadMapping;
    for (qsizetype i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);
}

void MappingPage::showChoices(const csvimport::Mapping& mapping)
{
    cbSlashDates->setCurrentIndex(cbSlashDates->findData(int(mapping.slashDates)));
    cbCopies->setCurrentIndex(cbCopies->findData(int(mapping.copies)));
    chkCommaAuthors->setChecked(mapping.commaSeparatesAuthors);
    if (mapping.defaultCurrency.isEmpty())
        cbDefaultCurrency->setCurrentIndex(0);
    else if (const int at = cbDefaultCurrency->findText(mapping.defaultCurrency); at >= 0)
        cbDefaultCurrency->setCurrentIndex(at);
    else
        cbDefaultCurrency->setEditText(mapping.defaultCurrency);
}

QString MappingPage::defaultCurrency() const
{
    const QString typed = csvimport::cleanLine(cbDefaultCurrency->currentText());
    if (typed.isEmpty() || typed == noCurrency())
        return {};
    try {
        return csvimport::parseCurrency(typed);
    } catch (const csvimport::ValueError& e) {
        // What the collection's copies have is offered as they have it, even
        // a currency a cell could not name.
        if (cbDefaultCurrency->findText(typed) > 0)
            return typed;
        throw db::Error(QStringLiteral("Währung für Preise ohne Angabe: ") + e.message());
    }
}

csvimport::Mapping MappingPage::mapping() const
{
    csvimport::Mapping mapping;
    for (int c = 0; c < grdMapping->rowCount(); ++c) {
        const auto* target = qobject_cast<QComboBox*>(grdMapping->cellWidget(c, 2));
        const auto* role = qobject_cast<QComboBox*>(grdMapping->cellWidget(c, 3));
        csvimport::ColumnMapping column;
        column.name = m_format.header ? m_header.value(c) : QString();
        column.index = c;
        column.target = csvimport::Target(target->currentData().toInt());
        if (column.target == csvimport::Target::Authors)
            column.role = role->currentData().toString();
        mapping.columns << column;
    }
    mapping.slashDates = csvimport::DateOrder(cbSlashDates->currentData().toInt());
    mapping.copies = csvimport::CopyRule(cbCopies->currentData().toInt());
    mapping.commaSeparatesAuthors = chkCommaAuthors->isChecked();
    mapping.defaultCurrency = defaultCurrency();
    mapping.file = m_format;
    return mapping;
}

void MappingPage::saveMapping()
{
    QFileDialog dialog(this, QStringLiteral("Zuordnung speichern"),
                       QFileInfo(m_path).completeBaseName() + QStringLiteral(".zuordnung.json"),
                       QStringLiteral("Zuordnungen (*.json)"));
    dialog.setObjectName(QStringLiteral("dlgSaveMapping"));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(QStringLiteral("json"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    try {
        mapping().save(dialog.selectedFiles().constFirst());
        labMappingError->clear();
    } catch (const std::exception& e) {
        labMappingError->setText(QString::fromUtf8(e.what()));
    }
}

void MappingPage::loadMapping()
{
    QFileDialog dialog(this, QStringLiteral("Zuordnung laden"), QFileInfo(m_path).absolutePath(),
                       QStringLiteral("Zuordnungen (*.json);;Alle Dateien (*)"));
    dialog.setObjectName(QStringLiteral("dlgLoadMapping"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    try {
        showMapping(csvimport::Mapping::load(dialog.selectedFiles().constFirst()));
        labMappingError->clear();
    } catch (const std::exception& e) {
        labMappingError->setText(QString::fromUtf8(e.what()));
    }
}

} // namespace csvwizard
