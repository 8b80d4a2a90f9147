#pragma once

// Plays the user at modal windows, for code under test that calls exec().
//
// Event-driven: when a modal window is shown, the driver queues one look at
// the modal windows, which runs as soon as that window's own event loop turns.
// The look acts on the window that is the active modal one at that moment,
// never on a window remembered from earlier. The next step runs on it; a step
// may open further windows, which are served the same way while it runs. A
// window still open after its step (a refused input, say) gets the next step.
//
// A modal window that no step is waiting for is unexpected: it is noted, the
// running test fails, and the window is closed at once, so a test never
// hangs until the time-out. No timer is involved anywhere.

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QStringList>
#include <QtTest>
#include <functional>

class ModalDriver : public QObject {
public:
    using Step = std::function<void(QWidget* modal)>;

    ModalDriver() { qApp->installEventFilter(this); }
    ~ModalDriver() override { qApp->removeEventFilter(this); }
    ModalDriver(const ModalDriver&) = delete;
    ModalDriver& operator=(const ModalDriver&) = delete;

    // The next modal window gets this step.
    ModalDriver& then(Step step)
    {
        m_steps.append(std::move(step));
        return *this;
    }
    // Message boxes that no step waits for are read and confirmed (the
    // information after every search, say) instead of being unexpected.
    ModalDriver& confirmMessageBoxes()
    {
        m_confirmBoxes = true;
        return *this;
    }
    // Any other modal window that no step waits for goes to this step.
    ModalDriver& otherwise(Step step)
    {
        m_otherwise = std::move(step);
        return *this;
    }

    bool finished() const { return m_steps.isEmpty() && unexpected.isEmpty() && failures.isEmpty(); }
    // What went wrong, for QVERIFY2.
    QString problems() const
    {
        QStringList all;
        if (!m_steps.isEmpty())
            all << QStringLiteral("%1 step(s) never ran").arg(m_steps.size());
        for (const QString& u : unexpected)
            all << QStringLiteral("unexpected window: ") + u;
        all << failures;
        return all.join(QStringLiteral("; "));
    }
    int stepsLeft() const { return int(m_steps.size()); }

    QStringList titles;     // the title of each window a step ran on
    QStringList texts;      // the text of each message box among them
    QStringList unexpected; // windows nobody expected (closed)
    QStringList failures;   // controls a step did not find

    // Step helpers.
    template <class T>
    T* find(QWidget* modal, const QString& name)
    {
        T* w = modal->findChild<T*>(name);
        if (!w)
            failures << modal->windowTitle() + QStringLiteral(": no ") + name;
        return w;
    }

    // The button named so, or else captioned so.
    void press(QWidget* modal, const QString& button)
    {
        QAbstractButton* target = modal->findChild<QAbstractButton*>(button);
        for (QAbstractButton* b : modal->findChildren<QAbstractButton*>())
            if (!target && b->text() == button)
                target = b;
        if (target) {
            target->click();
        } else {
            failures << modal->windowTitle() + QStringLiteral(": no button ") + button;
            dismiss(modal);
        }
    }

    // Types as the user does: the old text selected and replaced.
    void type(QWidget* modal, const QString& name, const QString& text)
    {
        QWidget* w = find<QWidget>(modal, name);
        if (!w)
            return;
        w->setFocus();
        if (auto* line = qobject_cast<QLineEdit*>(w))
            line->selectAll();
        else if (auto* memo = qobject_cast<QPlainTextEdit*>(w))
            memo->selectAll();
        if (text.isEmpty())
            QTest::keyClick(w, Qt::Key_Delete);
        else
            for (const QChar c : text) // keyClicks knows ASCII only
                QTest::sendKeyEvent(QTest::Click, w,
                                    c.unicode() < 128 ? Qt::Key(QTest::asciiToKey(char(c.unicode()))) : Qt::Key_unknown,
                                    QString(c), Qt::NoModifier);
    }

    void choose(QWidget* modal, const QString& name, const QString& item)
    {
        auto* box = find<QComboBox>(modal, name);
        if (!box)
            return;
        const int index = box->findText(item);
        if (index < 0) {
            failures << name + QStringLiteral(" lists no ") + item;
            return;
        }
        box->setCurrentIndex(index);
        Q_EMIT box->activated(index);
    }

    // Leaves a dialog as the user can: a button, Esc (to the focused control,
    // as the keyboard sends it) or the close box.
    void leave(QWidget* modal, const QString& how)
    {
        if (how == QStringLiteral("Esc")) {
            QWidget* focus = QApplication::focusWidget();
            QTest::keyClick(focus && focus->window() == modal ? focus : modal, Qt::Key_Escape);
        } else if (how == QStringLiteral("close box")) {
            modal->close();
        } else {
            press(modal, how);
        }
    }

    // Answers the one-line input box.
    Step input(const QString& text, const QString& button = QStringLiteral("OK"))
    {
        return [this, text, button](QWidget* modal) {
            if (auto* edit = find<QLineEdit>(modal, QStringLiteral("editValue")))
                edit->setText(text);
            press(modal, button);
        };
    }
    Step answer(const QString& button)
    {
        return [this, button](QWidget* modal) { press(modal, button); };
    }

    // Closes a window whatever buttons it has.
    static void dismiss(QWidget* modal)
    {
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->done(QDialog::Rejected);
        else
            modal->close();
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && watched->isWidgetType()) {
            auto* w = static_cast<QWidget*>(watched);
            if (w->isWindow() && w->isModal())
                lookSoon();
        }
        return false;
    }

private:
    void lookSoon()
    {
        if (m_lookQueued)
            return;
        m_lookQueued = true;
        QMetaObject::invokeMethod(this, [this] { look(); }, Qt::QueuedConnection);
    }

    void look()
    {
        m_lookQueued = false;
        QWidget* modal = QApplication::activeModalWidget();
        // A window whose step is still running (waiting in a nested loop of
        // its own) is looked at again when that step returns.
        if (!modal || !modal->isVisible() || m_busy.contains(modal))
            return;
        auto* box = qobject_cast<QMessageBox*>(modal);
        Step step;
        if (!m_steps.isEmpty())
            step = m_steps.takeFirst();
        else if (box && m_confirmBoxes)
            step = [](QWidget* w) {
                auto* b = static_cast<QMessageBox*>(w);
                b->button(QMessageBox::Ok) ? b->button(QMessageBox::Ok)->click() : b->accept();
            };
        else if (!box && m_otherwise)
            step = m_otherwise;
        if (!step) {
            const QString seen = QStringLiteral("%1 „%2“%3")
                                     .arg(QLatin1String(modal->metaObject()->className()), modal->windowTitle(),
                                          box ? QStringLiteral(": ") + box->text() : QString());
            unexpected << seen;
            QTest::qFail(qPrintable(QStringLiteral("Unerwartetes Fenster ") + seen), __FILE__, __LINE__);
            dismiss(modal);
            lookSoon();
            return;
        }
        const QPointer<QWidget> guard(modal);
        m_busy.append(modal);
        // A step types and moves the focus as a user does, in the active
        // window: the look may come before the window system has activated
        // the window, so wait for that (a condition, not a time).
        if (QApplication::activeWindow() != modal) {
            modal->activateWindow();
            if (!QTest::qWaitFor([&] { return !guard || QApplication::activeWindow() == guard; }))
                failures << modal->windowTitle() + QStringLiteral(": never became the active window");
        }
        if (guard && guard->isVisible()) {
            titles << modal->windowTitle();
            if (box)
                texts << box->text();
            step(modal);
        } else {
            m_steps.prepend(step);
        }
        m_busy.removeOne(modal);
        if (QApplication::activeModalWidget())
            lookSoon();
    }

    QList<Step> m_steps;
    Step m_otherwise;
    bool m_confirmBoxes = false;
    bool m_lookQueued = false;
    QList<QWidget*> m_busy;
};
