// SqliteRecordset: the rows of one SQLite query as a record source.
//
// The rows stream from one prepared statement stepped forward, so memory does
// not grow with the number of rows, and an export runs the query once.
//
// Opening:
//  - SqliteRecordset(path, query) opens the file read-only
//    (SQLITE_OPEN_READONLY, never created) and closes it with the recordset.
//  - SqliteRecordset(db, query) uses a connection the caller keeps open for
//    the recordset's whole life; it is not closed here.
//  The query must be a single read-only statement that returns columns
//  (SELECT, VALUES, WITH ... SELECT, a read-only PRAGMA); anything else is
//  refused, since a later pass or a count runs it again. Construction only
//  prepares the statement; it runs nothing.
//
// Positioning is lazy. A new recordset, and MoveFirst() after the cursor has
// moved, stand at a first row not fetched yet: the statement is reset and
// steps only when something needs the row (Eof(), Bof(), a field's value,
// MoveNext(), MoveLast(), or the type code of an expression column). MoveFirst()
// on the first row (fetched or not) when the cursor has not moved since does
// nothing, so construct, MoveFirst, walk to Eof, MoveFirst runs the query
// exactly once; the next walk runs it again. Bof() is true only for a query
// without rows: the cursor never stands before the first row. MoveLast()
// walks forward to the last row (from the start when the cursor has passed
// it) using RecordCount(); for a query whose result varies from run to run it
// may end at Eof.
//
// One snapshot per pass: when the first row is fetched on a connection in
// autocommit mode, the recordset opens a read transaction (a savepoint named
// "varnelo_snapshot") and ends it when the walk reaches the end, when
// MoveFirst() starts a new pass, and at destruction. A transaction the caller
// opened is used as it is, never ended here. Under a WAL journal, rows that
// another connection commits during a pass are not seen until the next pass;
// under a rollback journal, such a writer waits (or fails busy) until the
// pass ends. On a borrowed connection the caller's own statements during a
// pass run inside that transaction (BEGIN fails; writes commit when it ends).
//
// RecordCount() runs only when asked: "SELECT COUNT(*) FROM (<query>)", or,
// for a query that cannot be wrapped that way (a PRAGMA), a second statement
// stepped through its rows. It counts in the pass's transaction, opening it
// when the first row is still to come (the walk then continues in it), and
// is kept for the pass. Once a walk reaches the end, RecordCount() is the
// number of rows that walk read, which also holds for a query whose result
// varies from run to run (ORDER BY random(), a random LIMIT), where a count
// taken before the walk is only that of another run.
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
// storage class of its value in the first row the recordset fetches (and
// keeps it for its life): integer 20, real 5, text 200, blob 205, null 12;
// with no rows at all 12. Unknown declared types count as
// text so that writers quote their values: a quoted number still loads, an
// unquoted text does not.
//
// Values: NULL is Null (distinct from ''). Other values keep their storage
// class: integer Int64 (Int32 in a code-3 column when it fits; Boolean in a
// code-11 column when it is 0 or 1), real Double, text String, blob Bytes (an
// empty blob is empty Bytes, not Null). Text in a date column (7, 135) that
// reads as ISO 8601 (DateTime::parseIso, fraction and zone kept) is a Date.
// readField() gives the same values as views into SQLite's row, valid until
// the cursor moves; appendFieldText() writes their text (blobs as upper-case
// hexadecimal).
//
// filesRead(): the files of the main and every attached database (in-memory
// and temporary databases have none).
//
// Errors: a failure inside SQLite (opening, preparing, stepping) throws
// Error number -2147467259 (0x80004005, the classic provider error) with
// source "SQLite" and the description "SQLite error <result code>: <SQLite's
// message> (<database file>)", the file left out for an in-memory database.
// A query refused as above throws the same number with a description that
// says why. Moving past the end and reading a field with no current row throw
// Error 3021 (source "ADODB.Recordset"). After a failed step the cursor is at
// the end (Eof()) and the pass's transaction has ended.
//
// Not thread-safe; one writer uses it at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "varnelo/export_macros.h"
#include "varnelo/recordset.h"

struct sqlite3;
struct sqlite3_stmt;

namespace varnelo {

// The classic provider error number every SQLite failure is raised with.
constexpr int32_t kSqliteErrorNumber = static_cast<int32_t>(0x80004005u);

class VARNELO_EXPORT SqliteRecordset : public RowViewRecordset {
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
    bool Bof() const override;
    bool Eof() const override;
    std::string Source() const override { return query_; }

    int fieldCount() const override { return static_cast<int>(names_.size()); }
    const std::string& fieldName(int index) const override;
    int fieldType(int index) const override;
    void readField(int index, FieldValue& out) const override;
    std::vector<std::string> filesRead() const override;

    // The type code a declared column type maps to (the table above);
    // nullptr or "" for no declared type gives -1.
    static int typeCodeFor(const char* declaredType);

private:
    struct DbCloser { void operator()(sqlite3* db) const; };
    struct StmtFinalizer { void operator()(sqlite3_stmt* stmt) const; };
    using StmtPtr = std::unique_ptr<sqlite3_stmt, StmtFinalizer>;
    // Pending: reset, first row not fetched yet; Row: on a row; End: past the
    // last row (or after a failed step).
    enum class At { Pending, Row, End };

    void prepareQuery();
    // Prepares the first statement of sql; several tells whether more follow.
    StmtPtr prepare(const std::string& sql, bool& several) const;
    [[noreturn]] void throwError(int rc) const;
    // Fetches the first row when it is pending.
    void fetchFirst() const;
    // Steps once; at the end (or on failure) the pass's transaction ends.
    void step() const;
    // Resets the statement for a new pass.
    void restart();
    void beginSnapshot() const;
    void endSnapshot() const;
    int64_t countRows();
    // The one place a column of the current row becomes a value; the field
    // must have been checked with current().
    void decode(int index, FieldValue& out) const;
    void current(int index) const;

    std::unique_ptr<sqlite3, DbCloser> ownedDb_;
    sqlite3* db_ = nullptr;
    StmtPtr stmt_;
    std::string query_;
    std::vector<std::string> names_;
    // The cursor; mutable because Eof(), Bof() and field reads fetch a
    // pending first row. Expression columns' codes (-1) are settled by the
    // first row ever fetched.
    mutable std::vector<int> types_;
    mutable At at_ = At::Pending;
    mutable int64_t row_ = 0;    // 0-based current row; at End, the rows read
    mutable int64_t count_ = -1; // this pass's RecordCount(), -1 until known
    mutable bool hasRows_ = false;
    mutable bool ownTxn_ = false; // the pass's transaction is ours to end
};

}  // namespace varnelo
