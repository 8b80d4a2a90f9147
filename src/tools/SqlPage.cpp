#include "tools/SqlPage.h"

#include "database/ComicData.h"
#include "core/Command.h"
#include "database/Connection.h"
#include "dbcontrols/DBGrid.h"
#include "dbcontrols/FieldLink.h"
#include "tools/BackupHook.h"
#include "tools/TableMaintenance.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QScopeGuard>
#include <QShortcut>
#include <QShortcutEvent>
#include <QSplitter>
#include <QVBoxLayout>
#include <QWindow>

#include <exception>
#include <functional>

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

QString rowsText(qint64 rows)
{
    return rows == 1 ? QStringLiteral("1 Zeile") : QStringLiteral("%L1 Zeilen").arg(rows);
}

// While a command runs, every table is closed and the program's connection
// is busy on another thread: nothing the user does may reach them until it
// ends. Only the stop button and Esc get through; the window still paints.
class CommandGuard : public QObject {
public:
    CommandGuard(QPushButton* stopButton, std::function<void()> stop)
        : m_stopButton(stopButton), m_stop(std::move(stop))
    {
        qApp->installEventFilter(this);
    }
    ~CommandGuard() override { qApp->removeEventFilter(this); }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        // The window passes input on to its widgets; they are sorted out there.
        if (!watched->isWidgetType() && qobject_cast<QWindow*>(watched))
            return false;
        switch (event->type()) {
        case QEvent::KeyPress:
            if (static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape)
                m_stop();
            return true;
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
            return watched != m_stopButton;
        case QEvent::Shortcut:
            // Esc may be some window's shortcut; it stops the command all the same.
            if (static_cast<QShortcutEvent*>(event)->key() == QKeySequence(Qt::Key_Escape))
                m_stop();
            return true;
        case QEvent::ShortcutOverride:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
            return true;
        case QEvent::Close:
            if (watched->isWidgetType() && static_cast<QWidget*>(watched)->isWindow()) {
                event->ignore();
                return true;
            }
            return false;
        default:
            return false;
        }
    }

private:
    QPushButton* m_stopButton;
    std::function<void()> m_stop;
};

// A statement as the list of copies names it: one line, not too long.
QString shortened(const QString& statement)
{
    constexpr qsizetype kMost = 80;
    const QString line = statement.simplified();
    return line.size() <= kMost ? line : line.left(kMost - 1) + QStringLiteral("…");
}

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
    btnSQLStop = new QPushButton(QStringLiteral("Abbrechen"));
    btnSQLStop->setObjectName(QStringLiteral("btnSQLStop"));
    btnSQLStop->setToolTip(QStringLiteral("Hält die laufende Anweisung an (Esc)"));
    btnSQLStop->setEnabled(false);
    btnPack = new QPushButton(QStringLiteral("Tabellen verkleinern"));
    btnPack->setObjectName(QStringLiteral("btnPack"));
    labSQLStatus = new QLabel;
    labSQLStatus->setObjectName(QStringLiteral("labSQLStatus"));
    labSQLStatus->setTextFormat(Qt::PlainText);
    auto* strip = new QHBoxLayout(Panel8);
    strip->setContentsMargins(4, 4, 4, 4);
    strip->addWidget(btnSQLExecute);
    strip->addWidget(btnSQLStop);
    strip->addWidget(btnPack);
    strip->addSpacing(12);
    strip->addWidget(labSQLStatus, 1);

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
    connect(&qrySQLDirect, &db::LazyQuery::fieldsDefined, this, &TSQLPage::hideMemosAndCapWidths);
    connect(&qrySQLDirect, &db::LazyQuery::activityChanged, this, &TSQLPage::showActivity);
    ui::onCommand(btnSQLExecute, &QPushButton::clicked, this, [this](bool) { btnSQLExecuteClick(); });
    ui::onCommand(btnPack, &QPushButton::clicked, this, [this](bool) { btnPackClick(); });
    // Esc and the button stop a query's reading and counting; during a
    // command the guard lets the button's clicks through and takes Esc itself.
    connect(btnSQLStop, &QPushButton::clicked, this, [this] { stopStatement(); });
    m_escape = new QShortcut(QKeySequence(Qt::Key_Escape), this, nullptr, nullptr, Qt::WidgetWithChildrenShortcut);
    m_escape->setEnabled(false);
    connect(m_escape, &QShortcut::activated, this, [this] { stopStatement(); });
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
    m_commandStatus.clear();
    showActivity();

    if (tools::IsQueryText(text)) {
        // The grid fills when the first rows are there (hideMemosAndCapWidths comes first).
        qrySQLDirect.open();
        return;
    }
    runCommand();
}

void TSQLPage::runCommand()
{
    // A command may change any table, or remove or lock one: all of them are
    // closed while it runs and opened again even when it failed. An error
    // of the reopening says more about the state the window is in, so it
    // wins over the statement's.
    storeEditedRows(m_data);
    // Any statement but a query may change or remove every row; an empty
    // one does nothing worth a copy.
    const QString statement = qrySQLDirect.sql();
    if (!statement.isEmpty()) {
        try {
            tools::backupBefore(QStringLiteral("SQL-Anweisung: ") + shortened(statement));
        } catch (const db::Abort&) {
            m_commandStatus = QStringLiteral("Nicht ausgeführt; die Datenbank ist unverändert");
            showActivity();
            throw;
        }
    }
    m_data.CloseTables();
    std::exception_ptr failure;
    bool completed = false;
    {
        CommandGuard guard(btnSQLStop, [this] { stopStatement(); });
        m_commandRunning = true;
        showActivity();
        try {
            completed = qrySQLDirect.execSql();
        } catch (...) {
            failure = std::current_exception();
        }
        m_commandRunning = false;
    }
    bool restored = false;
    try {
        restored = restoreSearch();
    } catch (...) {
        if (!failure)
            failure = std::current_exception();
    }
    if (completed)
        m_commandStatus = QStringLiteral("Ausgeführt, %1 geändert").arg(rowsText(qrySQLDirect.rowsAffected()));
    else if (!failure)
        m_commandStatus = QStringLiteral("Abgebrochen; die Datenbank ist unverändert");
    if (restored)
        m_commandStatus += QStringLiteral("; der Suchindex wurde wieder angelegt");
    showActivity();
    m_data.OpenTables();
    if (failure)
        std::rethrow_exception(failure);
}

// A statement may have dropped the search's index, views or triggers; the
// search would fail or miss edits until the next start, so they come back
// at once (the copy made before the statement still has the old state).
bool TSQLPage::restoreSearch()
{
    db::Connection& connection = m_data.dbConnection();
    std::unique_ptr<QProgressDialog> progress;
    connection.setUpgradeProgress([&](int percent) {
        if (!progress) {
            progress = std::make_unique<QProgressDialog>(QStringLiteral("Der Suchindex wird wieder angelegt …"),
                                                         QString(), 0, 100, this);
            progress->setWindowTitle(QStringLiteral("Stripothek"));
            progress->setWindowModality(Qt::ApplicationModal);
            progress->setMinimumDuration(0);
        }
        progress->setValue(percent); // a modal dialog's value lets it paint
    });
    const auto stopProgress = qScopeGuard([&connection] { connection.setUpgradeProgress({}); });
    return connection.restoreSearch();
}

void TSQLPage::stopStatement()
{
    qrySQLDirect.stop();
    showActivity();
}

void TSQLPage::hideMemosAndCapWidths()
{
    for (int i = 0; i < qrySQLDirect.fieldCount(); ++i) {
        db::Field& field = qrySQLDirect.field(i);
        if (field.isBlob())
            field.setVisible(false);
        else if (field.displayWidth() > kMaxDisplayWidth)
            field.setDisplayWidth(kMaxDisplayWidth);
    }
}

QString TSQLPage::queryStatus() const
{
    const db::LazyQuery& q = qrySQLDirect;
    if (q.opening())
        return QStringLiteral("Die Abfrage läuft …");
    if (!q.active())
        return q.readingStopped() ? QStringLiteral("Abgebrochen") : QString();
    QString text;
    if (q.rowCount() >= 0) {
        text = rowsText(q.rowCount());
        if (q.rowCount() > db::LazyQuery::kMostRowsShown)
            text += QStringLiteral(", die ersten %1 werden gezeigt").arg(rowsText(db::LazyQuery::kMostRowsShown));
    } else {
        text = QStringLiteral("%1 gelesen").arg(rowsText(q.rowsSeen()));
        if (q.counting())
            text += QStringLiteral(", die Zeilen werden gezählt …");
        else if (q.countStopped())
            text += QStringLiteral(", Zählen abgebrochen");
    }
    if (q.reading())
        text += QStringLiteral("; liest Zeilen …");
    else if (q.readingStopped())
        text += QStringLiteral("; Lesen abgebrochen");
    return text;
}

void TSQLPage::showActivity()
{
    const bool running = m_commandRunning || qrySQLDirect.running();
    btnSQLStop->setEnabled(running);
    // During a command the guard takes Esc itself.
    m_escape->setEnabled(running && !m_commandRunning);
    btnSQLExecute->setEnabled(!m_commandRunning);
    btnPack->setEnabled(!m_commandRunning);
    if (m_commandRunning)
        labSQLStatus->setText(QStringLiteral("Die Anweisung läuft …"));
    else if (!m_commandStatus.isEmpty())
        labSQLStatus->setText(m_commandStatus);
    else
        labSQLStatus->setText(queryStatus());
}

void TSQLPage::btnPackClick()
{
    storeEditedRows(m_data);
    tools::backupBefore(QStringLiteral("Tabellen verkleinern"));
    tools::PackAllTables(m_data);
    ui::showNote(QStringLiteral("Tabellen wurden gepackt!"), window());
}
