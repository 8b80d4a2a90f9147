#include "catalogue/DetailCommands.h"

#include "catalogue/AuflageForm.h"
#include "catalogue/AutorForm.h"
#include "catalogue/AutorenForm.h"
#include "catalogue/LokalDatenForm.h"
#include "database/ComicData.h"
#include "core/Command.h"
#include "dbcontrols/DBGrid.h"
#include "dbcontrols/FieldLink.h"

#include <QAbstractButton>
#include <memory>

namespace {

QString S(const char* text)
{
    return QString::fromUtf8(text);
}

} // namespace

TDetailCommands::TDetailCommands(ComicData& data, QWidget* owner) : QObject(owner), m_data(data), m_owner(owner)
{
}

TDetailCommands::~TDetailCommands()
{
    for (const auto& c : std::as_const(m_connections))
        disconnect(c);
}

void TDetailCommands::attach(QWidget* page)
{
    for (const auto& c : std::as_const(m_connections))
        disconnect(c);
    m_connections.clear();
    if (!page)
        return;

    using Command = void (TDetailCommands::*)();
    auto button = [&](const char* name) { return page->findChild<QAbstractButton*>(QLatin1String(name)); };
    auto onClick = [&](const char* name, Command command) {
        if (QAbstractButton* b = button(name))
            m_connections << ui::onCommand(b, &QAbstractButton::clicked, this,
                                           [this, command](auto&&...) { (this->*command)(); });
    };
    onClick("btnAddAuthor", &TDetailCommands::btnAddAuthorClick);
    onClick("btnDelAuthor", &TDetailCommands::btnDelAuthorClick);
    onClick("btnEditAuthor", &TDetailCommands::btnEditAuthorClick);
    onClick("btnAddAuflage", &TDetailCommands::btnAddAuflageClick);
    onClick("btnDelAuflage", &TDetailCommands::btnDelAuflageClick);
    onClick("btnEditAuflage", &TDetailCommands::btnEditAuflageClick);
    onClick("btnAddLComic", &TDetailCommands::btnAddLComicClick);
    onClick("btnDelLComic", &TDetailCommands::btnDelLComicClick);
    onClick("btnEditLComic", &TDetailCommands::btnEditLComicClick);

    // The hidden accelerator buttons press the "+" buttons, so that they act
    // only while those are enabled; exactly one such forwarding, whether or
    // not the page made one already.
    auto accelerator = [&](const char* name, const char* addButton, Command command) {
        QAbstractButton* shortcut = button(name);
        if (!shortcut)
            return;
        if (QAbstractButton* add = button(addButton)) {
            shortcut->disconnect(add);
            m_connections << connect(shortcut, &QAbstractButton::clicked, add, &QAbstractButton::click);
        } else {
            onClick(name, command);
        }
    };
    accelerator("btnAutShortCut", "btnAddAuthor", &TDetailCommands::btnAddAuthorClick);
    accelerator("btnAuflShortCut", "btnAddAuflage", &TDetailCommands::btnAddAuflageClick);

    auto grid = [&](const char* name, Command onDoubleClick) {
        ui::DBGrid* g = page->findChild<ui::DBGrid*>(QLatin1String(name));
        if (g)
            m_connections << ui::onCommand(g, &ui::DBGrid::doubleClicked, this,
                                           [this, onDoubleClick](auto&&...) { (this->*onDoubleClick)(); });
        return g;
    };
    if (ui::DBGrid* g = grid("dbgAutoren", &TDetailCommands::btnEditAuthorClick)) {
        g->setDeleteEnabled(true);
        g->setDeleteAction([this](db::DataSet&) { deleteAuthorRow(); });
    }
    // Editions change only through their dialog.
    if (ui::DBGrid* g = grid("dbgAuflagen", &TDetailCommands::btnEditAuflageClick))
        g->setDeleteEnabled(false);
    if (ui::DBGrid* g = grid("dbgLAuflage", &TDetailCommands::btnEditLComicClick)) {
        g->setDeleteEnabled(true);
        g->setDeleteAction([this](db::DataSet&) { deleteLocalRow(); });
    }
}

void TDetailCommands::addPatternRow(TBoundDialog& dialog, db::Table& table)
{
    db::PendingRow row(table);
    if (showModal(dialog) != QDialog::Accepted)
        return;
    ui::updateRecord(&table);
    m_data.rules().KeyNewDetailRow(table);
    row.post();
}

void TDetailCommands::editPatternRow(TBoundDialog& dialog, db::Table& table)
{
    // A failed post leaves the changes in the row, unsaved, for the next try.
    if (showModal(dialog) == QDialog::Accepted) {
        ui::updateRecord(&table);
        table.post();
    } else {
        table.cancel();
    }
}

void TDetailCommands::btnAddAuthorClick()
{
    m_data.rules().ComicKeyForNewDetail();
    const auto dialog = std::make_unique<TAutorForm>(m_data, m_owner);
    addPatternRow(*dialog, m_data.tblComic2Autor());
}

void TDetailCommands::btnDelAuthorClick()
{
    if (ui::confirm(S("Eintrag löschen?"), m_owner))
        deleteAuthorRow();
}

void TDetailCommands::btnEditAuthorClick()
{
    if (m_data.tblComic2Autor().isEmpty())
        return;
    const auto dialog = std::make_unique<TAutorForm>(m_data, m_owner);
    editPatternRow(*dialog, m_data.tblComic2Autor());
}

void TDetailCommands::deleteAuthorRow()
{
    m_data.tblComic2Autor().deleteRecord();
}

void TDetailCommands::btnAddAuflageClick()
{
    m_data.rules().ComicKeyForNewDetail();
    const auto dialog = std::make_unique<TAuflageForm>(m_data, m_owner);
    addPatternRow(*dialog, m_data.tblAuflagen());
}

void TDetailCommands::btnDelAuflageClick()
{
    if (ui::confirm(S("Eintrag löschen?"), m_owner))
        m_data.tblAuflagen().deleteRecord();
}

void TDetailCommands::btnEditAuflageClick()
{
    if (m_data.tblAuflagen().isEmpty())
        return;
    const auto dialog = std::make_unique<TAuflageForm>(m_data, m_owner);
    editPatternRow(*dialog, m_data.tblAuflagen());
}

void TDetailCommands::btnAddLComicClick()
{
    m_data.rules().ComicKeyForNewDetail();
    const auto dialog = std::make_unique<TLokalDatenForm>(m_data, m_owner);
    m_data.tblComicLocal().append();
    // The dialog stores or drops the row itself.
    showModal(*dialog);
}

void TDetailCommands::btnDelLComicClick()
{
    if (ui::confirm(S("Eintrag löschen?"), m_owner))
        deleteLocalRow();
}

void TDetailCommands::btnEditLComicClick()
{
    if (m_data.tblComicLocal().isEmpty())
        return;
    const auto dialog = std::make_unique<TLokalDatenForm>(m_data, m_owner);
    showModal(*dialog);
}

void TDetailCommands::deleteLocalRow()
{
    m_data.tblComicLocal().deleteRecord();
}

void TDetailCommands::menAutorsClick()
{
    const auto list = std::make_unique<TAutorenForm>(m_data, m_owner);
    showModal(*list);
}
