#include "tools/Messages.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>

namespace tools {

namespace {
MessageSink& sink()
{
    static MessageSink s;
    return s;
}
} // namespace

MessageSink setMessageSink(MessageSink s)
{
    MessageSink previous = std::move(sink());
    sink() = std::move(s);
    return previous;
}

void ShowMessage(const QString& text, QWidget* parent)
{
    if (sink()) {
        sink()(text);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, QApplication::applicationName(), text, QMessageBox::Ok, parent);
    box.button(QMessageBox::Ok)->setText(QStringLiteral("OK"));
    box.exec();
}

bool AskYesNo(const QString& question, QWidget* parent)
{
    if (sink())
        return sink()(question);
    QMessageBox box(QMessageBox::Question, QStringLiteral("Bestätigung"), question,
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.button(QMessageBox::Yes)->setText(QStringLiteral("&Ja"));
    box.button(QMessageBox::No)->setText(QStringLiteral("&Nein"));
    // Enter alone must not wipe the catalogue.
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

} // namespace tools
