#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QVariant>

struct sqlite3;

// Reads a collection file read-only with plain SQLite, as any other program would.
class CollectionReader {
public:
    explicit CollectionReader(const QString& file);
    ~CollectionReader();
    CollectionReader(const CollectionReader&) = delete;
    CollectionReader& operator=(const CollectionReader&) = delete;

    bool isOpen() const { return m_db != nullptr; }
    QList<QVariantList> rows(const QString& sql) const; // a failing statement gives one row holding the error
    QVariant value(const QString& sql) const;
    qint64 count(const QString& sql) const { return value(sql).toLongLong(); }

private:
    sqlite3* m_db = nullptr;
};

// Everything that makes a collection inconsistent for the program: dangling
// references, derived fields that disagree with their sources, keys that are
// not unique or that the key counter could hand out again, texts wider than
// their field, values of the wrong storage type. Empty when all is well.
QStringList consistencyProblems(const QString& file);

// Fails the running test with the list of problems, if there are any.
#define VERIFY_CONSISTENT(file)                                                                                        \
    do {                                                                                                               \
        const QStringList problems_ = consistencyProblems(file);                                                       \
        QVERIFY2(problems_.isEmpty(), qPrintable(problems_.join(QLatin1Char('\n'))));                                  \
    } while (false)
