#pragma once

#include "database/DataSet.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>

class QWidget;

namespace db {
class Table;
}

namespace ui {

// The binding of one control to one field of a data source. The field is
// looked up by name on every use, because a table recreates its fields each
// time it opens. A control with typed but unwritten input registers a commit
// function, so that a command can write it before it posts or moves
// (see updateRecord).
class FieldLink : public QObject {
    Q_OBJECT
public:
    explicit FieldLink(QWidget* control);
    ~FieldLink() override;

    void setDataSource(db::DataSource* source);
    db::DataSource* dataSource() const { return m_source; }
    void setFieldName(const QString& name);
    QString fieldName() const { return m_fieldName; }

    db::DataSet* dataSet() const;    // null while unbound
    db::Table* table() const;        // null unless bound to a table
    db::Field* field() const;        // null while unbound, closed, or the name is unknown
    bool active() const;             // bound to an open data set that has the field
    bool editing() const;            // the data set is in edit or insert state

    // Puts the table into edit state (an empty table starts a new row).
    // Throws when the control is not bound to an open table with this field.
    void edit();

    // Input typed into the control that is not yet in the field.
    void setPendingInput(bool pending) { m_pending = pending; }
    bool hasPendingInput() const { return m_pending; }
    // Writes the pending input; throws db::Error when the field refuses it.
    std::function<void()> commit;

    // Shared by the text controls. The user began to type: the table goes
    // into edit state; false (the error shown) when it cannot.
    bool startTyping();
    // Stores typed text (empty text stores null) and ends the pending input.
    void storeText(const QString& typed);
    // Runs commit as a command; on a refused value the focus returns to the control.
    bool commitPending();
    // Throws the typed input away (Esc). A row that only this typing put into
    // edit state leaves it again: nothing is left waiting to be stored.
    void dropPendingInput();

    QWidget* control() const { return m_control; }

Q_SIGNALS:
    // Something the control shows may have changed: another row, a reopened
    // or refiltered table, a state change, a written field of this link.
    void changed();

private:
    void onFieldChanged(int fieldIndex);

    QWidget* m_control;
    QPointer<db::DataSource> m_source;
    QString m_fieldName;
    bool m_pending = false;
    QList<QMetaObject::Connection> m_connections;
};

// Writes what the user typed into the controls bound to dataSet and not yet
// stored in its fields. Commands call it before post() and before moves of
// their own. On a refused value the control gets the focus back and the
// error is thrown on, ending the command.
void updateRecord(db::DataSet* dataSet);

// Stores the row being edited, with what the user typed and has not yet
// stored: posted when changed, an untouched new row dropped. Before the
// tables close or the rows change under the user.
void storeEditedRow(db::Table& table);

} // namespace ui
