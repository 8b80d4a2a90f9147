#pragma once

#include "database/DataSet.h"

#include <QPointer>
#include <QWidget>

class QToolButton;

namespace ui {

// Record navigator: first, previous, next, last (objectNames "btnFirst",
// "btnPrior", "btnNext", "btnLast"). First and previous are disabled at the
// beginning of the data set, next and last at its end, all four while it is
// closed or unbound. A move first writes pending input of bound controls.
class DBNavigator : public QWidget {
    Q_OBJECT
public:
    enum Button { First, Prior, Next, Last };

    explicit DBNavigator(db::DataSource* source = nullptr, QWidget* parent = nullptr);

    void setDataSource(db::DataSource* source);
    db::DataSource* dataSource() const { return m_source; }
    QToolButton* button(Button which) const { return m_buttons[which]; }

    void updateButtons();

private:
    void move(Button which);

    QPointer<db::DataSource> m_source;
    QList<QMetaObject::Connection> m_connections;
    QToolButton* m_buttons[4] = {};
};

} // namespace ui
