// QSqlQueryRecordset: the rows of a Qt SQL query as a record source.
//
// For hosts that already reach their database through Qt's SQL module. The
// query runs forward-only, so rows stream from the driver and memory does not
// grow with their number; each pass over the rows runs the query once.
//
// Opening: QSqlQueryRecordset(db, sql) prepares sql on the connection;
// QSqlQueryRecordset(db, query) takes a query the host prepared on db (and
// bound values to, positionally). Nothing runs until a row, a column or the count is needed. The
// connection must stay open for the recordset's life.
//
// Positioning is lazy: a new recordset, and MoveFirst() after the cursor has
// moved, stand before a first row not fetched yet; the query runs when
// something needs it. MoveFirst() on a first row not moved from does nothing.
// Bof() is true only for a query without rows. MoveLast() walks forward.
//
// RecordCount() runs only when asked: a second execution of the same query
// with the same bound values, stepped through without reading values. Once a
// walk has reached the end, it is the number of rows that walk read.
//
// Because a count and every pass run the query again, a query that would
// write is refused before it runs, where the driver can tell: on a SQLite
// connection, anything SQLite does not call read-only (INSERT ... RETURNING,
// DELETE, a write inside WITH). Other drivers run what they are given; hand
// them queries that only read.
//
// Type codes come from the column's Qt type: int, short and unsigned int 3;
// long long and unsigned long long 20; double and float 5; bool 11; QDate 7;
// QDateTime 135; QByteArray 205; QString and anything else 200. Values: a
// null is Null; numbers, booleans and text keep their type (text as UTF-8);
// dates are Dates; bytes are Bytes; anything else is its text.
//
// Errors: a failing prepare or execution throws Error -2147467259 (the
// classic provider error) with source "QtSql" and the description "QtSql
// error: <driver's text> (<database name>)"; a refused writing query is
// "QtSql error: The query would change the database; only read-only queries
// give rows (<database name>)". Moving past the end and reading
// a field with no current row throw Error 3021.
//
// filesRead(): the database file of a SQLite connection ("QSQLITE"), so an
// export never writes over its own input.
//
// Not thread-safe: use it on the thread of its connection.
#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariantList>

#include <cstdint>
#include <string>
#include <vector>

#include "varnelo/recordset.h"

namespace varnelo::qt {

class QSqlQueryRecordset : public Recordset {
public:
    QSqlQueryRecordset(const QSqlDatabase& db, const QString& sql);
    QSqlQueryRecordset(const QSqlDatabase& db, QSqlQuery prepared);

    int64_t RecordCount() override;
    void MoveNext() override;
    void MoveFirst() override;
    void MoveLast() override;
    bool Bof() const override;
    bool Eof() const override;
    std::string Source() const override { return sql_.toStdString(); }

    int fieldCount() const override;
    const std::string& fieldName(int index) const override;
    int fieldType(int index) const override;
    Variant fieldValue(int index) const override;
    std::vector<std::string> filesRead() const override;

    // The type code of a Qt type id (the table above).
    static int typeCodeFor(int metaTypeId);

private:
    enum class At { Pending, Row, End };
    [[noreturn]] void fail(const QSqlQuery& q) const;
    void refuseWrites() const;
    // Runs the query for a new pass and fetches its first row.
    void start() const;
    void fetchFirst() const { if (at_ == At::Pending) start(); }
    void current(int index) const;

    QSqlDatabase db_;
    QString sql_;
    QVariantList bound_;
    mutable QSqlQuery query_;
    mutable std::vector<std::string> names_;
    mutable std::vector<int> types_;
    mutable bool described_ = false;
    mutable At at_ = At::Pending;
    mutable int64_t row_ = 0;    // 0-based current row; at End, the rows read
    mutable int64_t count_ = -1; // this pass's count, -1 until known
    mutable bool moved_ = false; // the cursor moved since the pass began
};

}  // namespace varnelo::qt
