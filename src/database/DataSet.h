#pragma once

#include "database/Field.h"
#include "database/Row.h"

#include <QHash>
#include <QObject>
#include <QVariantList>
#include <functional>
#include <memory>
#include <vector>

namespace db {

class Connection;

enum class DataSetState { Inactive, Browse, Edit, Insert };

enum LocateOption { LocateExact = 0, LocateCaseInsensitive = 1, LocatePartialKey = 2 };
using LocateOptions = int;

// What tables and queries share: fields, a current row, navigation, and the
// notifications that bound controls follow. Notifications pause while
// controls are disabled and resume with one "everything changed".
class DataSet : public QObject {
    Q_OBJECT
public:
    DataSet(Connection& connection, const QString& name, QObject* parent = nullptr);
    ~DataSet() override;

    Connection& connection() const { return m_connection; }
    QString name() const { return objectName(); }

    bool active() const { return m_state != DataSetState::Inactive; }
    DataSetState state() const { return m_state; }
    bool isEditing() const { return m_state == DataSetState::Edit || m_state == DataSetState::Insert; }
    bool modified() const { return m_modified; }

    int fieldCount() const { return int(m_fields.size()); }
    Field& field(int index) const { return *m_fields.at(size_t(index)); }
    Field* findField(const QString& name) const;
    Field& fieldByName(const QString& name) const; // throws when unknown
    QStringList fieldNames() const;
    // Changes whenever the fields are dropped (closing, opening again), and
    // never comes back: a field index remembered with it is good while it holds.
    quint64 fieldsVersion() const { return m_fieldsVersion; }

    // Navigation over the rows the data set shows.
    void first();
    void next();
    void prior();
    void last();
    bool eof() const { return m_eof; }
    bool bof() const { return m_bof; }
    bool isEmpty() const;
    int recNo() const;            // 1-based position of the current row; 0 without rows
    void setRecNo(int recNo);
    int shownCount() const;       // rows shown, a row being inserted included
    int currentRow() const;       // 0-based, -1 without rows
    void moveToRow(int row);      // 0-based, as a grid click does
    // Value of any shown row, for painting; the current row's pending edits included.
    QVariant valueAt(int row, int fieldIndex) const;

    virtual bool locate(const QString& fieldName, const QVariant& value, LocateOptions options = LocateExact) = 0;

    // Pauses notifications to bound controls (loops over many rows).
    void disableControls();
    void enableControls();
    bool controlsDisabled() const { return m_disabled > 0; }

    // Values of the current row; used by Field.
    QVariant currentValue(int fieldIndex) const;
    // The current row's text as read from the file, without a Qt string on
    // the way (see Row::storedText); valid until the data set moves.
    std::optional<QByteArrayView> currentStoredText(int fieldIndex) const { return m_buffer.storedText(fieldIndex); }
    virtual void setCurrentValue(int fieldIndex, const QVariant& value);

    // Called by the connection when a transaction begins and after a rollback.
    virtual void transactionStarted() {}
    virtual void afterRollback() {}
    // Called by the connection before work that needs no statement of it in
    // progress or the file to itself (compacting, exclusive use): a data set
    // that keeps one stepping between calls resets it, one that reads on
    // connections of its own closes them.
    virtual void releaseStatements() {}

    // A data set whose row count grows as its rows are read: a grid asks
    // for more when its last row comes into view.
    virtual bool canReadMore() const { return false; }
    virtual void readMore() {}

    // Bound controls may hold typed text not yet written to their field. The
    // control layer installs one updater that writes it; the engine runs it
    // before every post and every move away from a row being edited, so no
    // command can forget it. It may throw to refuse the text.
    using RecordUpdater = std::function<void(DataSet&)>;
    static void setRecordUpdater(RecordUpdater updater);

    void checkActive() const;

Q_SIGNALS:
    void stateChanged();
    void dataSetChanged();   // rows, order or contents may all have changed
    void scrolled();         // another row became current
    void fieldChanged(int fieldIndex);
    // Rows first .. last arrived after they were asked for (first is -1
    // when none did), and more rows may be shown than before: a data set
    // that reads on another thread announces each block this way.
    void rowsRead(int first, int last);

protected:
    // Whether a stored value is the one a locate looks for: numbers by value,
    // texts whole or by their beginning, with or without case.
    class LocateTest {
    public:
        LocateTest(const Field& field, const QVariant& value, LocateOptions options);
        bool operator()(const QVariant& stored) const;

    private:
        bool m_numeric;
        bool m_partial;
        Qt::CaseSensitivity m_case;
        QVariant m_value;
        QString m_wanted;
    };

    // Moves with a pending row first post it (modified) or drop it.
    virtual void checkBrowseMode() {}
    virtual void ensureRows() const {}
    virtual int rowCountShown() const = 0;
    virtual Row fetchRow(int row) const = 0; // 0-based among rows shown (no insert row)
    virtual void afterMove() {}

    void updateRecord();
    void opened();  // rows are read: first row current, announce
    void closed();  // rows are gone: fields dropped, announce
    void setState(DataSetState state);
    void setModified(bool modified) { m_modified = modified; }
    void loadCurrent();
    void placeAt(int row);
    void emitStateChanged();
    void emitDataSetChanged();
    void emitScrolled();
    void emitFieldChanged(int fieldIndex);
    void emitRowsRead(int first, int last);
    [[noreturn]] void fail(const QString& text, int code = 0) const;
    void clearFields();
    Field& addField(const QString& name, FieldType type, int size);

    Connection& m_connection;
    std::vector<std::unique_ptr<Field>> m_fields;
    QHash<QString, int> m_fieldIndex;
    quint64 m_fieldsVersion;
    DataSetState m_state = DataSetState::Inactive;
    bool m_modified = false;
    int m_cur = -1;                // current row among shown rows
    int m_insertPos = -1;          // position of the row being inserted
    bool m_eof = true;
    bool m_bof = true;
    Row m_buffer;                  // current row (browse) or the row being edited
    int m_disabled = 0;
    bool m_pendingNotify = false;
};

// Suspends notifications for a scope, on every path out of it. The
// notifications it releases may make followers read; a failure there must not
// leave the destructor (the next command meets it again and reports it).
class ControlsDisabled {
public:
    explicit ControlsDisabled(DataSet& dataSet) : m_dataSet(dataSet) { m_dataSet.disableControls(); }
    ~ControlsDisabled()
    {
        try {
            m_dataSet.enableControls();
        } catch (...) {
        }
    }
    ControlsDisabled(const ControlsDisabled&) = delete;
    ControlsDisabled& operator=(const ControlsDisabled&) = delete;

private:
    DataSet& m_dataSet;
};

// The named link between a data set and the controls bound to it.
class DataSource : public QObject {
    Q_OBJECT
public:
    DataSource(DataSet* dataSet, const QString& name, QObject* parent = nullptr);
    DataSet* dataSet() const { return m_dataSet; }

Q_SIGNALS:
    void stateChanged();
    void dataSetChanged();
    void scrolled();
    void fieldChanged(int fieldIndex);
    void rowsRead(int first, int last);

protected:
    // A signal of the data set is passed on from the moment something
    // listens to it here: a data module without controls (reports, tools,
    // a walk over the catalogue) pays no dispatch per move for sources
    // nobody watches.
    void connectNotify(const QMetaMethod& signal) override;

private:
    DataSet* m_dataSet;
    bool m_forwardsState = false;
    bool m_forwardsChanged = false;
    bool m_forwardsScrolled = false;
    bool m_forwardsField = false;
    bool m_forwardsRowsRead = false;
};

} // namespace db
