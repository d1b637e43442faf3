// SqliteRecordset: the rows of one SQLite query as a record source.
//
// The rows stream from one prepared statement stepped forward, so memory does
// not grow with the number of rows. After construction the cursor is on the
// first row (Bof() and Eof() both true when the query has no rows). Bof() is
// true only for a query without rows: the cursor never stands before the
// first row.
//
// Opening:
//  - SqliteRecordset(path, query) opens the file read-only
//    (SQLITE_OPEN_READONLY, never created) and closes it with the recordset.
//  - SqliteRecordset(db, query) uses a connection the caller keeps open for
//    the recordset's whole life; it is not closed here.
//  The query must be a single read-only statement that returns columns
//  (SELECT, VALUES, WITH ... SELECT, a read-only PRAGMA); anything else is
//  refused, since moving back to the first row runs it again.
//
// Movement: MoveFirst() runs the statement again from the start. MoveLast()
// walks forward to the last row (from the start when the cursor has passed
// it). RecordCount() runs "SELECT COUNT(*) FROM (<query>)" once and caches it;
// a query that cannot be wrapped that way (a PRAGMA) is counted by stepping a
// second statement through its rows.
//
// Type codes come from the column's declared type, upper-cased, tested in
// this order:
//   contains "BOOL"                                      11 boolean
//   contains "INT": "BIGINT", "BIG INT", "INT8"          20 bigint
//                   any other                             3 integer
//   contains "NCHAR", "NVARCHAR", "NTEXT", "NCLOB",
//            "NATIONAL"                                 202 wide varchar
//   exactly "CHAR" or "CHARACTER", with or without "(n)" 129 char
//   contains "CHAR", "TEXT", "CLOB", "STRING"           200 varchar
//   contains "DATETIME", "TIMESTAMP"                    135 timestamp
//   contains "DATE"                                       7 date
//   contains "REAL", "FLOA", "DOUB"                       5 double
//   contains "DEC", "NUMERIC", "NUMBER", "MONEY"        131 numeric
//   contains "BLOB"                                     205 binary
//   any other declared type ("JSON", "UUID", "TIME")    200 varchar
// A column with no declared type (an expression) takes its code from the
// storage class of the first row's value: integer 20, real 5, text 200,
// blob 205, null 12; with no rows at all 12. Unknown declared types count as
// text so that writers quote their values: a quoted number still loads, an
// unquoted text does not.
//
// Values: NULL is Null (distinct from ''). Other values keep their storage
// class: integer Int64 (Int32 in a code-3 column when it fits; Boolean in a
// code-11 column when it is 0 or 1), real Double, text String, blob the bytes
// as upper-case hexadecimal text. Text in a date column (7, 135) that reads as
// ISO 8601 (DateTime::parseIso) is a Date.
//
// Errors: a failure inside SQLite (opening, preparing, stepping) throws
// Error number -2147467259 (0x80004005, the classic provider error) with
// source "SQLite" and the description "SQLite error <result code>: <SQLite's
// message>" (opening adds the file path). A query refused as above throws the
// same number with a description that says why. Moving past the end and
// reading a field with no current row throw Error 3021 (source
// "ADODB.Recordset"). After a failed step the cursor is at the end (Eof()).
//
// Not thread-safe; one writer uses it at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "varnelo/recordset.h"

struct sqlite3;
struct sqlite3_stmt;

namespace varnelo {

// The classic provider error number every SQLite failure is raised with.
constexpr int32_t kSqliteErrorNumber = static_cast<int32_t>(0x80004005u);

class SqliteRecordset : public Recordset {
public:
    SqliteRecordset(const std::string& databasePath, std::string query);
    SqliteRecordset(sqlite3* db, std::string query);
    ~SqliteRecordset() override;

    SqliteRecordset(const SqliteRecordset&) = delete;
    SqliteRecordset& operator=(const SqliteRecordset&) = delete;

    int64_t RecordCount() override;
    void MoveNext() override;
    void MoveFirst() override;
    void MoveLast() override;
    bool Bof() const override { return !hasRows_; }
    bool Eof() const override { return eof_; }
    std::string Source() const override { return query_; }

    int fieldCount() const override { return static_cast<int>(names_.size()); }
    const std::string& fieldName(int index) const override;
    int fieldType(int index) const override;
    Variant fieldValue(int index) const override;
    bool appendFieldText(int index, std::string& out) const override;
    bool fieldIsBlank(int index) const override;

    // The type code a declared column type maps to (the table above);
    // nullptr or "" for no declared type gives -1.
    static int typeCodeFor(const char* declaredType);

private:
    struct DbCloser { void operator()(sqlite3* db) const; };
    struct StmtFinalizer { void operator()(sqlite3_stmt* stmt) const; };
    using StmtPtr = std::unique_ptr<sqlite3_stmt, StmtFinalizer>;

    void prepareQuery();
    // Prepares the first statement of sql; several tells whether more follow.
    StmtPtr prepare(const std::string& sql, bool& several) const;
    // Steps once; true on a row, false at the end. Throws on failure.
    bool step();
    void restart();
    int64_t countRows();
    void checkCurrent(int index) const;

    std::unique_ptr<sqlite3, DbCloser> ownedDb_;
    sqlite3* db_ = nullptr;
    StmtPtr stmt_;
    std::string query_;
    std::vector<std::string> names_;
    std::vector<int> types_;
    int64_t row_ = 0;       // 0-based index of the current row
    int64_t count_ = -1;    // cached RecordCount(), -1 until counted
    bool hasRows_ = false;
    bool eof_ = true;
};

}  // namespace varnelo
