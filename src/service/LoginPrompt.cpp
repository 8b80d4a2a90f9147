#include "service/LoginPrompt.h"

#include <QAuthenticator>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace service {

bool askForLogin(QWidget* parent, const QString& host, bool forProxy, QAuthenticator* auth)
{
    QDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("LoginPrompt"));
    dialog.setWindowTitle(QStringLiteral("Anmeldung"));

    const QString who = forProxy ? QStringLiteral("Der Proxy „%1“ verlangt eine Anmeldung.")
                                 : QStringLiteral("Der Server „%1“ verlangt eine Anmeldung.");
    auto* intro = new QLabel(who.arg(host), &dialog);
    intro->setObjectName(QStringLiteral("labPrompt"));

    auto* realm = new QLabel(auth->realm(), &dialog);
    auto* user = new QLineEdit(auth->user(), &dialog);
    user->setObjectName(QStringLiteral("editUser"));
    auto* password = new QLineEdit(&dialog);
    password->setObjectName(QStringLiteral("editPassword"));
    password->setEchoMode(QLineEdit::Password);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Bereich:"), realm);
    form->addRow(QStringLiteral("Benutzername:"), user);
    form->addRow(QStringLiteral("Kennwort:"), password);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Abbrechen"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);

    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(intro);
    layout->addLayout(form);
    layout->addWidget(buttons);

    if (!user->text().isEmpty())
        password->setFocus();
    if (dialog.exec() != QDialog::Accepted)
        return false;
    auth->setUser(user->text());
    auth->setPassword(password->text());
    return true;
}

} // namespace service
