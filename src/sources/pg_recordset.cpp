#include "varnelo/pg_recordset.h"

#include <libpq-fe.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <limits>
#include <utility>

#include "sources/source_errors.h"
#include "sources/text_values.h"

namespace varnelo {

namespace {

constexpr const char* kErrorSource = "PostgreSQL";
constexpr const char* kCursor = "varnelo_rows";

// Type OIDs of the built-in types (pg_type.oid; fixed across versions).
enum : unsigned {
    kBoolOid = 16,
    kByteaOid = 17,
    kInt8Oid = 20,
    kInt2Oid = 21,
    kInt4Oid = 23,
    kTextOid = 25,
    kFloat4Oid = 700,
    kFloat8Oid = 701,
    kBpcharOid = 1042,
    kVarcharOid = 1043,
    kDateOid = 1082,
    kTimestampOid = 1114,
    kTimestamptzOid = 1184,
    kNumericOid = 1700,
};

struct ResultFree {
    void operator()(PGresult* r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultFree>;

std::string trimmedBody(const std::string& query) {
    size_t end = query.size();
    while (end > 0 && (query[end - 1] == ';' || std::strchr(" \t\r\n\f\v", query[end - 1]))) --end;
    size_t start = 0;
    while (start < end && std::strchr(" \t\r\n\f\v", query[start])) ++start;
    return query.substr(start, end - start);
}

std::string withoutTrailingNewline(std::string s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == ' ')) s.pop_back();
    return s;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// bytea in the hex output format: "\x" and two digits a byte.
bool decodeHex(const char* text, int length, std::string& out) {
    if (length < 2 || text[0] != '\\' || text[1] != 'x' || length % 2 != 0) return false;
    out.resize(static_cast<size_t>(length - 2) / 2);
    for (int i = 2, o = 0; i < length; i += 2, ++o) {
        int hi = hexValue(text[i]), lo = hexValue(text[i + 1]);
        if (hi < 0 || lo < 0) return false;
        out[static_cast<size_t>(o)] = static_cast<char>(hi << 4 | lo);
    }
    return true;
}

}  // namespace

struct PgRecordset::Connection {
    PGconn* conn = nullptr;
    std::string fatalState, fatalMessage;  // from a FATAL notice
    ~Connection() {
        if (conn) PQfinish(conn);
    }

    static void receiveNotice(void* self, const PGresult* notice) {
        const char* severity = PQresultErrorField(notice, PG_DIAG_SEVERITY_NONLOCALIZED);
        if (!severity || (std::strcmp(severity, "FATAL") != 0 && std::strcmp(severity, "PANIC") != 0)) return;
        auto* c = static_cast<Connection*>(self);
        const char* state = PQresultErrorField(notice, PG_DIAG_SQLSTATE);
        const char* message = PQresultErrorField(notice, PG_DIAG_MESSAGE_PRIMARY);
        c->fatalState = state ? state : "";
        c->fatalMessage = message ? message : "";
    }

    // The error of a failed command (or of the connection), as an Error.
    [[noreturn]] void fail(const PGresult* result, const std::string& context = {}) const {
        std::string state, message;
        if (result) {
            if (const char* s = PQresultErrorField(result, PG_DIAG_SQLSTATE)) state = s;
            if (const char* m = PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY)) message = m;
            if (const char* d = PQresultErrorField(result, PG_DIAG_MESSAGE_DETAIL)) message += std::string(" (") + d + ")";
            if (const char* h = PQresultErrorField(result, PG_DIAG_MESSAGE_HINT)) message += std::string(" Hint: ") + h;
        }
        if (state.empty() && !fatalState.empty()) state = fatalState, message = fatalMessage;
        if (message.empty()) message = withoutTrailingNewline(conn ? PQerrorMessage(conn) : "out of memory");
        if (state.empty()) state = !conn || PQstatus(conn) == CONNECTION_BAD ? "08006" : "XX000";
        std::string description = "PostgreSQL error " + state + ": " + message;
        if (!context.empty()) description += " (" + context + ")";
        throw Error(kPgErrorNumber, kErrorSource, std::move(description));
    }

    void check(const Result& r, ExecStatusType expected) const {
        if (!r || PQresultStatus(r.get()) != expected) fail(r.get());
    }

    // One statement through the extended protocol, which takes exactly one
    // statement: a query cannot smuggle a second one in. Rows in text form.
    Result run(const std::string& sql, ExecStatusType expected) const {
        Result r(PQexecParams(conn, sql.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0));
        check(r, expected);
        return r;
    }

    // The same, sent without waiting for the answer; false when it could not
    // be sent (the connection is gone).
    bool send(const std::string& sql) const {
        return PQsendQueryParams(conn, sql.c_str(), 0, nullptr, nullptr, nullptr, nullptr, 0) == 1;
    }
    // The answer to what send() sent, unchecked; the connection is free again.
    Result collect() const {
        Result first(PQgetResult(conn));
        while (PGresult* more = PQgetResult(conn)) PQclear(more);
        return first;
    }
};

struct PgRecordset::Batch {
    Result result;
    int rows = 0;
};

int PgRecordset::typeCodeFor(unsigned oid) {
    switch (oid) {
        case kBoolOid: return adtype::kBoolean;
        case kInt2Oid:
        case kInt4Oid: return adtype::kInteger;
        case kInt8Oid: return adtype::kBigInt;
        case kNumericOid: return adtype::kNumeric;
        case kFloat4Oid:
        case kFloat8Oid: return adtype::kDouble;
        case kDateOid: return adtype::kDate;
        case kTimestampOid:
        case kTimestamptzOid: return adtype::kDBTimeStamp;
        case kBpcharOid: return adtype::kChar;
        case kByteaOid: return adtype::kLongVarBinary;
        default: return adtype::kVarChar;  // text, varchar, json, uuid and the rest
    }
}

PgRecordset::PgRecordset(const std::string& conninfo, std::string query, PgOptions options)
    : conn_(std::make_unique<Connection>()), query_(std::move(query)), options_(options) {
    if (options_.batchRows < 1)
        throw Error(err::kInvalidPropertyValue, kErrorSource,
                    "batchRows must be at least 1, not " + std::to_string(options_.batchRows));
    body_ = trimmedBody(query_);
    if (body_.empty()) throw Error(kPgErrorNumber, kErrorSource, "The query holds no SQL statement");

    conn_->conn = PQconnectdb(conninfo.c_str());
    if (!conn_->conn || PQstatus(conn_->conn) != CONNECTION_OK) conn_->fail(nullptr, "connecting");
    if (PQsetClientEncoding(conn_->conn, "UTF8") != 0) conn_->fail(nullptr, "client encoding UTF8");
    // Notices would go to standard error behind the host's back. One that
    // matters, the server's word when it ends the connection between two
    // commands, is kept for the error of the command that finds it gone.
    PQsetNoticeReceiver(conn_->conn, &Connection::receiveNotice, conn_.get());
    // Several settings in one simple-protocol round trip; no user text here.
    Result settings(PQexec(conn_->conn,
                           "SET DateStyle = 'ISO, YMD'; SET bytea_output = 'hex'; SET extra_float_digits = 3"));
    if (!settings || PQresultStatus(settings.get()) != PGRES_COMMAND_OK) conn_->fail(settings.get());
    fetchSql_ = "FETCH FORWARD " + std::to_string(options_.batchRows) + " FROM " + kCursor;
    begin();
    declare();
    fetch(0);
    hasRows_ = !eof_;

    const PGresult* r = batch_->result.get();
    const int n = PQnfields(r);
    columns_.reserve(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        Column c;
        c.name = PQfname(r, i);
        c.oid = PQftype(r, i);
        c.type = typeCodeFor(c.oid);
        columns_.push_back(std::move(c));
    }
    decoded_.resize(columns_.size());
}

PgRecordset::~PgRecordset() = default;

void PgRecordset::begin() const {
    conn_->run("BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY", PGRES_COMMAND_OK);
}

// A fresh cursor at the first row, nothing fetched yet.
void PgRecordset::declare() const {
    batch_.reset();
    eof_ = true;
    failed_ = true;  // until the cursor stands
    // The query on its own lines: a trailing "-- comment" ends before the cursor's end.
    conn_->run(std::string("DECLARE ") + kCursor + " NO SCROLL CURSOR FOR\n" + body_ + "\n", PGRES_COMMAND_OK);
    cursorDone_ = false;
    failed_ = false;
}

// Closes the cursor and declares it again; after a failed statement (the
// transaction is aborted) in a new transaction, with a new snapshot.
void PgRecordset::reopen() const {
    dropPrefetch();
    // A lost connection is not won back: its transaction and snapshot are gone.
    if (PQstatus(conn_->conn) == CONNECTION_BAD) conn_->fail(nullptr);
    if (PQtransactionStatus(conn_->conn) == PQTRANS_INERROR) {
        conn_->run("ROLLBACK", PGRES_COMMAND_OK);  // the failure itself was reported then
        begin();
        count_ = -1;
    } else {
        conn_->run(std::string("CLOSE ") + kCursor, PGRES_COMMAND_OK);
    }
    declare();
}

// The next batch is asked for as soon as one arrives, so the server reads
// and sends it while the writer works through the batch in memory.
void PgRecordset::sendPrefetch() const {
    if (cursorDone_ || inFlight_ || prefetched_) return;
    // When the request cannot go out, the next fetch() asks again and reports why.
    inFlight_ = conn_->send(fetchSql_);
}

void PgRecordset::dropPrefetch() const {
    prefetched_.reset();
    if (inFlight_) {
        inFlight_ = false;
        conn_->collect();  // an error here shows in the transaction's state
    }
}

// The next batch from the server, whose first row is row `first` (0-based).
void PgRecordset::fetch(int64_t first) const {
    eof_ = true;
    if (cursorDone_) return;  // the batch in memory stays, for a cheap MoveFirst
    auto next = std::make_unique<Batch>();
    try {
        if (prefetched_) {
            next = std::move(prefetched_);
        } else if (inFlight_) {
            inFlight_ = false;
            next->result = conn_->collect();
        } else {
            next->result = conn_->run(fetchSql_, PGRES_TUPLES_OK);
        }
        conn_->check(next->result, PGRES_TUPLES_OK);
    } catch (...) {
        failed_ = true;
        throw;
    }
    next->rows = PQntuples(next->result.get());
    // A short batch is the last: no round trip to learn that nothing follows.
    cursorDone_ = next->rows < options_.batchRows;
    if (next->rows == 0) {
        // A query without rows still describes its columns.
        if (!batch_) batch_ = std::move(next), batchStart_ = first, rowInBatch_ = 0;
        return;
    }
    // The old batch goes only now, so a failed FETCH leaves no dangling view.
    batch_ = std::move(next);
    batchStart_ = first;
    rowInBatch_ = 0;
    eof_ = false;
    sendPrefetch();
}

void PgRecordset::position() const {
    if (!restartPending_) return;
    restartPending_ = false;
    reopen();
    fetch(0);
    hasRows_ = !eof_;
}

int64_t PgRecordset::RecordCount() {
    if (count_ < 0) {
        position();
        if (inFlight_) {  // the connection answers one command at a time
            inFlight_ = false;
            prefetched_ = std::make_unique<Batch>();
            prefetched_->result = conn_->collect();
        }
        Result r = conn_->run("SELECT count(*) FROM (\n" + body_ + "\n) q", PGRES_TUPLES_OK);
        const char* text = PQgetvalue(r.get(), 0, 0);
        int64_t n = 0;
        std::from_chars(text, text + std::strlen(text), n);
        count_ = n;
    }
    return count_;
}

void PgRecordset::MoveNext() {
    position();
    if (eof_) throw sources::noCurrentRecord();
    if (++rowInBatch_ < batch_->rows) {
        // Take in what the server sent of the next batch so far: a full
        // socket would stop it until this batch is done.
        if (inFlight_ && rowInBatch_ % 256 == 0) PQconsumeInput(conn_->conn);
        return;
    }
    fetch(batchStart_ + batch_->rows);
}

void PgRecordset::MoveFirst() {
    if (restartPending_) return;
    if (!failed_ && batch_ && batchStart_ == 0 && batch_->rows > 0) {
        // The first batch is still here: no need to ask the server again.
        rowInBatch_ = 0;
        eof_ = false;
        return;
    }
    if (!failed_ && !hasRows_) return;  // no rows at all: nothing to go back to
    restartPending_ = true;
}

void PgRecordset::MoveLast() {
    const int64_t n = RecordCount();
    if (n <= 0) return;
    position();
    const int64_t last = n - 1;
    auto inBatch = [&] { return batch_ && batchStart_ <= last && last < batchStart_ + batch_->rows; };
    if (!inBatch()) {
        // Skip on the server from a fresh cursor straight to the last row.
        reopen();
        if (last > 0)
            conn_->run("MOVE FORWARD " + std::to_string(last) + " FROM " + kCursor, PGRES_COMMAND_OK);
        fetch(last);
    }
    if (inBatch()) {
        rowInBatch_ = static_cast<int>(last - batchStart_);
        eof_ = false;
    }
    // Otherwise there were fewer rows than counted (a volatile query): the
    // cursor is at the end.
}

bool PgRecordset::Bof() const {
    position();
    return !hasRows_;
}

bool PgRecordset::Eof() const {
    position();
    return eof_;
}

const std::string& PgRecordset::fieldName(int index) const {
    return columns_[sources::fieldIndex(index, fieldCount())].name;
}

int PgRecordset::fieldType(int index) const {
    return columns_[sources::fieldIndex(index, fieldCount())].type;
}

void PgRecordset::checkCurrent(int index) const {
    position();
    if (eof_) throw sources::noCurrentRecord();
    sources::fieldIndex(index, fieldCount());
}

void PgRecordset::readField(int index, FieldValue& out) const {
    checkCurrent(index);
    const PGresult* r = batch_->result.get();
    if (PQgetisnull(r, rowInBatch_, index)) {
        out.kind = Variant::Kind::Null;
        return;
    }
    const char* text = PQgetvalue(r, rowInBatch_, index);
    const int length = PQgetlength(r, rowInBatch_, index);
    const std::string_view view(text, static_cast<size_t>(length));
    out.kind = Variant::Kind::String;
    out.text = view;
    switch (columns_[static_cast<size_t>(index)].oid) {
        case kBoolOid:
            out.kind = Variant::Kind::Boolean;
            out.boolean = text[0] == 't';
            return;
        case kInt2Oid:
        case kInt4Oid:
        case kInt8Oid: {
            int64_t n = 0;
            auto res = std::from_chars(text, text + length, n);
            if (res.ec != std::errc() || res.ptr != text + length) return;  // stays text
            const bool narrow = columns_[static_cast<size_t>(index)].oid != kInt8Oid;
            out.kind = narrow ? Variant::Kind::Int32 : Variant::Kind::Int64;
            out.integer = n;
            return;
        }
        case kNumericOid: sources::numericFromText(view, out); return;
        case kFloat4Oid:
        case kFloat8Oid: sources::doubleFromText(view, out); return;
        case kDateOid:
        case kTimestampOid:
        case kTimestamptzOid: sources::dateFromText(view, out); return;
        case kByteaOid: {
            std::string& bytes = decoded_[static_cast<size_t>(index)];
            if (!decodeHex(text, length, bytes)) return;  // not the hex format: the text as sent
            out.kind = Variant::Kind::Bytes;
            out.text = bytes;
            return;
        }
        default: return;
    }
}



bool PgRecordset::fieldIsBlank(int index) const {
    checkCurrent(index);
    const PGresult* r = batch_->result.get();
    return PQgetisnull(r, rowInBatch_, index) || PQgetlength(r, rowInBatch_, index) == 0;
}

}  // namespace varnelo
