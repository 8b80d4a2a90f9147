#include "catalogue/LokalDatenForm.h"

#include "database/ComicData.h"
#include "database/FieldNames.h"
#include "core/Command.h"
#include "dbcontrols/DBEdit.h"
#include "dbcontrols/DBLookupComboBox.h"
#include "dbcontrols/DBMemo.h"
#include "dbcontrols/FieldLink.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace f = db::fields;

namespace {

// The purchase date box: a date it cannot read is refused with the
// date-and-time message, whenever the typed text is written (leaving the box,
// Enter, storing the row).
class TDateEdit : public ui::DBEdit {
public:
    TDateEdit(db::DataSource* source, const QString& fieldName, QWidget* parent) : ui::DBEdit(source, fieldName, parent)
    {
        if (auto* link = findChild<ui::FieldLink*>(QString(), Qt::FindDirectChildrenOnly)) {
            link->commit = [this, write = link->commit] {
                checkDate();
                write();
            };
        }
    }

private:
    void checkDate() const
    {
        if (!hasPendingInput() || !field())
            return;
        try {
            db::parseInput(text(), db::FieldType::DateTime, field()->fieldName());
        } catch (const db::Error&) {
            throw db::Error(QString::fromUtf8("''%1'' ist kein gültiges Datum und Zeit").arg(text()));
        }
    }
};

} // namespace

TLokalDatenForm::TLokalDatenForm(ComicData& data, QWidget* owner)
    : TBoundDialog(data.tblComicLocal(), owner), m_data(data)
{
    setObjectName(QStringLiteral("LokalDatenForm"));
    setWindowTitle(QStringLiteral("Eigene Daten zu diesem Eintrag"));
    db::DataSource* src = &data.srcComicLocal();

    auto edit = [&](const char* name, QLatin1String field) { return ui::DBEdit::named(name, src, field.data(), this); };
    auto lookup = [&](const char* name, QLatin1String field, db::DataSource* list, QLatin1String key,
                      QLatin1String shown) {
        return ui::DBLookupComboBox::named(name, src, field, list, key, shown, this);
    };

    editAuflage = edit("editAuflage", f::LCLAUFLAGE);
    cbAusfuehrung1 = lookup("cbAusfuehrung1", f::LCLAUSFUEHRUNGID1, &data.srcAusfuehrungen(), f::AFAUSFID, f::AFNAME);
    // The second execution edits the field the own-copy list shows as "Ausführung 2".
    cbAusfuehrung2 = lookup("cbAusfuehrung2", f::LCLAUSFUEHRUNGID2, &data.srcAusfuehrungen(), f::AFAUSFID, f::AFNAME);
    cbZustand = lookup("cbZustand", f::LCLZUSTANDID, &data.srcZustand(), f::ZWID, f::ZWNAME);
    editKaufpreis = edit("editKaufpreis", f::LCLKPREIS);
    cbWaehrung2 = new TDBChoiceBox(currencyItems(), src, f::LCLKPREISWG, this);
    cbWaehrung2->setObjectName(QStringLiteral("cbWaehrung2"));
    editLimitNr = edit("editLimitNr", f::LCLNUMMER);
    // A refused number names the box it was typed in, not the stored field.
    for (const auto& [field, text] : {std::pair{f::LCLKPREIS, "Kaufpreis"}, std::pair{f::LCLNUMMER, "Limitierte Nr."}})
        if (db::Field* found = data.tblComicLocal().findField(field))
            found->setDisplayLabel(QString::fromUtf8(text));
    editKaufdatum = new TDateEdit(src, f::LCKKDATUM, this);
    editKaufdatum->setObjectName(QStringLiteral("editKaufdatum"));
    editLagerplatz = edit("editLagerplatz", f::LCLLAGERPLATZ);
    memoBemerkungen = new ui::DBMemo(src, f::LCLBEMERKUNG, this);
    memoBemerkungen->setObjectName(QStringLiteral("memoBemerkungen"));
    memoBemerkungen->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memoBemerkungen->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    memoBemerkungen->setLineWrapMode(QPlainTextEdit::NoWrap);
    memoBemerkungen->setTabChangesFocus(true);

    const int digit = fontMetrics().horizontalAdvance(QLatin1Char('0'));
    for (QWidget* w : {static_cast<QWidget*>(editAuflage), static_cast<QWidget*>(cbAusfuehrung1),
                       static_cast<QWidget*>(cbAusfuehrung2), static_cast<QWidget*>(cbZustand),
                       static_cast<QWidget*>(editLagerplatz)})
        w->setMinimumWidth(digit * 26);
    editKaufpreis->setFixedWidth(digit * 12);
    editLimitNr->setFixedWidth(digit * 12);
    editKaufdatum->setFixedWidth(digit * 12);
    memoBemerkungen->setMinimumSize(digit * 36, 0);

    auto label = [&](const QString& text, QWidget* buddy) {
        auto* l = new QLabel(text, this);
        l->setBuddy(buddy);
        return l;
    };

    auto* price = new QHBoxLayout;
    price->setSpacing(4);
    price->addWidget(editKaufpreis);
    price->addWidget(cbWaehrung2);
    price->addStretch();

    auto* left = new QGridLayout;
    left->setHorizontalSpacing(8);
    left->addWidget(label(QStringLiteral("Auflage"), editAuflage), 0, 0);
    left->addWidget(editAuflage, 0, 1);
    left->addWidget(label(QString::fromUtf8("Ausführung 1"), cbAusfuehrung1), 1, 0);
    left->addWidget(cbAusfuehrung1, 1, 1);
    left->addWidget(label(QString::fromUtf8("Ausführung 2"), cbAusfuehrung2), 2, 0);
    left->addWidget(cbAusfuehrung2, 2, 1);
    left->addWidget(label(QStringLiteral("Zustand"), cbZustand), 3, 0);
    left->addWidget(cbZustand, 3, 1);
    left->addWidget(label(QStringLiteral("Kaufpreis"), editKaufpreis), 4, 0);
    left->addLayout(price, 4, 1);
    left->addWidget(label(QStringLiteral("Limitierte Nr."), editLimitNr), 5, 0);
    left->addWidget(editLimitNr, 5, 1, Qt::AlignLeft);
    left->addWidget(label(QStringLiteral("Kaufdatum"), editKaufdatum), 6, 0);
    left->addWidget(editKaufdatum, 6, 1, Qt::AlignLeft);
    left->addWidget(label(QStringLiteral("Lagerplatz"), editLagerplatz), 7, 0);
    left->addWidget(editLagerplatz, 7, 1);
    left->setRowStretch(8, 1);

    auto* right = new QVBoxLayout;
    right->setSpacing(2);
    right->addWidget(label(QStringLiteral("Bemerkungen"), memoBemerkungen));
    right->addWidget(memoBemerkungen, 1);

    auto* top = new QHBoxLayout;
    top->addLayout(left);
    top->addSpacing(8);
    top->addLayout(right, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 1);
    layout->addSpacing(8);
    layout->addLayout(createButtonRow());

    const QList<QWidget*> chain = {editAuflage,   cbAusfuehrung1, cbAusfuehrung2, cbZustand,
                                   editKaufpreis, cbWaehrung2,    editLimitNr,    editKaufdatum,
                                   editLagerplatz, memoBemerkungen, btnSave,       btnAbbruch};
    for (qsizetype i = 1; i < chain.size(); ++i)
        setTabOrder(chain[i - 1], chain[i]);
    editAuflage->setFocus();
}

void TLokalDatenForm::btnSaveClick()
{
    db::Table& copies = m_data.tblComicLocal();
    bool written = false;
    ui::runCommand([&] {
        ui::updateRecord(&copies);
        written = true;
    });
    if (!written)
        return;

    // The dialog closes whatever becomes of the post; a refused row keeps its input.
    ui::runCommand([&] {
        if (!copies.isEditing())
            return;
        if (!copies.modified()) {
            copies.cancel(); // nothing entered: nothing to store
            return;
        }
        if (copies.state() == db::DataSetState::Insert)
            m_data.rules().KeyNewDetailRow(copies);
        copies.post();
    });
    QDialog::accept();
}

void TLokalDatenForm::btnAbbruchClick()
{
    ui::runCommand([&] { m_data.tblComicLocal().cancel(); });
    QDialog::reject();
}
