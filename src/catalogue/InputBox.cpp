#include "catalogue/InputBox.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

bool InputQuery(const QString& caption, const QString& prompt, QString& value, QWidget* parent)
{
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("InputQuery"));
    dialog.setWindowTitle(caption);

    auto* label = new QLabel(prompt, &dialog);
    auto* edit = new QLineEdit(value, &dialog);
    edit->setObjectName(QStringLiteral("editValue"));
    edit->setMaxLength(255);
    edit->setMinimumWidth(edit->fontMetrics().averageCharWidth() * 40);
    label->setBuddy(edit);

    auto* buttons = new QDialogButtonBox(&dialog);
    QPushButton* ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("Abbrechen"), QDialogButtonBox::RejectRole);
    ok->setDefault(true);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);

    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(label);
    layout->addWidget(edit);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    edit->selectAll();
    edit->setFocus();
    if (dialog.exec() != QDialog::Accepted)
        return false;
    value = edit->text();
    return true;
}

QString TrimInput(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin).unicode() <= u' ')
        ++begin;
    while (end > begin && text.at(end - 1).unicode() <= u' ')
        --end;
    return text.mid(begin, end - begin);
}
