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
#include <stdexcept>
#include <string>

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

void TDetailCommands::attach(const TDetailControls& controls)
{
    const std::pair<const void*, const char*> required[] = {
        {controls.btnAddAuthor, "btnAddAuthor"},     {controls.btnDelAuthor, "btnDelAuthor"},
        {controls.btnEditAuthor, "btnEditAuthor"},   {controls.btnAddAuflage, "btnAddAuflage"},
        {controls.btnDelAuflage, "btnDelAuflage"},   {controls.btnEditAuflage, "btnEditAuflage"},
        {controls.btnAddLComic, "btnAddLComic"},     {controls.btnDelLComic, "btnDelLComic"},
        {controls.btnEditLComic, "btnEditLComic"},   {controls.btnAutShortCut, "btnAutShortCut"},
        {controls.btnAuflShortCut, "btnAuflShortCut"}, {controls.dbgAutoren, "dbgAutoren"},
        {controls.dbgAuflagen, "dbgAuflagen"},       {controls.dbgLAuflage, "dbgLAuflage"},
    };
    for (const auto& [control, name] : required)
        if (!control)
            throw std::invalid_argument(std::string("TDetailCommands::attach: control missing: ") + name);

    for (const auto& c : std::as_const(m_connections))
        disconnect(c);
    m_connections.clear();

    using Command = void (TDetailCommands::*)();
    auto onClick = [&](QAbstractButton* button, Command command) {
        m_connections << ui::onCommand(button, &QAbstractButton::clicked, this,
                                       [this, command](auto&&...) { (this->*command)(); });
    };
    onClick(controls.btnAddAuthor, &TDetailCommands::btnAddAuthorClick);
    onClick(controls.btnDelAuthor, &TDetailCommands::btnDelAuthorClick);
    onClick(controls.btnEditAuthor, &TDetailCommands::btnEditAuthorClick);
    onClick(controls.btnAddAuflage, &TDetailCommands::btnAddAuflageClick);
    onClick(controls.btnDelAuflage, &TDetailCommands::btnDelAuflageClick);
    onClick(controls.btnEditAuflage, &TDetailCommands::btnEditAuflageClick);
    onClick(controls.btnAddLComic, &TDetailCommands::btnAddLComicClick);
    onClick(controls.btnDelLComic, &TDetailCommands::btnDelLComicClick);
    onClick(controls.btnEditLComic, &TDetailCommands::btnEditLComicClick);

    // The hidden accelerator buttons press the "+" buttons, so that they act
    // only while those are enabled; exactly one such forwarding, whether or
    // not the page made one already.
    auto accelerator = [&](QAbstractButton* shortcut, QAbstractButton* add) {
        shortcut->disconnect(add);
        m_connections << connect(shortcut, &QAbstractButton::clicked, add, &QAbstractButton::click);
    };
    accelerator(controls.btnAutShortCut, controls.btnAddAuthor);
    accelerator(controls.btnAuflShortCut, controls.btnAddAuflage);

    auto onDoubleClick = [&](ui::DBGrid* grid, Command command) {
        m_connections << ui::onCommand(grid, &ui::DBGrid::doubleClicked, this,
                                       [this, command](auto&&...) { (this->*command)(); });
    };
    onDoubleClick(controls.dbgAutoren, &TDetailCommands::btnEditAuthorClick);
    controls.dbgAutoren->setDeleteEnabled(true);
    controls.dbgAutoren->setDeleteAction([this](db::DataSet&) { deleteAuthorRow(); });
    // Editions change only through their dialog.
    onDoubleClick(controls.dbgAuflagen, &TDetailCommands::btnEditAuflageClick);
    controls.dbgAuflagen->setDeleteEnabled(false);
    onDoubleClick(controls.dbgLAuflage, &TDetailCommands::btnEditLComicClick);
    controls.dbgLAuflage->setDeleteEnabled(true);
    controls.dbgLAuflage->setDeleteAction([this](db::DataSet&) { deleteLocalRow(); });
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
