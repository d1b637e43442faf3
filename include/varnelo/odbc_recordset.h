// OdbcRecordset: the rows of one query through an ODBC driver (unixODBC).
//
// Connecting: OdbcRecordset(connectionString, query) connects with
// SQLDriverConnect and no prompt: "DSN=sales;UID=me;PWD=..." for a data
// source of odbc.ini, or "Driver=PostgreSQL Unicode;Server=...;Database=..."
// for a driver of odbcinst.ini. The connection is the recordset's own and
// closes with it. Strings, the query and names pass through the wide
// (UTF-16) calls and are UTF-8 here, whatever the process's locale.
//
// The query is prepared and described before it runs: a statement that
// returns no columns is refused without running. Read-only mode is asked of
// the driver (SQL_ATTR_ACCESS_MODE), but only drivers that can enforce it do.
//
// Streaming: the query runs once as a forward-only, read-only statement and
// its rows are fetched one at a time; each value is read whole with
// SQLGetData, in pieces when long. Values are not bound into row arrays: a
// bound array fixes each column's buffer from the size the driver declares,
// and a value longer than that (SQLite enforces no declared length) would be
// cut. The round trips that matter are the driver's own: most drivers fetch
// rows from their server in blocks, and some must be told to stream rather
// than read the whole result first (PostgreSQL's driver:
// "UseDeclareFetch=1;Fetch=10000"; SQLite's: "StepAPI=1").
//
// Movement: after construction the cursor is on the first row (Bof() and
// Eof() both true when the query has no rows). MoveFirst() positions lazily:
// the statement runs again only when a row is next needed, and not at all
// while the cursor still stands on the first row. MoveLast() walks forward.
//
// RecordCount() runs a second statement on the same connection,
// "SELECT COUNT(*) FROM (<query>) q", once, and keeps the answer; a driver
// that cannot run that is counted by fetching the query's rows on the second
// statement. The count sees the data as the connection's isolation level
// shows it, which is not necessarily the snapshot of the rows read.
//
// Types, from the column's SQL type:
//   SQL_BIT 11; SQL_TINYINT, SQL_SMALLINT, SQL_INTEGER 3; SQL_BIGINT 20;
//   SQL_NUMERIC, SQL_DECIMAL 131; SQL_REAL, SQL_FLOAT, SQL_DOUBLE 5;
//   SQL_TYPE_DATE 7; SQL_TYPE_TIMESTAMP (and offset time stamps) 135;
//   SQL_CHAR, SQL_WCHAR 129; SQL_VARCHAR, SQL_LONGVARCHAR 200; SQL_WVARCHAR,
//   SQL_WLONGVARCHAR 202; SQL_BINARY, SQL_VARBINARY, SQL_LONGVARBINARY 205;
//   any other type (time, GUID, interval, driver types) 200.
// Values: Boolean, Int32, Int64 and Double as the driver converts them;
// numeric and decimal read as their digits and kept exact as PgRecordset
// keeps them (Int64, Double when exact, else the digits as a String; see
// pg_recordset.h); dates and time stamps read
// as text, kept as a Date with fraction and offset where they read as ISO
// 8601, else as the text; binary values Bytes; everything else String.
// NULL (the SQL_NULL_DATA indicator) is Null, distinct from ''.
//
// Errors: a failure of the driver manager or the driver throws Error number
// kOdbcErrorNumber (0x80004005, the classic provider error) with source
// "ODBC" and the description "ODBC error <SQLSTATE>: <message>" from the
// diagnostic records (several joined by "; "). A failure while reading rows
// leaves the cursor at the end (Eof()). Moving past the end and reading a
// field with no current row throw Error 3021 (source "ADODB.Recordset").
//
// Not thread-safe; one writer uses it at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "varnelo/export_macros.h"
#include "varnelo/recordset.h"

namespace varnelo {

constexpr int32_t kOdbcErrorNumber = static_cast<int32_t>(0x80004005u);

class VARNELO_EXPORT OdbcRecordset : public RowViewRecordset {
public:
    OdbcRecordset(const std::string& connectionString, std::string query);
    ~OdbcRecordset() override;

    OdbcRecordset(const OdbcRecordset&) = delete;
    OdbcRecordset& operator=(const OdbcRecordset&) = delete;

    int64_t RecordCount() override;
    void MoveNext() override;
    void MoveFirst() override;
    void MoveLast() override;
    bool Bof() const override;
    bool Eof() const override;
    std::string Source() const override { return query_; }

    int fieldCount() const override { return static_cast<int>(columns_.size()); }
    const std::string& fieldName(int index) const override;
    int fieldType(int index) const override;
    void readField(int index, FieldValue& out) const override;

    // The type code of an ODBC SQL type (the table above).
    static int typeCodeFor(int sqlType);

private:
    struct Handles;
    enum class Read : char { Bit, Long, BigInt, Double, Numeric, Date, Binary, Text };
    struct Column {
        std::string name;
        int type = 0;
        Read read = Read::Text;
        // The current row's value; text and bytes live in `buffer`.
        FieldValue value;
        std::string buffer;
    };

    void prepare();
    void execute() const;
    bool fetchRow() const;  // false at the end
    void readRow() const;
    void readColumn(int index) const;
    void position() const;  // carries out a pending MoveFirst
    void checkCurrent(int index) const;

    std::unique_ptr<Handles> h_;
    std::string query_;
    std::string body_;  // the query without trailing semicolons and blanks
    // Position state changes when Eof() or a read carries out a lazy move.
    mutable std::vector<Column> columns_;
    mutable int64_t row_ = 0;  // 0-based index of the current row
    mutable bool hasRows_ = false;
    mutable bool eof_ = true;
    mutable bool restartPending_ = false;
    int64_t count_ = -1;  // cached RecordCount(), -1 until counted
};

}  // namespace varnelo
