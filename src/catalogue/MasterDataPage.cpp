#include "catalogue/MasterDataPage.h"

#include "catalogue/CoverPanel.h"
#include "catalogue/InputBox.h"
#include "covers/CollectionCovers.h"
#include "covers/CoverRules.h"
#include "database/ComicData.h"
#include "database/FieldNames.h"
#include "core/Command.h"
#include "dbcontrols/DBCheckBox.h"
#include "dbcontrols/DBEdit.h"
#include "dbcontrols/DBGrid.h"
#include "dbcontrols/DBLookupComboBox.h"
#include "dbcontrols/DBMemo.h"
#include "dbcontrols/FieldLink.h"

#include <QAbstractButton>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScopeGuard>
#include <QShortcut>
#include <QToolButton>
#include <QVBoxLayout>

namespace f = db::fields;

namespace {

// The pictures of the small delete and edit buttons, drawn here so that they
// look the same under every style and icon theme.
QIcon deleteIcon()
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0xb0, 0x20, 0x20), 2.2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(4, 4), QPointF(12, 12));
    p.drawLine(QPointF(12, 4), QPointF(4, 12));
    return QIcon(pixmap);
}

QIcon editIcon()
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(QColor(0x30, 0x30, 0x30), 1));
    p.setBrush(QColor(0xe8, 0xb0, 0x30));
    const QPointF pencil[] = {{10.5, 2.5}, {13.5, 5.5}, {6, 13}, {3, 13}, {3, 10}};
    p.drawPolygon(pencil, 5);
    p.drawLine(QPointF(3, 10), QPointF(6, 13));
    return QIcon(pixmap);
}

// A speed button: never takes the focus, so the Tab order runs through the
// fields and lists only.
QToolButton* smallButton(QWidget* parent, const QString& name, const QString& text, const QIcon& icon = {})
{
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setFocusPolicy(Qt::NoFocus);
    if (icon.isNull())
        button->setText(text);
    else {
        button->setIcon(icon);
        button->setAccessibleName(text);
    }
    button->setFixedSize(22, 22);
    return button;
}

// The three buttons beside a list: "+", delete, edit.
QVBoxLayout* listButtons(QWidget* parent, const QString& suffix, QAbstractButton** add, QAbstractButton** del,
                         QAbstractButton** edit)
{
    *add = smallButton(parent, QStringLiteral("btnAdd") + suffix, QStringLiteral("+"));
    *del = smallButton(parent, QStringLiteral("btnDel") + suffix, QStringLiteral("Löschen"), deleteIcon());
    *edit = smallButton(parent, QStringLiteral("btnEdit") + suffix, QStringLiteral("Bearbeiten"), editIcon());
    auto* column = new QVBoxLayout;
    column->setSpacing(2);
    column->addWidget(*add);
    column->addWidget(*del);
    column->addWidget(*edit);
    column->addStretch();
    return column;
}

ui::DBGrid* grid(QWidget* parent, const QString& name, db::DataSource* source, const QList<ui::GridColumn>& columns)
{
    auto* g = new ui::DBGrid(source, parent);
    g->setObjectName(name);
    g->setColumns(columns);
    g->setEditable(false);
    g->setShowGrid(true);
    return g;
}

QLabel* label(QWidget* parent, const QString& text)
{
    return new QLabel(text, parent);
}

// While a button is disabled, Qt lets its Alt+letter through to the focused
// box, which would type the letter. This shortcut takes the key instead, and
// does nothing, for as long as the button stays disabled.
class DisabledMnemonic : public QObject {
public:
    DisabledMnemonic(QAbstractButton* button, QWidget* scope)
        : QObject(button), m_button(button),
          m_guard(new QShortcut(QKeySequence::mnemonic(button->text()), scope))
    {
        m_guard->setContext(Qt::WidgetWithChildrenShortcut);
        m_guard->setAutoRepeat(false);
        follow();
        button->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_button && event->type() == QEvent::EnabledChange)
            follow();
        return false;
    }

private:
    void follow() { m_guard->setEnabled(!m_button->isEnabled()); }

    QAbstractButton* m_button;
    QShortcut* m_guard;
};

} // namespace

TMasterDataPage::TMasterDataPage(ComicData& data, covers::CollectionCovers& covers, QWidget* parent)
    : QWidget(parent), m_data(data), m_covers(covers)
{
    setObjectName(QStringLiteral("tsStammdaten"));

    auto* top = new QHBoxLayout;
    top->addWidget(buildFields(), 1);
    pnlTitelbild = new TCoverPanel(m_data, m_covers, this);
    top->addWidget(pnlTitelbild);
    top->addWidget(buildLists(), 1);

    auto* page = new QVBoxLayout(this);
    page->addWidget(buildToolbar());
    page->addLayout(top, 3);
    page->addWidget(buildLocalData(), 2);

    buildTabOrder();
    connectCommands();
    srcStripothekStateChange();
}

TMasterDataPage::~TMasterDataPage() = default;

QWidget* TMasterDataPage::buildToolbar()
{
    auto* bar = new QFrame(this);
    bar->setObjectName(QStringLiteral("tbStammdaten"));
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(1);
    const std::pair<QToolButton**, std::pair<const char*, const char*>> buttons[] = {
        {&btnNew, {"btnNew", "&Neu"}},
        {&btnNewBand, {"btnNewBand", "Neuer &Band"}},
        {&btnSave, {"btnSave", "&Speichern"}},
        {&btnDelete, {"btnDelete", "Löschen"}},
        {&btnRestore, {"btnRestore", "&Wiederherstellen"}},
    };
    int width = 0;
    for (const auto& [member, names] : buttons) {
        auto* button = new QToolButton(bar);
        button->setObjectName(QLatin1String(names.first));
        button->setText(QString::fromUtf8(names.second));
        button->setAutoRaise(true);
        button->setFocusPolicy(Qt::NoFocus);
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        width = qMax(width, button->sizeHint().width() + 16);
        row->addWidget(button);
        *member = button;
    }
    for (const auto& entry : buttons) {
        (*entry.first)->setFixedWidth(width);
        if (!QKeySequence::mnemonic((*entry.first)->text()).isEmpty())
            new DisabledMnemonic(*entry.first, this);
    }
    row->addStretch();
    return bar;
}

QWidget* TMasterDataPage::buildFields()
{
    auto* area = new QWidget(this);
    db::DataSource* src = &m_data.srcStripothek();

    cbFehlt = new ui::DBCheckBox(QStringLiteral("Comic fehlt in der Sammlung"), src, f::SCLFEHLT, area);
    cbFehlt->setObjectName(QStringLiteral("cbFehlt"));
    cbReBuy = new ui::DBCheckBox(QStringLiteral("Als erneut zu erweben markieren"), src, f::SCLZUKAUFEN, area);
    cbReBuy->setObjectName(QStringLiteral("cbReBuy"));

    auto edit = [&](const char* name, QLatin1String field) { return ui::DBEdit::named(name, src, field.data(), area); };
    editTitel1 = edit("editTitel1", f::SCLTITEL1);
    editTitel2 = edit("editTitel2", f::SCLTITEL2);
    editTitel3 = edit("editTitel3", f::SCLTITEL3);
    editISBNNr = edit("editISBNNr", f::SCLISBNNR);
    editBand = edit("editBand", f::SCLBAND);
    editSeiten = edit("editSeiten", f::SCLSEITEN);
    editMaxLimit = edit("editMaxLimit", f::SCLMAXLIMANZAHL);
    const int narrow = editBand->fontMetrics().horizontalAdvance(QLatin1Char('0')) * 8 + 12;
    for (ui::DBEdit* e : {editBand, editSeiten, editMaxLimit})
        e->setFixedWidth(narrow);

    auto lookup = [&](const char* name, QLatin1String field, db::DataSource* list, QLatin1String key,
                      QLatin1String shown) {
        auto* box = ui::DBLookupComboBox::named(name, src, field, list, key, shown, area);
        box->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        box->setMinimumContentsLength(8);
        box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        return box;
    };
    cbSerie = lookup("cbSerie", f::SCLSERIEID, &m_data.srcSerie(), f::SRSERIENID, f::SRNAME);
    cbVerlage = lookup("cbVerlage", f::SCLVERLAGID, &m_data.srcVerlage(), f::VLVERLAGID, f::VLNAME1);
    cbLitTyp = lookup("cbLitTyp", f::SCLLITARTID, &m_data.srcLitArt(), f::LAARTID, f::LANAME);
    cbLitart = lookup("cbLitart", f::SCLSPARTEID, &m_data.srcUnterart(), f::UATID, f::UANAME);
    cbSerie->setMaxVisibleItems(12);
    cbVerlage->setMaxVisibleItems(12);
    btnAddSerie = smallButton(area, QStringLiteral("btnAddSerie"), QStringLiteral("..."));
    btnAddVerlag = smallButton(area, QStringLiteral("btnAddVerlag"), QStringLiteral("..."));

    auto* flags = new QHBoxLayout;
    flags->addWidget(cbFehlt);
    flags->addSpacing(12);
    flags->addWidget(cbReBuy);
    flags->addStretch();

    auto withButton = [](QWidget* box, QWidget* button) {
        auto* row = new QHBoxLayout;
        row->setSpacing(2);
        row->addWidget(box, 1);
        row->addWidget(button);
        return row;
    };

    // Columns: label, field, narrow label, narrow field.
    auto* g = new QGridLayout;
    g->setColumnStretch(1, 1);
    g->setHorizontalSpacing(6);
    g->setVerticalSpacing(4);
    g->addLayout(flags, 0, 0, 1, 4);
    g->addWidget(label(area, QStringLiteral("Titel 1")), 1, 0);
    g->addWidget(editTitel1, 1, 1, 1, 3);
    g->addWidget(label(area, QStringLiteral("Titel 2")), 2, 0);
    g->addWidget(editTitel2, 2, 1, 1, 3);
    g->addWidget(label(area, QStringLiteral("Titel 3")), 3, 0);
    g->addWidget(editTitel3, 3, 1, 1, 3);
    g->addWidget(label(area, QStringLiteral("Serie")), 4, 0);
    g->addLayout(withButton(cbSerie, btnAddSerie), 4, 1, 1, 3);
    g->addWidget(label(area, QStringLiteral("Verlag")), 5, 0);
    g->addLayout(withButton(cbVerlage, btnAddVerlag), 5, 1);
    g->addWidget(label(area, QStringLiteral("Band")), 5, 2);
    g->addWidget(editBand, 5, 3);
    g->addWidget(label(area, QStringLiteral("Literaturtyp")), 6, 0);
    g->addWidget(cbLitTyp, 6, 1);
    g->addWidget(label(area, QStringLiteral("Seiten")), 6, 2);
    g->addWidget(editSeiten, 6, 3);
    g->addWidget(label(area, QStringLiteral("Literaturart")), 7, 0);
    g->addWidget(cbLitart, 7, 1);
    g->addWidget(label(area, QStringLiteral("Limitierung")), 7, 2);
    g->addWidget(editMaxLimit, 7, 3);
    g->addWidget(label(area, QStringLiteral("ISBN - Nr.")), 8, 0);
    g->addWidget(editISBNNr, 8, 1);
    g->setRowStretch(9, 1);

    auto* outer = new QVBoxLayout(area);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addLayout(g);
    return area;
}

QWidget* TMasterDataPage::buildLists()
{
    auto* area = new QWidget(this);

    m_lists.dbgAutoren = grid(area, QStringLiteral("dbgAutoren"), &m_data.srcComic2Autor(),
                      {{f::C2AAUTORID, QStringLiteral("Autor"), 28},
                       {f::C2AATID, QStringLiteral("Funktion"), 14},
                       {f::C2AID, {}, 0, false},
                       {f::C2ACOMICID, {}, 0, false}});
    m_lists.dbgAuflagen = grid(area, QStringLiteral("dbgAuflagen"), &m_data.srcAuflagen(),
                       {{f::ALAUFLAGE, QStringLiteral("Auflage"), 9},
                        {f::ALAUSFUEHRUNGID1, QStringLiteral("Ausführung"), 9},
                        {f::ALERSCHEINUNGSDATUM, QStringLiteral("E-Datum"), 8},
                        {f::ALVKPREIS, QStringLiteral("VK-Preis"), 7},
                        {f::ALWG, QStringLiteral("WG"), 3},
                        {f::ALSPREIS, QStringLiteral("S-Preis"), 7},
                        {f::ALSPWG, QStringLiteral("WG"), 3},
                        {f::ALAUFLAGEID, {}, 0, false},
                        {f::ALCOMICID, {}, 0, false},
                        {f::ALAUSFUEHRUNGID2, {}, 0, false}});
    // The edition list is only read here; its rows go through the edition dialog.
    m_lists.dbgAuflagen->setDeleteEnabled(false);

    auto* g = new QGridLayout(area);
    g->setContentsMargins(0, 0, 0, 0);
    g->setHorizontalSpacing(4);
    g->setVerticalSpacing(2);
    g->setColumnStretch(1, 1);
    g->addWidget(label(area, QStringLiteral("Autoren")), 0, 1);
    g->addLayout(listButtons(area, QStringLiteral("Author"), &m_lists.btnAddAuthor, &m_lists.btnDelAuthor,
                             &m_lists.btnEditAuthor),
                 1, 0);
    g->addWidget(m_lists.dbgAutoren, 1, 1);
    g->addWidget(label(area, QStringLiteral("Auflagen")), 2, 1);
    g->addLayout(listButtons(area, QStringLiteral("Auflage"), &m_lists.btnAddAuflage, &m_lists.btnDelAuflage,
                             &m_lists.btnEditAuflage),
                 3, 0);
    g->addWidget(m_lists.dbgAuflagen, 3, 1);
    g->setRowStretch(1, 1);
    g->setRowStretch(3, 1);
    return area;
}

QGroupBox* TMasterDataPage::buildLocalData()
{
    gbLokaleDaten = new QGroupBox(QStringLiteral(" Lokale Daten "), this);
    gbLokaleDaten->setObjectName(QStringLiteral("gbLokaleDaten"));
    QGroupBox* box = gbLokaleDaten;

    m_lists.dbgLAuflage = grid(box, QStringLiteral("dbgLAuflage"), &m_data.srcComicLocal(),
                       {{f::LCLAUFLAGE, QStringLiteral("Auflage"), 10},
                        {f::LCLAUSFUEHRUNGID1, QStringLiteral("Ausführung 1"), 12},
                        {f::LCLAUSFUEHRUNGID2, QStringLiteral("Ausführung 2"), 12},
                        {f::LCLZUSTANDID, QStringLiteral("Zustand"), 12},
                        {f::LCLKPREIS, QStringLiteral("Kaufpreis"), 8},
                        {f::LCLKPREISWG, QStringLiteral("WG"), 4},
                        {f::LCKKDATUM, QStringLiteral("Kaufdatum"), 10},
                        {f::LCLLAGERPLATZ, QStringLiteral("L-Platz"), 14},
                        {f::LCLNUMMER, QStringLiteral("L-Nr."), 5},
                        {f::LCLCOMICID, {}, 0, false},
                        {f::LCLSERVERCOMICID, {}, 0, false},
                        {f::LCLBEMERKUNG, {}, 0, false}});

    editBemerkung2 = new ui::DBMemo(&m_data.srcComicLocal(), f::LCLBEMERKUNG, box);
    editBemerkung2->setObjectName(QStringLiteral("editBemerkung2"));
    editBemerkung2->setReadOnly(true);
    editBemerkung2->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    editBemerkung2->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);

    auto* btnAutShortCut = new QPushButton(QStringLiteral("&Autoren"), box);
    btnAutShortCut->setObjectName(QStringLiteral("btnAutShortCut"));
    auto* btnAuflShortCut = new QPushButton(QStringLiteral("Au&flage"), box);
    btnAuflShortCut->setObjectName(QStringLiteral("btnAuflShortCut"));
    m_lists.btnAutShortCut = btnAutShortCut;
    m_lists.btnAuflShortCut = btnAuflShortCut;

    // The two accelerator buttons share the grid's cell and lie beneath it.
    auto* middle = new QGridLayout;
    middle->setVerticalSpacing(2);
    middle->addWidget(label(box, QStringLiteral("Eigene Comics")), 0, 0);
    middle->addWidget(btnAutShortCut, 1, 0, Qt::AlignLeft | Qt::AlignTop);
    middle->addWidget(btnAuflShortCut, 1, 0, Qt::AlignLeft | Qt::AlignTop);
    middle->addWidget(m_lists.dbgLAuflage, 1, 0);
    middle->setRowStretch(1, 1);
    for (QPushButton* b : {btnAutShortCut, btnAuflShortCut}) {
        b->setFocusPolicy(Qt::NoFocus);
        b->setAutoDefault(false);
        b->lower();
    }

    auto* right = new QVBoxLayout;
    right->setSpacing(2);
    right->addWidget(label(box, QStringLiteral("Eigene Bemerkungen")));
    right->addWidget(editBemerkung2, 1);

    auto* row = new QHBoxLayout(box);
    row->addLayout(listButtons(box, QStringLiteral("LComic"), &m_lists.btnAddLComic, &m_lists.btnDelLComic,
                               &m_lists.btnEditLComic));
    row->addLayout(middle, 4);
    row->addLayout(right, 1);
    return box;
}

void TMasterDataPage::buildTabOrder()
{
    const QList<QWidget*> chain = {cbFehlt,     editTitel1, editTitel2,   editTitel3, cbSerie,
                                   cbVerlage,   cbLitTyp,   cbLitart,     editISBNNr, editBand,
                                   editSeiten,  editMaxLimit, m_lists.dbgAutoren, m_lists.dbgAuflagen,
                                   m_lists.dbgLAuflage, editBemerkung2, cbReBuy};
    for (qsizetype i = 1; i < chain.size(); ++i)
        QWidget::setTabOrder(chain[i - 1], chain[i]);
}

void TMasterDataPage::connectCommands()
{
    ui::onCommand(btnNew, &QToolButton::clicked, this, [this](auto&&...) { btnNewClick(); });
    ui::onCommand(btnNewBand, &QToolButton::clicked, this, [this](auto&&...) { btnNewBandClick(); });
    ui::onCommand(btnSave, &QToolButton::clicked, this, [this](auto&&...) { btnSaveClick(); });
    ui::onCommand(btnDelete, &QToolButton::clicked, this, [this](auto&&...) { btnDeleteClick(); });
    ui::onCommand(btnRestore, &QToolButton::clicked, this, [this](auto&&...) { btnRestoreClick(); });
    ui::onCommand(btnAddVerlag, &QToolButton::clicked, this, [this](auto&&...) { btnAddVerlagClick(); });
    ui::onCommand(btnAddSerie, &QToolButton::clicked, this, [this](auto&&...) { btnAddSerieClick(); });

    // Whatever the "+" buttons come to do, the accelerators do the same, and
    // nothing while those buttons are disabled.
    connect(m_lists.btnAutShortCut, &QAbstractButton::clicked, m_lists.btnAddAuthor, &QAbstractButton::click);
    connect(m_lists.btnAuflShortCut, &QAbstractButton::clicked, m_lists.btnAddAuflage, &QAbstractButton::click);

    db::DataSource* src = &m_data.srcStripothek();
    connect(src, &db::DataSource::stateChanged, this, &TMasterDataPage::srcStripothekStateChange);
    // A deletion or a filter changes the rows without a change of state.
    connect(src, &db::DataSource::dataSetChanged, this, &TMasterDataPage::srcStripothekStateChange);
}

void TMasterDataPage::labelNumberFields()
{
    // The fields are made anew at each opening; the refusal of a typed
    // number names the box's label.
    const std::pair<QLatin1String, const char*> labels[] = {
        {f::SCLBAND, "Band"}, {f::SCLSEITEN, "Seiten"}, {f::SCLMAXLIMANZAHL, "Limitierung"}};
    for (const auto& [field, text] : labels)
        if (db::Field* f = m_data.tblStripothek().findField(field))
            f->setDisplayLabel(QLatin1String(text));
}

void TMasterDataPage::srcStripothekStateChange()
{
    db::Table& tbl = m_data.tblStripothek();
    const db::DataSetState state = tbl.state();
    const bool browse = state == db::DataSetState::Browse;
    const bool editing = tbl.isEditing();
    if (tbl.active())
        labelNumberFields();

    btnNew->setEnabled(browse);
    btnNewBand->setEnabled(browse);
    btnSave->setEnabled(editing);
    btnDelete->setEnabled(tbl.active() && !tbl.isEmpty() && btnNew->isEnabled());
    btnRestore->setEnabled(editing);

    const int previous = std::exchange(m_lastState, int(state));
    if (previous == int(db::DataSetState::Insert) && state != db::DataSetState::Insert)
        Q_EMIT countChanged();
}

void TMasterDataPage::btnNewClick()
{
    db::Table& tbl = m_data.tblStripothek();
    ui::updateRecord(&tbl);
    m_data.rules().NewComic();
    editTitel1->setFocus();
}

void TMasterDataPage::btnNewBandClick()
{
    ui::updateRecord(&m_data.tblStripothek());
    m_data.rules().NewVolume();
    editTitel1->setFocus();
}

void TMasterDataPage::btnSaveClick()
{
    db::Table& tbl = m_data.tblStripothek();
    ui::updateRecord(&tbl);
    db::ControlsDisabled frozen(tbl);
    // Posting derives the fields and stores the authors of a new volume.
    if (tbl.isEditing())
        tbl.post();
}

void TMasterDataPage::btnDeleteClick()
{
    db::Table& tbl = m_data.tblStripothek();
    if (!tbl.active() || tbl.isEmpty())
        return;
    if (!ui::confirm(QStringLiteral("Diesen Comic löschen?"), this))
        return;
    // Read before the deletion moves the table on to the next comic.
    const QString key = tbl.state() == db::DataSetState::Insert ? QString() : tbl.fieldByName(f::SCLCOMICID).asString();
    // The count follows a comic that went even when its cover could not go.
    bool deleted = false;
    const auto count = qScopeGuard([&] {
        if (deleted)
            Q_EMIT countChanged();
    });
    covers::deleteComicWithCover(m_covers.store(), key, [&] { return deleted = m_data.rules().DeleteComic(); });
}

void TMasterDataPage::btnRestoreClick()
{
    m_data.tblStripothek().cancel();
}

void TMasterDataPage::btnAddVerlagClick()
{
    addLookupRow(m_data.tblVerlage(), f::VLVERLAGID, f::VLNAME1,
                 QStringLiteral("Neuen Verlag erstellen"), QStringLiteral("Verlagsname"),
                 QStringLiteral("Dieser Verlag existiert schon!"), f::SCLVERLAGID);
}

void TMasterDataPage::btnAddSerieClick()
{
    addLookupRow(m_data.tblSerie(), f::SRSERIENID, f::SRNAME,
                 QStringLiteral("Neue Serie erstellen"), QStringLiteral("Serienname"),
                 QStringLiteral("Diese Serie existiert schon!"), f::SCLSERIEID);
}

void TMasterDataPage::addLookupRow(db::Table& table, const QString& keyField, const QString& nameField,
                                   const QString& caption, const QString& prompt, const QString& existsMessage,
                                   const QString& comicField)
{
    QString name;
    if (!InputQuery(caption, prompt, name, this))
        return;
    name = TrimInput(name);
    if (name.isEmpty())
        return;
    if (table.locate(nameField, name, db::LocateExact)) {
        ui::showNote(existsMessage, this);
        return;
    }

    const QString key = m_data.rules().AddNamedRow(table, keyField, nameField, name);
    db::Table& comic = m_data.tblStripothek();
    if (comic.isEditing())
        comic.fieldByName(comicField).setAsString(key);
}
