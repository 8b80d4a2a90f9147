#pragma once

#include "database/DataSet.h"

namespace db {

// An SQL statement on the connection: opened when it yields rows (read-only,
// navigable like a table) or executed otherwise.
class Query : public DataSet {
    Q_OBJECT
public:
    explicit Query(Connection& connection, const QString& name = QStringLiteral("qry"), QObject* parent = nullptr);

    void setSql(const QString& sql) { m_sql = sql; }
    QString sql() const { return m_sql; }
    void setParams(const QVariantList& params) { m_params = params; }

    void open();
    void close();
    void execSql();
    int rowsAffected() const { return m_rowsAffected; }

    bool locate(const QString& fieldName, const QVariant& value, LocateOptions options = LocateExact) override;

protected:
    int rowCountShown() const override { return int(m_rows.size()); }
    Row fetchRow(int row) const override;

private:
    QString m_sql;
    QVariantList m_params;
    std::vector<QVariantList> m_rows;
    int m_rowsAffected = 0;
};

} // namespace db
