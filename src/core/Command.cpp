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

NoteSink& noteSink()
{
    static NoteSink s;
    return s;
}

QuestionSink& questionSink()
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
// The box of the application's title with one "OK" button.
void showBox(QMessageBox::Icon icon, const QString& text, QWidget* parent)
{
    QMessageBox box(icon, QApplication::applicationName(), text, QMessageBox::Ok, parent);
    box.button(QMessageBox::Ok)->setText(QStringLiteral("OK"));
    box.exec();
}

void showMessage(QMessageBox::Icon icon, const QString& message)
{
    if (sink()) {
        sink()(withFullStop(message));
        return;
    }
    showBox(icon, withFullStop(message), QApplication::activeWindow());
}

struct Answer {
    QMessageBox::StandardButton button;
    const char* text;
};

bool ask(const QString& question, QWidget* parent, Answer agree, Answer decline, QMessageBox::StandardButton byEnter)
{
    if (questionSink())
        return questionSink()(question);
    QMessageBox box(QMessageBox::Question, QStringLiteral("Bestätigung"), question, agree.button | decline.button,
                    parent);
    box.button(agree.button)->setText(QString::fromUtf8(agree.text));
    box.button(decline.button)->setText(QString::fromUtf8(decline.text));
    box.setDefaultButton(byEnter);
    box.setEscapeButton(decline.button);
    return box.exec() == agree.button;
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
    if (noteSink()) {
        noteSink()(message);
        return;
    }
    showBox(QMessageBox::NoIcon, message, parent ? parent : QApplication::activeWindow());
}

NoteSink setNoteSink(NoteSink s)
{
    NoteSink previous = std::move(noteSink());
    noteSink() = std::move(s);
    return previous;
}

bool confirm(const QString& question, QWidget* parent)
{
    return ask(question, parent, {QMessageBox::Ok, "OK"}, {QMessageBox::Cancel, "Abbrechen"}, QMessageBox::Ok);
}

bool askYesNo(const QString& question, QWidget* parent)
{
    return ask(question, parent, {QMessageBox::Yes, "&Ja"}, {QMessageBox::No, "&Nein"}, QMessageBox::No);
}

QuestionSink setQuestionSink(QuestionSink s)
{
    QuestionSink previous = std::move(questionSink());
    questionSink() = std::move(s);
    return previous;
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
