#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>
#include <functional>

// Stands in for the user at modal windows, so that code which calls exec()
// can run inside a test: message boxes are read and confirmed, any other
// modal window goes to the handler, which must close it.
class ModalWatcher {
public:
    using Handler = std::function<void(QWidget*)>;

    explicit ModalWatcher(Handler other = {}) : m_other(std::move(other))
    {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { look(); });
        m_timer.start();
    }

    QStringList messages; // texts of the message boxes, in order

private:
    void look()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal == m_busy)
            return;
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            messages.append(box->text());
            box->button(QMessageBox::Ok) ? box->button(QMessageBox::Ok)->click() : box->accept();
            return;
        }
        if (m_other) {
            // Run outside this timer's slot: Qt does not fire a timer again while
            // its slot runs, and the handler may open nested modal loops.
            m_busy = modal;
            QTimer::singleShot(0, modal, [this, modal] {
                m_other(modal);
                m_busy = nullptr;
            });
        }
    }

    Handler m_other;
    QTimer m_timer;
    QWidget* m_busy = nullptr;
};
