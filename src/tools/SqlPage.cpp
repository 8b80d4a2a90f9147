#include "tools/SqlPage.h"

#include "database/ComicData.h"
#include "core/Command.h"
#include "dbcontrols/DBGrid.h"
#include "dbcontrols/FieldLink.h"
#include "tools/Messages.h"
#include "tools/TableMaintenance.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QVBoxLayout>

#include <exception>

namespace tools {

QString TrimStatement(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin].unicode() <= 0x20)
        ++begin;
    while (end > begin && text[end - 1].unicode() <= 0x20)
        --end;
    return text.mid(begin, end - begin);
}

bool IsQueryText(const QString& text)
{
    static const QLatin1String select("SELECT");
    if (text.size() < select.size())
        return false;
    for (qsizetype i = 0; i < select.size(); ++i) {
        char16_t c = text[i].unicode();
        if (c >= u'a' && c <= u'z')
            c = char16_t(c - u'a' + u'A');
        if (c != char16_t(select[i].unicode()))
            return false;
    }
    return true;
}

} // namespace tools

namespace {
constexpr int kMaxDisplayWidth = 25;

// Closing a table drops the row it is editing. The user's unsaved entry is
// stored first, as any move would; a value the field refuses stops the
// command before anything has run, with the entry still there to mend.
void storeEditedRows(ComicData& data)
{
    for (db::Table* table : data.tables())
        if (table->active())
            ui::storeEditedRow(*table);
}
} // namespace

TSQLPage::TSQLPage(ComicData& data, QWidget* parent)
    : QWidget(parent), qrySQLDirect(data.dbConnection(), QStringLiteral("qrySQLDirect")), m_data(data)
{
    setObjectName(QStringLiteral("SQLPage"));
    const QFont arial(QStringLiteral("Arial"), 10);

    memoSQLDirect = new QPlainTextEdit;
    memoSQLDirect->setObjectName(QStringLiteral("memoSQLDirect"));
    memoSQLDirect->setFont(arial);

    Panel8 = new QWidget;
    Panel8->setObjectName(QStringLiteral("Panel8"));
    btnSQLExecute = new QPushButton(QStringLiteral("&Ausführen"));
    btnSQLExecute->setObjectName(QStringLiteral("btnSQLExecute"));
    btnPack = new QPushButton(QStringLiteral("Tabellen verkleinern"));
    btnPack->setObjectName(QStringLiteral("btnPack"));
    auto* strip = new QHBoxLayout(Panel8);
    strip->setContentsMargins(4, 4, 4, 4);
    strip->addWidget(btnSQLExecute);
    strip->addWidget(btnPack);
    strip->addStretch();

    auto* top = new QWidget;
    auto* topLayout = new QVBoxLayout(top);
    topLayout->setContentsMargins(0, 0, 0, 0);
    topLayout->setSpacing(0);
    topLayout->addWidget(memoSQLDirect);
    topLayout->addWidget(Panel8);

    dbgSQLDirect = new ui::DBGrid(&srcSQLDirect);
    dbgSQLDirect->setObjectName(QStringLiteral("dbgSQLDirect"));
    dbgSQLDirect->horizontalHeader()->setFont(arial);
    // The rows of a query are for looking at; Ctrl+Del has nothing to delete.
    dbgSQLDirect->setDeleteEnabled(false);

    Splitter1 = new QSplitter(Qt::Vertical);
    Splitter1->setObjectName(QStringLiteral("Splitter1"));
    Splitter1->setChildrenCollapsible(false);
    Splitter1->addWidget(top);
    Splitter1->addWidget(dbgSQLDirect);
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({160, 400});

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Splitter1);

    // Painting may read rows that fail; the message comes once painting is over.
    connect(&qrySQLDirect, &db::LazyQuery::readFailed, this, [](const QString& message) { ui::showError(message); },
            Qt::QueuedConnection);
    ui::onCommand(btnSQLExecute, &QPushButton::clicked, this, [this](bool) { btnSQLExecuteClick(); });
    ui::onCommand(btnPack, &QPushButton::clicked, this, [this](bool) { btnPackClick(); });
}

TSQLPage::~TSQLPage()
{
    dbgSQLDirect->setDataSource(nullptr);
}

void TSQLPage::btnSQLExecuteClick()
{
    const QString text = tools::TrimStatement(memoSQLDirect->toPlainText());
    memoSQLDirect->setPlainText(text);
    qrySQLDirect.close();
    qrySQLDirect.setSql(text);

    if (tools::IsQueryText(text)) {
        runQuery();
        return;
    }
    // A command may change any table, or remove or lock one: all of them are
    // closed while it runs and opened again even when it failed. An error
    // of the reopening says more about the state the window is in, so it
    // wins over the statement's.
    storeEditedRows(m_data);
    m_data.CloseTables();
    std::exception_ptr failure;
    try {
        qrySQLDirect.execSql();
    } catch (...) {
        failure = std::current_exception();
    }
    m_data.OpenTables();
    if (failure)
        std::rethrow_exception(failure);
}

void TSQLPage::runQuery()
{
    // The grid takes the fields' visibility and widths when it is bound, so
    // it is bound again once they are set.
    dbgSQLDirect->setDataSource(nullptr);
    struct Rebind {
        TSQLPage* page;
        ~Rebind() { page->dbgSQLDirect->setDataSource(&page->srcSQLDirect); }
    } rebind{this};
    qrySQLDirect.open();
    for (int i = 0; i < qrySQLDirect.fieldCount(); ++i) {
        db::Field& field = qrySQLDirect.field(i);
        if (field.isBlob())
            field.setVisible(false);
        else if (field.displayWidth() > kMaxDisplayWidth)
            field.setDisplayWidth(kMaxDisplayWidth);
    }
}

void TSQLPage::btnPackClick()
{
    storeEditedRows(m_data);
    tools::PackAllTables(m_data);
    tools::ShowMessage(QStringLiteral("Tabellen wurden gepackt!"), window());
}
