#include "core/Command.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QSet>
#include <QTimer>

namespace ui {
namespace {
ErrorSink& sink()
{
    static ErrorSink s;
    return s;
}

QuestionSink& questions()
{
    static QuestionSink s;
    return s;
}

struct DamageReport {
    DamageHandler handler;
    bool reported = false;
};
DamageReport& damage()
{
    static DamageReport d;
    return d;
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

namespace {
// The box of the application's title with one "OK" button, or the recorder
// that tests put in its place.
void showText(QMessageBox::Icon icon, const QString& text, QWidget* parent)
{
    if (sink()) {
        sink()(text);
        return;
    }
    QMessageBox box(icon, QApplication::applicationName(), text, QMessageBox::Ok, parent);
    box.button(QMessageBox::Ok)->setText(QStringLiteral("OK"));
    box.exec();
}

void showMessage(QMessageBox::Icon icon, const QString& message)
{
    showText(icon, withFullStop(message), QApplication::activeWindow());
}
} // namespace

ErrorSink setErrorSink(ErrorSink s)
{
    ErrorSink previous = std::move(sink());
    sink() = std::move(s);
    return previous;
}

void showWarning(const QString& message)
{
    showMessage(QMessageBox::Warning, message);
}

void showNote(const QString& message, QWidget* parent)
{
    showText(QMessageBox::NoIcon, message, parent ? parent : QApplication::activeWindow());
}

QuestionSink setQuestionSink(QuestionSink s)
{
    QuestionSink previous = std::move(questions());
    questions() = std::move(s);
    return previous;
}

bool askYesNo(const QString& question, QWidget* parent)
{
    if (questions())
        return questions()(question);
    QMessageBox box(QMessageBox::Question, QStringLiteral("Bestätigung"), question, QMessageBox::Yes | QMessageBox::No,
                    parent ? parent : QApplication::activeWindow());
    box.button(QMessageBox::Yes)->setText(QStringLiteral("&Ja"));
    box.button(QMessageBox::No)->setText(QStringLiteral("&Nein"));
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

DamageHandler setDamageHandler(DamageHandler handler)
{
    DamageHandler previous = std::move(damage().handler);
    damage().handler = std::move(handler);
    damage().reported = false;
    return previous;
}

void reportError(const std::exception& error)
{
    const auto* engine = dynamic_cast<const db::EngineError*>(&error);
    if (!engine || !engine->damaged()) {
        showError(QString::fromUtf8(error.what()));
        return;
    }
    // Every later use of the file fails the same way; one box says it all.
    if (damage().reported)
        return;
    damage().reported = true;
    QString text = engine->message();
    if (damage().handler)
        text = withFullStop(text)
               + QStringLiteral(" Stripothek wird jetzt beendet, damit nichts mehr in die beschädigte Datei "
                                "geschrieben wird.");
    showError(text);
    if (damage().handler)
        damage().handler();
}

void reportLater(std::exception_ptr error)
{
    static QSet<QString> shown;
    QString text;
    try {
        std::rethrow_exception(error);
    } catch (const db::Abort&) {
        return;
    } catch (const std::exception& e) {
        text = QString::fromUtf8(e.what());
    } catch (...) {
        text = QStringLiteral("Unbekannter Fehler");
    }
    // A grid paints many cells, again and again: each failure shows once.
    if (shown.contains(text))
        return;
    shown.insert(text);
    QTimer::singleShot(0, qApp, [error] { runCommand([&] { std::rethrow_exception(error); }); });
}

void showError(const QString& message)
{
    showMessage(QMessageBox::Critical, message);
}

} // namespace ui
