#include "AboutDialog.h"

#include <QEvent>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

QStringList TAboutDialog::aboutLines()
{
    return {
        QString(),
        QString(),
        QStringLiteral("Verwaltungsprogramm für Comics, welches in Zukunft über SOAP Comic-Daten auf einem zentralen "),
        QStringLiteral("Server abgleichen kann. Eine einfache Anfrage ist zur Zeit schon möglich."),
        QString(),
        QStringLiteral("Für den Zugriff auf Datentabellen wird die Datenbank-Bibliothek SQLite verwendet,"),
        QStringLiteral("die gemeinfrei (Public Domain) ist und frei weiter gegeben werden kann."),
    };
}

TAboutDialog::TAboutDialog(QWidget* owner) : QDialog(owner)
{
    setObjectName(QStringLiteral("AboutDialog"));
    setWindowTitle(QStringLiteral("Über Stripothek"));
    // A close box and nothing else in the title bar.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

    memAbout = new QPlainTextEdit(this);
    memAbout->setObjectName(QStringLiteral("memAbout"));
    memAbout->setFrameShape(QFrame::NoFrame);
    memAbout->setReadOnly(true);
    memAbout->setLineWrapMode(QPlainTextEdit::NoWrap);
    memAbout->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    memAbout->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    memAbout->setPlainText(aboutLines().join(QLatin1Char('\n')));
    memAbout->installEventFilter(this);

    btnExit = new QPushButton(QStringLiteral("&Schliessen"), this);
    btnExit->setObjectName(QStringLiteral("btnExit"));
    btnExit->setDefault(true);
    connect(btnExit, &QPushButton::clicked, this, &QDialog::accept);

    // Without scroll bars the text area has to be just large enough for
    // every line; the dialog keeps that size.
    const QFontMetrics fm(memAbout->font());
    int textWidth = 0;
    for (const QString& line : aboutLines())
        textWidth = std::max(textWidth, fm.horizontalAdvance(line));
    const int margins = 2 * int(memAbout->document()->documentMargin()) + 8;
    memAbout->setFixedSize(textWidth + margins, fm.lineSpacing() * int(aboutLines().size()) + margins);

    auto* strip = new QHBoxLayout;
    strip->addStretch(1);
    strip->addWidget(btnExit);

    auto* layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    layout->addWidget(memAbout);
    layout->addLayout(strip);
    btnExit->setFocus();
}

void TAboutDialog::memAboutEnter()
{
    btnExit->setFocus(Qt::OtherFocusReason);
}

bool TAboutDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == memAbout && event->type() == QEvent::FocusIn)
        memAboutEnter();
    return QDialog::eventFilter(watched, event);
}
