#pragma once

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QList>
#include <QWidget>
#include <QtTest>
#include <functional>

// Stands in for the user at modal windows. Each window that opens modally
// gets the next step, run with the window that is modal at that moment, after
// the window has shown; the step must close it. A window with no step left,
// or one left open by a failed step, is closed with a failure, so a test
// never hangs in a modal loop.
class ModalSteps : public QObject {
public:
    using Step = std::function<void(QWidget* modal)>;

    explicit ModalSteps(QList<Step> steps) : m_steps(std::move(steps)) { qApp->installEventFilter(this); }
    ~ModalSteps() override { qApp->removeEventFilter(this); }
    int pending() const { return int(m_steps.size()); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && watched->isWidgetType()) {
            auto* widget = static_cast<QWidget*>(watched);
            if (widget->isWindow() && widget->isModal())
                QMetaObject::invokeMethod(this, &ModalSteps::act, Qt::QueuedConnection);
        }
        return false;
    }

private:
    void act()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        if (m_steps.isEmpty()) {
            QTest::qFail(qPrintable(QStringLiteral("Unerwartetes Fenster %1 „%2“")
                                        .arg(QLatin1String(modal->metaObject()->className()), modal->windowTitle())),
                         __FILE__, __LINE__);
            close(modal);
            return;
        }
        const Step step = m_steps.takeFirst();
        step(modal);
        if (QTest::currentTestFailed() && QApplication::activeModalWidget() == modal)
            close(modal);
    }

    static void close(QWidget* modal)
    {
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        else
            modal->close();
    }

    QList<Step> m_steps;
};
