#include "dbcontrols/Command.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>

namespace ui {
namespace {
ErrorSink& sink()
{
    static ErrorSink s;
    return s;
}
} // namespace

QString withFullStop(const QString& message)
{
    // Only a last character that sorts after the full stop gets one, so "!",
    // "?" and ")" stay as they are.
    if (message.isEmpty() || message.back() <= QLatin1Char('.'))
        return message;
    return message + QLatin1Char('.');
}

ErrorSink setErrorSink(ErrorSink s)
{
    ErrorSink previous = std::move(sink());
    sink() = std::move(s);
    return previous;
}

void showError(const QString& message)
{
    const QString text = withFullStop(message);
    if (sink()) {
        sink()(text);
        return;
    }
    QMessageBox box(QMessageBox::Critical, QApplication::applicationName(), text, QMessageBox::Ok,
                    QApplication::activeWindow());
    box.button(QMessageBox::Ok)->setText(QStringLiteral("OK"));
    box.exec();
}

} // namespace ui
