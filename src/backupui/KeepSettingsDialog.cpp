#include "backupui/KeepSettingsDialog.h"

#include "backup/KeepPolicy.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

TKeepSettingsDialog::TKeepSettingsDialog(QWidget* owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("KeepSettingsDialog"));
    setWindowTitle(QStringLiteral("Einstellungen"));

    const backup::KeepPolicy policy = backup::KeepPolicy::load();
    // The newest copy always stays, so fewer than one makes no sense.
    editKeepLast = new QSpinBox;
    editKeepLast->setObjectName(QStringLiteral("editKeepLast"));
    editKeepLast->setRange(1, 999);
    editKeepLast->setValue(policy.last);
    editKeepMonths = new QSpinBox;
    editKeepMonths->setObjectName(QStringLiteral("editKeepMonths"));
    editKeepMonths->setRange(0, 240);
    editKeepMonths->setValue(policy.monthly);

    auto* explanation = new QLabel(QStringLiteral(
        "Vor jedem Befehl, der viele Daten auf einmal ändert, und beim Beenden nach Änderungen legt die Stripothek "
        "eine Sicherung der Sammlung an. Danach entfernt sie die älteren, die nach dieser Regel nicht mehr "
        "aufbewahrt werden; die neueste bleibt immer."));
    explanation->setWordWrap(true);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Die letzten &Sicherungen behalten:"), editKeepLast);
    form->addRow(QStringLiteral("Dazu die neueste jedes der letzten &Monate:"), editKeepMonths);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("btnOk"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Abbrechen"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("btnCancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(explanation);
    layout->addLayout(form);
    layout->addWidget(buttons);
    setMinimumWidth(440);
}

void TKeepSettingsDialog::accept()
{
    // A number typed but not yet taken by its box counts as shown.
    editKeepLast->interpretText();
    editKeepMonths->interpretText();
    backup::KeepPolicy policy;
    policy.last = editKeepLast->value();
    policy.monthly = editKeepMonths->value();
    policy.save();
    QDialog::accept();
}
