#include "dbcontrols/DBNavigator.h"

#include "core/Command.h"
#include "dbcontrols/FieldLink.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPolygonF>
#include <QToolButton>

namespace ui {

namespace {
// Drawn rather than taken from the style, whose media icons differ between
// platforms: a triangle pointing the way, with a bar for the two ends.
QIcon navigatorIcon(DBNavigator::Button which, const QColor& color)
{
    const int size = 16;
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    const bool left = which == DBNavigator::First || which == DBNavigator::Prior;
    const bool bar = which == DBNavigator::First || which == DBNavigator::Last;
    const qreal tip = left ? 4 : 12;
    const qreal base = left ? 11 : 5;
    p.drawPolygon(QPolygonF{QPointF(base, 3), QPointF(tip, 8), QPointF(base, 13)});
    if (bar)
        p.drawRect(QRectF(left ? 2 : 12, 3, 2, 10));
    return QIcon(pixmap);
}
} // namespace

DBNavigator::DBNavigator(db::DataSource* source, QWidget* parent) : QWidget(parent)
{
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    const struct {
        Button which;
        const char* name;
        const char* tip;
    } kinds[] = {
        {First, "btnFirst", "Erster Datensatz"},
        {Prior, "btnPrior", "Vorheriger Datensatz"},
        {Next, "btnNext", "Nächster Datensatz"},
        {Last, "btnLast", "Letzter Datensatz"},
    };
    const QColor color = palette().color(QPalette::ButtonText);
    for (const auto& s : kinds) {
        auto* button = new QToolButton(this);
        button->setObjectName(QString::fromLatin1(s.name));
        button->setToolTip(QString::fromUtf8(s.tip));
        button->setIcon(navigatorIcon(s.which, color));
        button->setAutoRaise(true);
        // The focus stays in the edit box; its input is written before the move.
        button->setFocusPolicy(Qt::NoFocus);
        connect(button, &QToolButton::clicked, this, [this, w = s.which] { move(w); });
        layout->addWidget(button);
        m_buttons[s.which] = button;
    }
    setDataSource(source);
}

void DBNavigator::setDataSource(db::DataSource* source)
{
    for (const auto& c : std::as_const(m_connections))
        disconnect(c);
    m_connections.clear();
    m_source = source;
    if (source) {
        m_connections << connect(source, &db::DataSource::scrolled, this, &DBNavigator::updateButtons)
                      << connect(source, &db::DataSource::dataSetChanged, this, &DBNavigator::updateButtons)
                      << connect(source, &db::DataSource::stateChanged, this, &DBNavigator::updateButtons)
                      << connect(source, &QObject::destroyed, this, &DBNavigator::updateButtons);
    }
    updateButtons();
}

void DBNavigator::updateButtons()
{
    const db::DataSet* ds = m_source ? m_source->dataSet() : nullptr;
    const bool active = ds && ds->active();
    const bool back = active && !ds->bof();
    const bool forward = active && !ds->eof();
    m_buttons[First]->setEnabled(back);
    m_buttons[Prior]->setEnabled(back);
    m_buttons[Next]->setEnabled(forward);
    m_buttons[Last]->setEnabled(forward);
}

void DBNavigator::move(Button which)
{
    db::DataSet* ds = m_source ? m_source->dataSet() : nullptr;
    if (!ds)
        return;
    runCommand([&] {
        updateRecord(ds);
        switch (which) {
        case First:
            ds->first();
            break;
        case Prior:
            ds->prior();
            break;
        case Next:
            ds->next();
            break;
        case Last:
            ds->last();
            break;
        }
    });
    // Running into either end changes bof/eof without a notification.
    updateButtons();
}

} // namespace ui
