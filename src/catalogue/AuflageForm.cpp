#include "catalogue/AuflageForm.h"

#include "database/ComicData.h"
#include "database/FieldNames.h"
#include "dbcontrols/DBEdit.h"
#include "dbcontrols/DBLookupComboBox.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace f = db::fields;

TAuflageForm::TAuflageForm(ComicData& data, QWidget* owner) : TBoundDialog(data.tblAuflagen(), owner)
{
    setObjectName(QStringLiteral("AuflageForm"));
    setWindowTitle(QStringLiteral("Auflage bearbeiten"));
    db::DataSource* src = &data.srcAuflagen();

    auto edit = [&](const char* name, QLatin1String field) { return ui::DBEdit::named(name, src, field.data(), this); };
    editAuflage = edit("editAuflage", f::ALAUFLAGE);
    editEDatum = edit("editEDatum", f::ALERSCHEINUNGSDATUM);
    editKPreis = edit("editKPreis", f::ALVKPREIS);
    editSPreis = edit("editSPreis", f::ALSPREIS);
    // A refused number names the box it was typed in, not the stored field.
    for (const auto& [field, text] : {std::pair{f::ALVKPREIS, "Preis"}, std::pair{f::ALSPREIS, "Sammlerpreis"}})
        if (db::Field* found = data.tblAuflagen().findField(field))
            found->setDisplayLabel(QString::fromUtf8(text));

    cbAusfuehrung1 = ui::DBLookupComboBox::named("cbAusfuehrung1", src, f::ALAUSFUEHRUNGID1, &data.srcAusfuehrungen(),
                                                 f::AFAUSFID, f::AFNAME, this);

    cbKWaehrung = new TDBChoiceBox(currencyItems(), src, f::ALWG, this);
    cbKWaehrung->setObjectName(QStringLiteral("cbKWaehrung"));
    cbSWaehrung = new TDBChoiceBox(currencyItems(), src, f::ALSPWG, this);
    cbSWaehrung->setObjectName(QStringLiteral("cbSWaehrung"));

    const int digit = fontMetrics().horizontalAdvance(QLatin1Char('0'));
    editAuflage->setMinimumWidth(digit * 30);
    editEDatum->setFixedWidth(digit * 14);
    editKPreis->setFixedWidth(digit * 12);
    editSPreis->setFixedWidth(digit * 12);

    auto label = [&](const QString& text, QWidget* buddy) {
        auto* l = new QLabel(text, this);
        l->setBuddy(buddy);
        return l;
    };

    // Labels left, boxes right; the currencies beside their prices.
    auto* g = new QGridLayout;
    g->setHorizontalSpacing(8);
    g->setColumnStretch(4, 1);
    g->addWidget(label(QStringLiteral("Auflage"), editAuflage), 0, 0);
    g->addWidget(editAuflage, 0, 1, 1, 4);
    g->addWidget(label(QString::fromUtf8("Ausführung 1"), cbAusfuehrung1), 1, 0);
    g->addWidget(cbAusfuehrung1, 1, 1, 1, 4);
    g->addWidget(label(QStringLiteral("Erscheinungsdatum"), editEDatum), 2, 0);
    g->addWidget(editEDatum, 2, 1);
    g->addWidget(label(QStringLiteral("Preis"), editKPreis), 3, 0);
    g->addWidget(editKPreis, 3, 1);
    g->addWidget(label(QString::fromUtf8("Währung"), cbKWaehrung), 3, 2);
    g->addWidget(cbKWaehrung, 3, 3);
    g->addWidget(label(QString::fromUtf8("Sammlerpreis\n(für Zustand 1)"), editSPreis), 4, 0);
    g->addWidget(editSPreis, 4, 1);
    g->addWidget(label(QString::fromUtf8("Währung"), cbSWaehrung), 4, 2);
    g->addWidget(cbSWaehrung, 4, 3);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(g);
    layout->addSpacing(8);
    layout->addLayout(createButtonRow());
    layout->setSizeConstraint(QLayout::SetFixedSize);

    const QList<QWidget*> chain = {editAuflage, cbAusfuehrung1, editEDatum, editKPreis, cbKWaehrung,
                                   editSPreis,  cbSWaehrung,    btnSave,    btnAbbruch};
    for (qsizetype i = 1; i < chain.size(); ++i)
        setTabOrder(chain[i - 1], chain[i]);
    editAuflage->setFocus();
}
