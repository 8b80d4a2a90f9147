#include "catalogue/AutorForm.h"

#include "catalogue/InputBox.h"
#include "database/ComicData.h"
#include "database/FieldNames.h"
#include "core/Command.h"
#include "dbcontrols/DBLookupComboBox.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace f = db::fields;

TAutorForm::TAutorForm(ComicData& data, QWidget* owner) : TBoundDialog(data.tblComic2Autor(), owner), m_data(data)
{
    setObjectName(QStringLiteral("AutorForm"));
    setWindowTitle(QStringLiteral("Autor(en) bearbeiten"));

    cbAutor = ui::DBLookupComboBox::named("cbAutor", &data.srcComic2Autor(), f::C2AAUTORID, &data.srcAutoren(),
                                          f::ANAUTORID, f::ANNAME, this);
    cbAutor->setMinimumContentsLength(32);
    cbAutor->setMaxVisibleItems(16);
    btnSelect = new QToolButton(this);
    btnSelect->setObjectName(QStringLiteral("btnSelect"));
    btnSelect->setText(QStringLiteral("..."));
    btnSelect->setAutoRaise(true);
    btnSelect->setFocusPolicy(Qt::NoFocus);
    btnSelect->setToolTip(QStringLiteral("Neuen Autor erstellen"));
    cbFunktion = ui::DBLookupComboBox::named("cbFunktion", &data.srcComic2Autor(), f::C2AATID, &data.srcAutortyp(),
                                             f::ATID, f::ATTYP, this);
    cbFunktion->setMinimumContentsLength(16);

    auto* labAutor = new QLabel(QStringLiteral("Autor"), this);
    labAutor->setBuddy(cbAutor);
    auto* labFunktion = new QLabel(QStringLiteral("Funktion"), this);
    labFunktion->setBuddy(cbFunktion);

    auto* fields = new QGridLayout;
    fields->setHorizontalSpacing(8);
    fields->setColumnStretch(1, 1);
    fields->addWidget(labAutor, 0, 0);
    fields->addWidget(cbAutor, 0, 1);
    fields->addWidget(btnSelect, 0, 2);
    fields->addWidget(labFunktion, 1, 0);
    fields->addWidget(cbFunktion, 1, 1, Qt::AlignLeft);

    QHBoxLayout* buttons = createButtonRow();
    btnModify = new QPushButton(QString::fromUtf8("Autor ändern"), this);
    btnModify->setObjectName(QStringLiteral("btnModify"));
    btnModify->setAutoDefault(false);
    buttons->insertWidget(0, btnModify);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(fields);
    layout->addSpacing(8);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    ui::onCommand(btnSelect, &QToolButton::clicked, this, [this](auto&&...) { btnSelectClick(); });
    ui::onCommand(btnModify, &QPushButton::clicked, this, [this](auto&&...) { btnModifyClick(); });
    setTabOrder(cbAutor, cbFunktion);
    setTabOrder(cbFunktion, btnSave);
    setTabOrder(btnSave, btnAbbruch);
    setTabOrder(btnAbbruch, btnModify);
    cbAutor->setFocus();
}

void TAutorForm::btnSelectClick()
{
    QString name;
    if (!InputQuery(QStringLiteral("Neuen Autor erstellen"), QStringLiteral("Autor"), name, this))
        return;
    name = TrimInput(name);
    if (name.isEmpty())
        return;

    db::Table& authors = m_data.tblAutoren();
    // An existing name that begins with the new one would be mistaken for it.
    if (authors.locate(f::ANNAME, name, db::LocateCaseInsensitive | db::LocatePartialKey)) {
        // One line per name, indented under the heading.
        ui::showNote(QStringLiteral("Folgende Autoren enhalten den gleichen Namen\n  ")
                         + authors.fieldByName(f::ANNAME).asString(),
                     this);
        return;
    }

    const QString key = m_data.rules().AddNamedRow(authors, f::ANAUTORID, f::ANNAME, name);

    db::Table& assignments = m_data.tblComic2Autor();
    assignments.edit();
    assignments.fieldByName(f::C2AAUTORID).setAsString(key);
}

void TAutorForm::btnModifyClick()
{
    // The author whose key the assignment holds: with an empty box there is
    // none, and no other author is touched.
    const db::Table& assignments = m_data.tblComic2Autor();
    if (!assignments.active() || cbAutor->currentIndex() < 0)
        return;
    const QString key = assignments.fieldByName(f::C2AAUTORID).asString();
    if (key.isEmpty())
        return;
    db::Table& authors = m_data.tblAutoren();
    if (!authors.locate(f::ANAUTORID, key))
        return;

    QString name = authors.fieldByName(f::ANNAME).asString();
    if (!InputQuery(QString::fromUtf8("Autor ändern"), QStringLiteral("Autor"), name, this))
        return;
    name = TrimInput(name);
    if (name.isEmpty())
        return;

    authors.edit();
    try {
        authors.fieldByName(f::ANNAME).setAsString(name);
        authors.post();
    } catch (...) {
        authors.cancel();
        throw;
    }
}
