#pragma once

#include "database/Connection.h"
#include "database/Query.h"

#include <QStringList>

// Rows of a query as the tests compare them: each row its columns joined by
// "|", null as "<null>".
inline QStringList queryRows(db::Connection& connection, const QString& sql, const QVariantList& params = {})
{
    db::Query q(connection);
    q.setSql(sql);
    q.setParams(params);
    q.open();
    QStringList result;
    for (q.first(); !q.eof(); q.next()) {
        QStringList columns;
        for (int i = 0; i < q.fieldCount(); ++i)
            columns << (q.field(i).isNull() ? QStringLiteral("<null>") : q.field(i).asString());
        result << columns.join(u'|');
    }
    return result;
}
