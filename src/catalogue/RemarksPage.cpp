#include "catalogue/RemarksPage.h"

#include "database/ComicData.h"
#include "database/FieldNames.h"
#include "dbcontrols/DBMemo.h"

#include <QLabel>
#include <QVBoxLayout>

namespace f = db::fields;

namespace {
ui::DBMemo* memo(QWidget* parent, const QString& name, db::DataSource* source, const QString& field)
{
    auto* m = new ui::DBMemo(source, field, parent);
    m->setObjectName(name);
    // Summaries are paragraphs: they wrap at the width of the box, and the
    // scroll bars appear when the text needs them.
    m->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    return m;
}
} // namespace

TRemarksPage::TRemarksPage(ComicData& data, QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("tsBemerkungen"));
    editInhalt = memo(this, QStringLiteral("editInhalt"), &data.srcStripothek(), f::SCLINHALT);
    editBemerkung1 = memo(this, QStringLiteral("editBemerkung1"), &data.srcStripothek(), f::SCLBEMERKUNG);
    // A band of fixed height; the remarks take the rest of the page.
    editInhalt->setFixedHeight(editInhalt->fontMetrics().lineSpacing() * 8 + 2 * editInhalt->frameWidth() + 24);

    auto* inhalt = new QLabel(QStringLiteral("Inhalt"), this);
    inhalt->setBuddy(editInhalt);
    auto* remarks = new QLabel(QStringLiteral("Allgemeine Bemerkungen"), this);
    remarks->setBuddy(editBemerkung1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(inhalt);
    layout->addWidget(editInhalt);
    layout->addSpacing(6);
    layout->addWidget(remarks);
    layout->addWidget(editBemerkung1, 1);
    QWidget::setTabOrder(editInhalt, editBemerkung1);
}
