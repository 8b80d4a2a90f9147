#include "service/ComicDownload.h"

#include "core/Command.h"
#include "service/ComicsPort.h"

#include <QElapsedTimer>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace service {
namespace {

template <class W>
W* named(W* widget, const char* name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

} // namespace

TComicDownload::TComicDownload(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                         | Qt::MSWindowsFixedSizeDialogHint),
      m_port(NewComicsPort())
{
    setObjectName(QStringLiteral("TComicDownload"));
    setWindowTitle(QStringLiteral("Comic - Download"));
    setFont(QFont(QStringLiteral("Arial"), 10));

    GroupBox1 = named(new QGroupBox(QStringLiteral(" Suchmaskse "), this), "GroupBox1");
    Label1 = named(new QLabel(QStringLiteral("ISBN - Nr.:"), GroupBox1), "Label1");
    editISBNNr = named(new QLineEdit(GroupBox1), "editISBNNr");
    Label2 = named(new QLabel(QStringLiteral("Titel"), GroupBox1), "Label2");
    editTitel = named(new QLineEdit(GroupBox1), "editTitel");
    Label3 = named(new QLabel(QStringLiteral("Serienname"), GroupBox1), "Label3");
    editSerie = named(new QLineEdit(GroupBox1), "editSerie");
    btnSearch = named(new QPushButton(QStringLiteral("Comic &suchen"), GroupBox1), "btnSearch");
    Label1->setBuddy(editISBNNr);
    Label2->setBuddy(editTitel);
    Label3->setBuddy(editSerie);

    auto* search = new QGridLayout(GroupBox1);
    search->addWidget(Label1, 0, 0);
    search->addWidget(editISBNNr, 0, 1);
    search->addWidget(Label2, 0, 2);
    search->addWidget(editTitel, 0, 3);
    search->addWidget(Label3, 1, 2);
    search->addWidget(editSerie, 1, 3);
    search->addWidget(btnSearch, 0, 4);
    search->setColumnStretch(1, 1);
    search->setColumnStretch(3, 2);

    memoData = named(new QPlainTextEdit(QStringLiteral("memoData"), this), "memoData");
    memoData->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    memoData->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    memoData->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    Panel1 = named(new QFrame(this), "Panel1");
    Panel2 = named(new QFrame(Panel1), "Panel2");
    Button1 = named(new QPushButton(QStringLiteral("Schli&eßen"), Panel2), "Button1");
    auto* closeBand = new QHBoxLayout(Panel2);
    closeBand->setContentsMargins(0, 0, 0, 0);
    closeBand->addWidget(Button1);
    auto* bottom = new QHBoxLayout(Panel1);
    bottom->setContentsMargins(0, 0, 0, 0);
    bottom->addStretch();
    bottom->addWidget(Panel2);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(GroupBox1);
    layout->addWidget(memoData, 1);
    layout->addWidget(Panel1);

    // Enter must not start a search: neither button is a default button.
    btnSearch->setAutoDefault(false);
    Button1->setAutoDefault(false);

    setTabOrder(editISBNNr, editTitel);
    setTabOrder(editTitel, editSerie);
    setTabOrder(editSerie, btnSearch);
    setTabOrder(btnSearch, Button1);
    setTabOrder(Button1, memoData);
    editISBNNr->setFocus();

    ui::onCommand(btnSearch, &QPushButton::clicked, this, [this](bool) { btnSearchClick(); });
    connect(Button1, &QPushButton::clicked, this, &QDialog::reject);

    setFixedSize(640, 420);
}

TComicDownload::~TComicDownload() = default;

void TComicDownload::btnSearchClick()
{
    QElapsedTimer ticks;
    ticks.start();

    QString Titel1, Titel2, Titel3, Verlag, Serie, Band, Seiten, ISBNNR, Gruppe, Sparte;
    m_port->ComicByISBN(editISBNNr->text(), Titel1, Titel2, Titel3, Verlag, Serie, Band, Seiten, ISBNNR,
                        Gruppe, Sparte);
    for (const QString* value : {&Titel1, &Titel2, &Titel3, &Verlag, &Serie, &Band, &Seiten, &ISBNNR, &Gruppe,
                                 &Sparte})
        memoData->appendPlainText(*value);

    const auto duration = static_cast<quint32>(ticks.elapsed());
    ui::showNote(QStringLiteral("Dauer: ") + QString::number(duration), this);
}

void menDownloadClick(QWidget* owner)
{
    ui::runCommand([owner] {
        const auto dialog = std::make_unique<TComicDownload>(owner);
        dialog->exec();
    });
}

} // namespace service
