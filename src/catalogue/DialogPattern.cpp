#include "catalogue/DialogPattern.h"

#include "database/DataSet.h"
#include "core/Command.h"
#include "dbcontrols/FieldLink.h"

#include <QHBoxLayout>
#include <QPushButton>

int showModal(QDialog& dialog)
{
    dialog.adjustSize();
    if (QWidget* owner = dialog.parentWidget()) {
        QRect frame = dialog.frameGeometry();
        frame.moveCenter(owner->window()->frameGeometry().center());
        dialog.move(frame.topLeft());
    }
    return dialog.exec();
}

TBoundDialog::TBoundDialog(db::DataSet& dataSet, QWidget* owner) : QDialog(owner), m_dataSet(dataSet)
{
}

QHBoxLayout* TBoundDialog::createButtonRow()
{
    btnSave = new QPushButton(QStringLiteral("&Speichern"), this);
    btnSave->setObjectName(QStringLiteral("btnSave"));
    btnSave->setDefault(true);
    btnAbbruch = new QPushButton(QStringLiteral("Abbruch"), this);
    btnAbbruch->setObjectName(QStringLiteral("btnAbbruch"));
    btnAbbruch->setAutoDefault(false);
    // A click on "Abbruch" leaves the focus where it is, so that text the
    // field would refuse is not checked on the way out.
    btnAbbruch->setFocusPolicy(Qt::TabFocus);
    connect(btnSave, &QPushButton::clicked, this, &TBoundDialog::accept);
    connect(btnAbbruch, &QPushButton::clicked, this, &TBoundDialog::reject);

    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(btnSave);
    row->addWidget(btnAbbruch);
    return row;
}

void TBoundDialog::accept()
{
    bool written = false;
    ui::runCommand([&] {
        ui::updateRecord(&m_dataSet);
        written = true;
    });
    if (written)
        QDialog::accept();
}

TDBChoiceBox::TDBChoiceBox(const QStringList& items, db::DataSource* source, const QString& fieldName,
                           QWidget* parent)
    : ui::BoundComboBox(parent), m_link(new ui::FieldLink(this))
{
    setEditable(false);
    addItems(items);
    connect(m_link, &ui::FieldLink::changed, this, &TDBChoiceBox::showValue);
    connect(this, &QComboBox::activated, this, &TDBChoiceBox::onActivated);
    m_link->setFieldName(fieldName);
    m_link->setDataSource(source);
    showValue();
}

void TDBChoiceBox::showValue()
{
    const db::Field* f = m_link->field();
    setEnabled(f != nullptr);
    const int index = f ? findText(f->asString(), Qt::MatchExactly) : -1;
    if (index != currentIndex())
        setCurrentIndex(index);
}

void TDBChoiceBox::onActivated(int index)
{
    const QString text = index >= 0 ? itemText(index) : QString();
    const db::Field* f = m_link->field();
    if (f && index >= 0 && f->asString() != text) {
        ui::runCommand([&] {
            m_link->edit();
            db::Field& target = m_link->dataSet()->fieldByName(m_link->fieldName());
            if (text.isEmpty())
                target.clear();
            else
                target.setAsString(text);
        });
    }
    showValue();
}

QStringList currencyItems()
{
    return {QString(), QStringLiteral("DM"), QString::fromUtf8("€")};
}
