#include "catalogue/AutorenForm.h"

#include "catalogue/InputBox.h"
#include "database/ComicData.h"
#include "database/FieldNames.h"
#include "core/Command.h"
#include "dbcontrols/DBGrid.h"
#include "dbcontrols/FieldLink.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace f = db::fields;

TAutorenForm::TAutorenForm(ComicData& data, QWidget* owner) : QDialog(owner), m_data(data)
{
    setObjectName(QStringLiteral("AutorenForm"));
    setWindowTitle(QStringLiteral("Autor(en) bearbeiten"));

    dbgAutoren = new ui::DBGrid(nullptr, this);
    dbgAutoren->setObjectName(QStringLiteral("dbgAutoren"));

    btnDelete = new QPushButton(QStringLiteral("Löschen"), this);
    btnDelete->setObjectName(QStringLiteral("btnDelete"));
    Label1 = new QLabel(QStringLiteral("Filter"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    editFilter = new QLineEdit(this);
    editFilter->setObjectName(QStringLiteral("editFilter"));
    Label1->setBuddy(editFilter);
    btnRefresh = new QToolButton(this);
    btnRefresh->setObjectName(QStringLiteral("btnRefresh"));
    btnRefresh->setIcon(style()->standardIcon(QStyle::SP_BrowserReload));
    btnRefresh->setToolTip(QStringLiteral("Suchen"));
    btnAbbruch = new QPushButton(QStringLiteral("Abbruch"), this);
    btnAbbruch->setObjectName(QStringLiteral("btnAbbruch"));
    // Enter in the search box must press nothing, least of all "Löschen".
    for (QPushButton* b : {btnDelete, btnAbbruch}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }

    auto* bar = new QHBoxLayout;
    bar->addWidget(btnDelete);
    bar->addSpacing(12);
    bar->addWidget(Label1);
    bar->addWidget(editFilter, 1);
    bar->addWidget(btnRefresh);
    bar->addSpacing(12);
    bar->addWidget(btnAbbruch);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(dbgAutoren, 1);
    layout->addLayout(bar);
    setFixedSize(440, 480);

    ui::onCommand(btnDelete, &QPushButton::clicked, this, [this](auto&&...) { btnDeleteClick(); });
    ui::onCommand(btnRefresh, &QToolButton::clicked, this, [this](auto&&...) { btnRefreshClick(); });
    connect(btnAbbruch, &QPushButton::clicked, this, &QDialog::reject);

    FormCreate();
}

TAutorenForm::~TAutorenForm()
{
    FormDestroy();
}

void TAutorenForm::FormCreate()
{
    dbgAutoren->setDataSource(&m_data.srcAutoren());
    dbgAutoren->setColumns({{f::ANNAME, QStringLiteral("Autoren"), 40},
                            {f::ANAUTORID, {}, 0, false}});
    dbgAutoren->setEditable(true);
    dbgAutoren->horizontalHeader()->setStretchLastSection(true);

    db::Table& authors = m_data.tblAutoren();
    m_priorBeforeInsert = std::exchange(authors.beforeInsert, [this](db::Table& t) { tblAutorenBeforeInsert(t); });
    m_priorBeforePost = std::exchange(authors.beforePost, [this](db::Table& t) { tblAutorenBeforePost(t); });
    m_priorBeforeDelete = std::exchange(authors.beforeDelete, [this](db::Table& t) { tblAutorenBeforeDelete(t); });
    m_installed = true;
}

void TAutorenForm::FormDestroy() noexcept
{
    if (!m_installed)
        return;
    db::Table& authors = m_data.tblAutoren();

    // A name still being typed in the grid is stored like any other change,
    // trimmed, before the list's rules go away.
    if (QWidget* editor = dbgAutoren->indexWidget(dbgAutoren->currentIndex()))
        QMetaObject::invokeMethod(dbgAutoren, "commitData", Q_ARG(QWidget*, editor));
    ui::runCommand([&] {
        ui::updateRecord(&authors);
        if (authors.active())
            authors.checkBrowseMode();
    });
    if (authors.isEditing())
        authors.cancel();

    authors.beforeInsert = std::move(m_priorBeforeInsert);
    authors.beforePost = std::move(m_priorBeforePost);
    authors.beforeDelete = std::move(m_priorBeforeDelete);
    m_installed = false;
    ui::runCommand([&] { authors.setFiltered(false); });
}

void TAutorenForm::tblAutorenBeforeInsert(db::Table&)
{
    // Authors are created in the assignment dialog, never in this list.
    throw db::Abort();
}

void TAutorenForm::tblAutorenBeforePost(db::Table& table)
{
    db::Field& name = table.fieldByName(f::ANNAME);
    const QString trimmed = TrimInput(name.asString());
    if (trimmed != name.asString())
        name.setAsString(trimmed);
    if (m_priorBeforePost)
        m_priorBeforePost(table);
}

void TAutorenForm::tblAutorenBeforeDelete(db::Table& table)
{
    m_data.rules().CheckAuthorDeletable(table.fieldByName(f::ANAUTORID).asString());
    if (m_priorBeforeDelete)
        m_priorBeforeDelete(table);
}

void TAutorenForm::btnDeleteClick()
{
    m_data.tblAutoren().deleteRecord();
}

void TAutorenForm::btnRefreshClick()
{
    db::Table& authors = m_data.tblAutoren();
    const QString text = TrimInput(editFilter->text());
    if (text.isEmpty()) {
        authors.setFiltered(false);
        return;
    }
    // The text goes in as typed; a quote in it makes an expression the table refuses.
    authors.setFilter(QStringLiteral("(ANNAME LIKE '*") + text + QStringLiteral("*')"));
    authors.setFiltered(true);
}
