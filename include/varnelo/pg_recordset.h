// PgRecordset: the rows of one PostgreSQL query as a record source.
//
// Connecting: PgRecordset(conninfo, query) takes a connection string exactly
// as libpq does: a URI ("postgresql://user@host:5432/db") or key=value pairs
// ("host=/run/postgresql dbname=sales"), with libpq's environment variables
// (PGHOST, PGUSER, ...) and password file filling what the string leaves out.
// The connection is the recordset's own and closes with it. The session
// speaks UTF-8 and ISO dates (DateStyle ISO, bytea_output hex); a timestamp
// with time zone is shown in the session's TimeZone (PGTZ, or the server's
// default) with its offset, so the instant is always exact.
//
// Snapshot: everything runs inside one read-only REPEATABLE READ
// transaction, opened with the recordset. The rows, RecordCount() and every
// return to the first row see the same snapshot of the data, whatever other
// sessions commit meanwhile.
//
// Streaming: the query runs through a server-side cursor
// (DECLARE ... NO SCROLL CURSOR FOR <query>) read in batches of
// PgOptions::batchRows rows (FETCH FORWARD n), so memory holds one batch
// whatever the number of rows, and the next one: each FETCH is sent as soon
// as the batch before it arrives, so the server reads and sends rows while
// the writer works. The constructor declares the cursor and reads
// the first batch, which is where the columns come from and where a bad query
// fails. The query must be a single statement that returns rows (SELECT,
// VALUES, TABLE, WITH ... SELECT); a trailing semicolon is allowed.
//
// Movement: after construction the cursor is on the first row (Bof() and
// Eof() both true when the query has no rows). MoveFirst() positions
// lazily: while the first batch is still in memory it only steps back to it;
// otherwise the cursor is closed and declared again when a row is next
// needed, so an export's closing MoveFirst() costs nothing. MoveLast() counts
// the rows, then (unless the last row is in memory) declares the cursor
// afresh and skips on the server (MOVE FORWARD) to the last row. RecordCount() runs
// "SELECT count(*) FROM (<query>) q" once, in the same transaction, and
// keeps the answer.
//
// Types, from the column's type OID:
//   boolean 11; smallint, integer 3; bigint 20; numeric 131; real, double
//   precision 5; date 7; timestamp, timestamptz 135; text, varchar 200;
//   char(n) 129; bytea 205; every other type (json, uuid, time, interval,
//   arrays, ...) 200.
// Values arrive as text and are read as: boolean Boolean; smallint and integer
// Int32; bigint Int64; real and double Double (Infinity, -Infinity, NaN
// included); numeric as below; date and timestamps Date with their fraction
// and offset (a value no Date holds, such as 'infinity' or a year BC, stays
// its text); bytea Bytes; everything else String, as the server writes it.
// NULL is Null, distinct from ''.
//
// Numeric: a Variant has no decimal kind, and writers shape a value by its
// kind, so a numeric becomes the kind that carries its exact value and
// never a rounded one: Int64 when it is whole and fits ("5.000" is 5); Double
// when the double's shortest text is the same number ("0.1", "99999999.99";
// NaN and +/-Infinity too); otherwise a String with the server's digits
// ("12345678901234567890.123456789"). Such a String is quoted where text is
// quoted, which every SQL engine converts exactly when it loads it into a
// numeric column, and a spreadsheet shows its digits rather than 15 of them.
// Trailing zeros of the column's scale are not kept: "1.50" is written 1.5.
//
// Errors: every failure on the server or the connection throws Error number
// kPgErrorNumber (0x80004005, the classic provider error) with source
// "PostgreSQL" and the description "PostgreSQL error <SQLSTATE>: <the
// server's message>" (with its detail and hint when it gave them); a lost
// connection without a server message reports SQLSTATE 08006. A failure
// while reading rows leaves the cursor at the end (Eof()); after a lost
// connection every further read fails the same way, and after a failed query
// a MoveFirst() starts a new transaction. Moving past the end and reading a
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

constexpr int32_t kPgErrorNumber = static_cast<int32_t>(0x80004005u);

struct PgOptions {
    // Rows per FETCH: the rows held in memory at a time. At least 1.
    int batchRows = 10000;
};

class VARNELO_EXPORT PgRecordset : public RowViewRecordset {
public:
    PgRecordset(const std::string& conninfo, std::string query, PgOptions options = {});
    ~PgRecordset() override;

    PgRecordset(const PgRecordset&) = delete;
    PgRecordset& operator=(const PgRecordset&) = delete;

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
    bool fieldIsBlank(int index) const override;
    void readField(int index, FieldValue& out) const override;

    // The type code of a PostgreSQL type OID (the table above).
    static int typeCodeFor(unsigned oid);

private:
    struct Connection;
    struct Batch;
    struct Column {
        std::string name;
        int type = 0;
        unsigned oid = 0;
    };

    void begin() const;
    void declare() const;
    void reopen() const;
    void fetch(int64_t first) const;
    void sendPrefetch() const;
    void dropPrefetch() const;
    void position() const;  // carries out a pending MoveFirst
    void checkCurrent(int index) const;

    std::unique_ptr<Connection> conn_;
    std::string query_;
    std::string body_;  // the query without trailing semicolons and blanks
    std::string fetchSql_;
    PgOptions options_;
    std::vector<Column> columns_;
    // Position state changes when Eof() or a read carries out a lazy move.
    mutable std::unique_ptr<Batch> batch_;
    mutable int64_t batchStart_ = 0;  // 0-based index of the batch's first row
    mutable int rowInBatch_ = 0;
    mutable bool cursorDone_ = false;  // the server has no rows after this batch
    mutable bool hasRows_ = false;
    mutable bool eof_ = true;
    mutable bool restartPending_ = false;
    mutable bool failed_ = false;  // a read failed: the batch in memory is no start
    mutable int64_t count_ = -1;   // cached RecordCount(), -1 until counted
    mutable std::vector<std::string> decoded_;  // bytea values, one per column
    // The next batch, asked for ahead: in flight, or already here.
    mutable bool inFlight_ = false;
    mutable std::unique_ptr<Batch> prefetched_;
};

}  // namespace varnelo
