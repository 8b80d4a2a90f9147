#include "catalogue/OverviewPage.h"

#include "catalogue/CoverGallery.h"
#include "csvstore/ShownRowsCsv.h"
#include "database/ComicData.h"
#include "database/FieldNames.h"
#include "core/Command.h"
#include "dbcontrols/DBGrid.h"
#include "dbcontrols/FieldLink.h"
#include "core/WaitCursor.h"

#include <QAction>
#include <QButtonGroup>
#include <QApplication>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHash>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QRadioButton>
#include <QShortcut>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace f = db::fields;

namespace {

bool isBlankOrControl(QChar c)
{
    return c.unicode() <= 0x20 || c.category() == QChar::Other_Control;
}

// Only blanks and control characters go: QString::trimmed() would also eat
// no-break spaces, which a user may well mean to search for.
QString trimBlanks(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlankOrControl(text.at(begin)))
        ++begin;
    while (end > begin && isBlankOrControl(text.at(end - 1)))
        --end;
    return text.mid(begin, end - begin);
}

// The index a column title selects; columns without one keep the order.
QString indexForField(const QString& fieldName)
{
    static const QHash<QString, QString> indexes = {
        {f::SCLTITEL1, QStringLiteral("NKSCLTITEL1")},
        {f::SCLSERIENTEXT, QStringLiteral("NKSCLSERIENTEXT")},
        {f::SCLVERLAGTEXT, QStringLiteral("NKSCLVERLAGTEXT")},
        // The reduced ISBN, so that "3-551-…" and "3551…" sort side by side.
        {f::SCLISBNNR, QStringLiteral("NKSCLINTISBNNR")},
    };
    return indexes.value(fieldName.toUpper());
}

} // namespace

TOverviewPage::TOverviewPage(ComicData& data, covers::CollectionCovers& covers, QWidget* parent)
    : QWidget(parent), m_data(data), m_covers(covers)
{
    setObjectName(QStringLiteral("tsListe"));
    buildPage();
    connectCommands();
}

TOverviewPage::~TOverviewPage() = default;

void TOverviewPage::buildPage()
{
    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(0, 0, 0, 0);
    page->setSpacing(0);

    editSuche = new QLineEdit(this);
    editSuche->setObjectName(QStringLiteral("editSuche"));
    editSuche->setPlaceholderText(QStringLiteral("Suchen …"));
    editSuche->setClearButtonEnabled(true);
    editSuche->installEventFilter(this);
    page->addWidget(editSuche);
    // A search per keystroke would repaint the list under the user's fingers.
    m_searchPause = new QTimer(this);
    m_searchPause->setSingleShot(true);
    m_searchPause->setInterval(250);
    auto* find = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_F), this);
    find->setObjectName(QStringLiteral("scSuche"));
    connect(find, &QShortcut::activated, this, [this] {
        editSuche->setFocus(Qt::ShortcutFocusReason);
        editSuche->selectAll();
    });

    dbgListe = new ui::DBGrid(&m_data.srcStripothek(), this);
    dbgListe->setObjectName(QStringLiteral("dbgListe"));
    dbgListe->setColumns({
        {f::SCLTITEL1, QStringLiteral("Titel 1"), 40},
        {f::SCLSERIENTEXT, QStringLiteral("Serie"), 30},
        {f::SCLBAND, QStringLiteral("Band"), 6},
        {f::SCLVERLAGTEXT, QStringLiteral("Verlage"), 24},
        {f::SCLISBNNR, QStringLiteral("ISBN-Nr."), 18},
        {f::SCLFEHLT, QStringLiteral("Fehlt"), 5},
    });
    // The catalogue row must not go without its authors, editions and own
    // copies: Ctrl+Del runs only the action the frame hands in.
    dbgListe->setDeleteEnabled(false);
    dbgListe->installEventFilter(this);
    swListe = new QStackedWidget(this);
    swListe->setObjectName(QStringLiteral("swListe"));
    swListe->addWidget(dbgListe);
    page->addWidget(swListe, 1);

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameShape(QFrame::StyledPanel);
    Panel1->setContextMenuPolicy(Qt::CustomContextMenu);
    auto* panel = new QVBoxLayout(Panel1);

    auto* options = new QHBoxLayout;
    labInfo = new QLabel(QStringLiteral("Anzahl: 0"), Panel1);
    labInfo->setObjectName(QStringLiteral("labInfo"));
    labInfo->setMinimumWidth(labInfo->fontMetrics().horizontalAdvance(QStringLiteral("Anzahl: 0000000")));
    rbShowAll = new QRadioButton(QStringLiteral("Alle anzeigen"), Panel1);
    rbShowAll->setObjectName(QStringLiteral("rbShowAll"));
    rbShowAll->setChecked(true);
    rbShowToBuy = new QRadioButton(QStringLiteral("Comics, die als fehlend markiert wurden, anzeigen"), Panel1);
    rbShowToBuy->setObjectName(QStringLiteral("rbShowToBuy"));
    rbShowOwner = new QRadioButton(QStringLiteral("Nur eigene Comics anzeigen"), Panel1);
    rbShowOwner->setObjectName(QStringLiteral("rbShowOwner"));
    options->addWidget(labInfo);
    options->addSpacing(12);
    options->addWidget(rbShowAll);
    options->addWidget(rbShowToBuy);
    options->addWidget(rbShowOwner);
    options->addStretch(1);
    btnShowList = new QToolButton(Panel1);
    btnShowList->setObjectName(QStringLiteral("btnShowList"));
    btnShowList->setText(QStringLiteral("Liste"));
    btnShowGallery = new QToolButton(Panel1);
    btnShowGallery->setObjectName(QStringLiteral("btnShowGallery"));
    btnShowGallery->setText(QStringLiteral("Titelbilder"));
    btnShowGallery->setToolTip(QStringLiteral("Die Comics als Galerie ihrer Titelbilder zeigen"));
    auto* views = new QButtonGroup(Panel1);
    for (QToolButton* b : {btnShowList, btnShowGallery}) {
        b->setCheckable(true);
        b->setAutoRaise(true);
        b->setFocusPolicy(Qt::NoFocus);
        views->addButton(b);
        options->addWidget(b);
    }
    btnShowList->setChecked(true);
    panel->addLayout(options);

    GroupBox1 = new QGroupBox(QStringLiteral(" Filtereinstellungen "), Panel1);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    auto* boxes = new QGridLayout(GroupBox1);
    btnRefresh = new QToolButton(GroupBox1);
    btnRefresh->setObjectName(QStringLiteral("btnRefresh"));
    btnRefresh->setIcon(style()->standardIcon(QStyle::SP_BrowserReload));
    btnRefresh->setToolTip(QStringLiteral("Filter anwenden"));
    btnRefresh->setAutoRaise(false);
    boxes->addWidget(btnRefresh, 1, 0);

    const struct {
        QLineEdit** edit;
        const char* name;
        QString caption;
        int stretch;
    } filterBoxes[] = {
        {&editSrchTitel, "editSrchTitel", QStringLiteral("Titel"), 3},
        {&editSrchSerie, "editSrchSerie", QStringLiteral("Serie"), 3},
        {&editSrchVerlag, "editSrchVerlag", QStringLiteral("Verlag"), 2},
        {&editSrchISBN, "editSrchISBN", QStringLiteral("ISBN-Nr"), 2},
    };
    int column = 1;
    for (const auto& box : filterBoxes) {
        auto* edit = new QLineEdit(GroupBox1);
        edit->setObjectName(QString::fromLatin1(box.name));
        auto* label = new QLabel(box.caption, GroupBox1);
        label->setBuddy(edit);
        boxes->addWidget(label, 0, column);
        boxes->addWidget(edit, 1, column);
        boxes->setColumnStretch(column, box.stretch);
        *box.edit = edit;
        ++column;
    }
    panel->addWidget(GroupBox1);
    page->addWidget(Panel1);

    setTabOrder(editSrchTitel, editSrchSerie);
    setTabOrder(editSrchSerie, editSrchVerlag);
    setTabOrder(editSrchVerlag, editSrchISBN);

    pmMenu = new QMenu(this);
    pmMenu->setObjectName(QStringLiteral("pmMenu"));
    menRefresh = pmMenu->addAction(QStringLiteral("Filter aktualisieren"));
    menRefresh->setObjectName(QStringLiteral("menRefresh"));
    menRefresh->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F5));
    // The shortcut is only shown: Ctrl+F5 belongs to "Ansicht" → "Aktualisieren"
    // of the main window, which this item must not take away.
    menRefresh->setShortcutContext(Qt::WidgetShortcut);
}

void TOverviewPage::connectCommands()
{
    ui::onCommand(btnRefresh, &QToolButton::clicked, this, [this](bool) { btnRefreshClick(); });
    for (QRadioButton* option : {rbShowAll, rbShowToBuy, rbShowOwner}) {
        // Choosing a button also unchecks the previous one; only the choice counts.
        ui::onCommand(option, &QRadioButton::toggled, this, [this](bool checked) {
            if (checked)
                btnRefreshClick();
        });
    }
    connect(editSuche, &QLineEdit::textChanged, m_searchPause, qOverload<>(&QTimer::start));
    connect(m_searchPause, &QTimer::timeout, this, [this] { ui::runCommand([this] { ApplySearch(); }); });
    ui::onCommand(dbgListe, &ui::DBGrid::titleClicked, this,
                  [this](int column, const QString&) { dbgListeTitleClick(column); });
    ui::onCommand(btnShowGallery, &QToolButton::toggled, this, [this](bool checked) { showGallery(checked); });
    connect(Panel1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { pmMenu->popup(Panel1->mapToGlobal(pos)); });
}

void TOverviewPage::btnRefreshClick()
{
    ApplyOverviewFilter();
}

QString TOverviewPage::filterExpression() const
{
    const struct {
        QLineEdit* edit;
        QLatin1String opening;
    } conditions[] = {
        {editSrchTitel, QLatin1String("(SCLTITEL1 = '")},
        {editSrchSerie, QLatin1String("(SCLSERIENTEXT = '")},
        {editSrchVerlag, QLatin1String("(SCLVERLAGTEXT = '")},
        {editSrchISBN, QLatin1String("(SCLISBNNR = '")},
    };
    QString expression;
    const auto add = [&expression](const QString& condition) {
        if (!expression.isEmpty())
            expression += QLatin1String(" AND ");
        expression += condition;
    };
    for (const auto& c : conditions) {
        const QString text = trimBlanks(c.edit->text());
        // Verbatim: the filter language has no escape, and the trailing "*"
        // makes the engine compare by beginning.
        if (!text.isEmpty())
            add(c.opening + text + QLatin1String("*')"));
    }
    if (rbShowToBuy->isChecked())
        add(QStringLiteral("((SCLFEHLT = 1) OR (SCLZUKAUFEN = 1))"));
    return expression;
}

void TOverviewPage::ApplyOverviewFilter()
{
    ui::WaitCursor wait;
    db::Table& table = m_data.tblStripothek();
    // An entry being edited is stored (or an untouched new one dropped)
    // before the list changes under it, even if the filter is then refused.
    ui::storeEditedRow(table);

    const QString expression = filterExpression();
    if (expression.isEmpty()) {
        table.setFiltered(false);
    } else {
        table.setFilter(expression);
        table.setFiltered(true);
    }
    table.first();
    table.setSearch(editSuche->text());
    UpdateCount();
}

void TOverviewPage::ApplySearch()
{
    m_searchPause->stop();
    ui::WaitCursor wait;
    db::Table& table = m_data.tblStripothek();
    ui::storeEditedRow(table);
    table.setSearch(editSuche->text());
}

void TOverviewPage::UpdateCount()
{
    labInfo->setText(QStringLiteral("Anzahl: ") + QString::number(m_data.tblStripothek().recordCount()));
}

int TOverviewPage::SaveAsCsv(const QString& fileName)
{
    db::Table& table = m_data.tblStripothek();
    table.checkBrowseMode();
    QList<csvstore::CsvColumn> columns;
    for (const ui::GridColumn& c : dbgListe->columns())
        if (c.visible)
            columns.append({c.fieldName, c.title});
    const ui::WaitCursor waiting;
    return csvstore::writeShownRows(table, columns, fileName);
}

void TOverviewPage::dbgListeTitleClick(int column)
{
    db::Table& table = m_data.tblStripothek();
    const QString index = indexForField(dbgListe->fieldNameAt(column));
    // The list starts afresh at its first row in the new order.
    if (!index.isEmpty())
        table.setIndexName(index, false);
    table.first();
}

bool TOverviewPage::ShowSeries(const QString& seriesId, const QString& name)
{
    db::Table& table = m_data.tblStripothek();
    ui::updateRecord(&table);
    table.checkBrowseMode();
    table.setIndexName(QStringLiteral("NKSCLSERIENTEXT"));
    if (table.locate(f::SCLSERIEID, seriesId))
        return false;
    const bool wasFiltered = table.filtered() || !table.search().isEmpty();
    if (wasFiltered) {
        const QList<QLineEdit*> boxes = {editSrchTitel, editSrchSerie, editSrchVerlag, editSrchISBN, editSuche};
        QStringList typed;
        for (QLineEdit* box : boxes)
            typed << box->text();
        QRadioButton* chosen = rbShowAll;
        for (QRadioButton* option : {rbShowToBuy, rbShowOwner})
            if (option->isChecked())
                chosen = option;
        const auto choose = [](QRadioButton* option) {
            // Choosing the button would apply the filter once more on its own.
            const QSignalBlocker quiet(option);
            option->setChecked(true);
        };
        for (QLineEdit* box : boxes)
            box->clear();
        m_searchPause->stop(); // ApplyOverviewFilter searches too
        choose(rbShowAll);
        ApplyOverviewFilter();
        if (table.locate(f::SCLSERIEID, seriesId))
            return true;
        // Not there at all: the user's filter comes back rather than being
        // lost for nothing.
        for (qsizetype i = 0; i < boxes.size(); ++i)
            boxes[i]->setText(typed[i]);
        m_searchPause->stop();
        choose(chosen);
        ApplyOverviewFilter();
    }
    throw db::Error(QStringLiteral("Die Serie „%1“ hat keinen Band mehr im Katalog").arg(name));
}

void TOverviewPage::showGallery(bool gallery)
{
    if (gallery && !lvGalerie) {
        lvGalerie = new TCoverGallery(m_data, m_covers, swListe);
        lvGalerie->setObjectName(QStringLiteral("lvGalerie"));
        lvGalerie->installEventFilter(this);
        swListe->addWidget(lvGalerie);
        // The press before it has made the comic current already.
        connect(lvGalerie, &QAbstractItemView::doubleClicked, this, &TOverviewPage::comicOpened);
    }
    QWidget* shown = gallery ? static_cast<QWidget*>(lvGalerie) : dbgListe;
    const bool hadFocus = swListe->currentWidget() && swListe->currentWidget()->hasFocus();
    swListe->setCurrentWidget(shown);
    {
        const QSignalBlocker quiet(btnShowGallery);
        (gallery ? btnShowGallery : btnShowList)->setChecked(true);
    }
    if (hadFocus || isVisible())
        shown->setFocus();
    if (gallery && lvGalerie->currentIndex().isValid())
        lvGalerie->scrollTo(lvGalerie->currentIndex());
}

bool TOverviewPage::galleryShown() const
{
    return lvGalerie && swListe->currentWidget() == lvGalerie;
}

void TOverviewPage::setDeleteAction(std::function<void()> action)
{
    m_deleteAction = std::move(action);
}

bool TOverviewPage::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == editSuche && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape && !editSuche->text().isEmpty()) {
        // At once: the user wants the whole list back, not after a pause.
        editSuche->clear();
        ui::runCommand([this] { ApplySearch(); });
        return true;
    }
    if ((watched == dbgListe || (lvGalerie && watched == lvGalerie)) && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Delete && key->modifiers().testFlag(Qt::ControlModifier)) {
            // A copy: the action may well replace itself while it runs.
            if (const auto action = m_deleteAction)
                ui::runCommand(action);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
