#include "varnelo/sqlite_recordset.h"

#include <sqlite3.h>

#include <cctype>
#include <limits>
#include <string_view>
#include <utility>

#include "sources/source_errors.h"
#include "sources/text_values.h"

namespace varnelo {

namespace {

constexpr const char* kErrorSource = "SQLite";

Error sqliteError(sqlite3* db, int rc, const std::string& context) {
    std::string description = "SQLite error " + std::to_string(rc) + ": ";
    description += db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    if (!context.empty()) description += " (" + context + ")";
    return Error(kSqliteErrorNumber, kErrorSource, std::move(description));
}

[[noreturn]] void throwSqlite(sqlite3* db, int rc, const std::string& context) {
    throw sqliteError(db, rc, context);
}

// The database file an error names; in-memory databases have none.
std::string mainFile(sqlite3* db) {
    const char* file = sqlite3_db_filename(db, "main");
    return file ? file : "";
}

[[noreturn]] void throwRefused(const std::string& why, const std::string& query) {
    throw Error(kSqliteErrorNumber, kErrorSource, query.empty() ? why : why + ": " + query);
}

bool contains(std::string_view text, std::string_view part) {
    return text.find(part) != std::string_view::npos;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
    return s;
}

// "CHAR", "CHARACTER", either with a length "(n)": the fixed-length type.
bool isFixedChar(std::string_view t) {
    size_t open = t.find('(');
    std::string_view name = trim(t.substr(0, open));
    if (name != "CHAR" && name != "CHARACTER") return false;
    if (open == std::string_view::npos) return true;
    size_t close = t.find(')', open);
    if (close == std::string_view::npos || !trim(t.substr(close + 1)).empty()) return false;
    std::string_view length = trim(t.substr(open + 1, close - open - 1));
    if (length.empty()) return false;
    for (char c : length)
        if (c < '0' || c > '9') return false;
    return true;
}

bool isDateType(int type) { return type == adtype::kDate || type == adtype::kDBTimeStamp; }

int typeFromStorage(int storageClass) {
    switch (storageClass) {
        case SQLITE_INTEGER: return adtype::kBigInt;
        case SQLITE_FLOAT: return adtype::kDouble;
        case SQLITE_TEXT: return adtype::kVarChar;
        case SQLITE_BLOB: return adtype::kLongVarBinary;
        default: return adtype::kVariant;
    }
}

constexpr const char* kSavepoint = "SAVEPOINT varnelo_snapshot";
constexpr const char* kRelease = "RELEASE varnelo_snapshot";

// The statement's own text without the trailing blanks and semicolons, ready
// to be wrapped in a subquery.
std::string statementBody(sqlite3_stmt* stmt) {
    std::string_view sql = trim(sqlite3_sql(stmt));
    while (!sql.empty() && (sql.back() == ';' || std::isspace(static_cast<unsigned char>(sql.back()))))
        sql.remove_suffix(1);
    return std::string(sql);
}

}  // namespace

void SqliteRecordset::DbCloser::operator()(sqlite3* db) const { sqlite3_close_v2(db); }
void SqliteRecordset::StmtFinalizer::operator()(sqlite3_stmt* stmt) const { sqlite3_finalize(stmt); }

int SqliteRecordset::typeCodeFor(const char* declaredType) {
    if (!declaredType) return -1;
    std::string t(trim(declaredType));
    if (t.empty()) return -1;
    for (char& c : t) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));

    if (contains(t, "BOOL")) return adtype::kBoolean;
    if (contains(t, "INT")) {
        if (contains(t, "BIGINT") || contains(t, "BIG INT") || contains(t, "INT8")) return adtype::kBigInt;
        return adtype::kInteger;
    }
    if (contains(t, "NCHAR") || contains(t, "NVARCHAR") || contains(t, "NTEXT") ||
        contains(t, "NCLOB") || contains(t, "NATIONAL"))
        return adtype::kVarWChar;
    if (isFixedChar(t)) return adtype::kChar;
    if (contains(t, "CHAR") || contains(t, "TEXT") || contains(t, "CLOB") || contains(t, "STRING"))
        return adtype::kVarChar;
    if (contains(t, "DATETIME") || contains(t, "TIMESTAMP")) return adtype::kDBTimeStamp;
    if (contains(t, "DATE")) return adtype::kDate;
    if (contains(t, "REAL") || contains(t, "FLOA") || contains(t, "DOUB")) return adtype::kDouble;
    if (contains(t, "DEC") || contains(t, "NUMERIC") || contains(t, "NUMBER") || contains(t, "MONEY"))
        return adtype::kNumeric;
    if (contains(t, "BLOB")) return adtype::kLongVarBinary;
    return adtype::kVarChar;  // unknown: text, so writers quote it
}

SqliteRecordset::SqliteRecordset(const std::string& databasePath, std::string query)
    : query_(std::move(query)) {
    sqlite3* db = nullptr;
    // Read-only: a missing file is an error rather than a new empty database.
    // No mutex: the connection is ours alone and used from one thread.
    int rc = sqlite3_open_v2(databasePath.c_str(), &db,
                             SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr);
    ownedDb_.reset(db);
    if (rc != SQLITE_OK) throwSqlite(db, rc, databasePath);
    sqlite3_busy_timeout(db, 5000);  // ride out a writer's short lock
    db_ = db;
    prepareQuery();
}

SqliteRecordset::SqliteRecordset(sqlite3* db, std::string query)
    : db_(db), query_(std::move(query)) {
    if (!db_) throw Error(kSqliteErrorNumber, kErrorSource, "No database connection");
    prepareQuery();
}

SqliteRecordset::~SqliteRecordset() {
    stmt_.reset();  // before the transaction ends and the connection closes
    if (ownTxn_) sqlite3_exec(db_, kRelease, nullptr, nullptr, nullptr);
}

void SqliteRecordset::throwError(int rc) const { throwSqlite(db_, rc, mainFile(db_)); }

SqliteRecordset::StmtPtr SqliteRecordset::prepare(const std::string& sql, bool& several) const {
    sqlite3_stmt* raw = nullptr;
    const char* tail = nullptr;
    int rc = sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()) + 1, &raw, &tail);
    StmtPtr stmt(raw);
    if (rc != SQLITE_OK) throwError(rc);
    several = false;
    if (!stmt) throwRefused("The query holds no SQL statement", sql);  // blanks or comments only
    // A second statement after the first would be silently ignored.
    if (tail && *tail) {
        sqlite3_stmt* next = nullptr;
        rc = sqlite3_prepare_v2(db_, tail, -1, &next, nullptr);
        StmtPtr nextStmt(next);
        if (rc != SQLITE_OK || nextStmt) several = true;
    }
    return stmt;
}

void SqliteRecordset::prepareQuery() {
    bool several = false;
    stmt_ = prepare(query_, several);
    sqlite3_stmt* s = stmt_.get();
    if (several) throwRefused("The query holds more than one SQL statement", query_);
    // Every pass and every count runs the statement again: it must not write.
    if (!sqlite3_stmt_readonly(s))
        throwRefused("The query would change the database; only read-only queries give rows", query_);
    int columns = sqlite3_column_count(s);
    if (columns == 0) throwRefused("The query returns no columns", query_);

    names_.reserve(static_cast<size_t>(columns));
    types_.reserve(static_cast<size_t>(columns));
    for (int i = 0; i < columns; ++i) {
        const char* name = sqlite3_column_name(s, i);
        names_.emplace_back(name ? name : "");
        types_.push_back(typeCodeFor(sqlite3_column_decltype(s, i)));
    }
}

void SqliteRecordset::beginSnapshot() const {
    // Inside the caller's transaction the snapshot is theirs already.
    if (ownTxn_ || !sqlite3_get_autocommit(db_)) return;
    const int rc = sqlite3_exec(db_, kSavepoint, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) throwError(rc);
    ownTxn_ = true;
}

void SqliteRecordset::endSnapshot() const {
    if (!ownTxn_) return;
    ownTxn_ = false;
    // A read transaction ends without a fault; a failure here means the
    // caller wrote inside it and those writes could not commit.
    const int rc = sqlite3_exec(db_, kRelease, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) throwError(rc);
}

void SqliteRecordset::step() const {
    const int rc = sqlite3_step(stmt_.get());
    if (rc == SQLITE_ROW) {
        if (at_ == At::Row) {
            ++row_;
        } else {
            at_ = At::Row;
            row_ = 0;
            hasRows_ = true;
        }
        return;
    }
    if (at_ == At::Row) ++row_;  // now the number of rows read
    at_ = At::End;
    if (rc == SQLITE_DONE) {
        count_ = row_;  // exact for this pass, whatever a count said before
        endSnapshot();
        return;
    }
    // Take SQLite's message before ending the transaction replaces it.
    Error failure = sqliteError(db_, rc, mainFile(db_));
    try {
        endSnapshot();
    } catch (const Error&) {
        // The step's failure is the one to report.
    }
    throw failure;
}

void SqliteRecordset::fetchFirst() const {
    if (at_ != At::Pending) return;
    beginSnapshot();
    step();
    // Expressions have no declared type: the first row ever fetched tells.
    for (size_t i = 0; i < types_.size(); ++i) {
        if (types_[i] < 0)
            types_[i] = hasRows_ ? typeFromStorage(sqlite3_column_type(stmt_.get(), static_cast<int>(i)))
                                 : adtype::kVariant;
    }
}

void SqliteRecordset::restart() {
    // reset() repeats the error of a failed step, which was reported then.
    sqlite3_reset(stmt_.get());
    at_ = At::Pending;
    row_ = 0;
    hasRows_ = false;
    count_ = -1;
    endSnapshot();
}

int64_t SqliteRecordset::countRows() {
    // The engine counts a wrapped query without producing its rows.
    try {
        bool several = false;
        StmtPtr wrapped = prepare("SELECT COUNT(*) FROM (\n" + statementBody(stmt_.get()) + "\n)", several);
        if (!several && sqlite3_step(wrapped.get()) == SQLITE_ROW)
            return sqlite3_column_int64(wrapped.get(), 0);
    } catch (const Error&) {
        // Not every read-only statement can be a subquery (PRAGMA): step it instead.
    }
    bool several = false;
    StmtPtr again = prepare(sqlite3_sql(stmt_.get()), several);
    int64_t n = 0;
    int rc;
    while ((rc = sqlite3_step(again.get())) == SQLITE_ROW) ++n;
    if (rc != SQLITE_DONE) throwError(rc);
    return n;
}

int64_t SqliteRecordset::RecordCount() {
    if (count_ >= 0) return count_;
    // Past the end of a failed pass there is no snapshot left to share.
    const bool opened = at_ != At::End && !ownTxn_;
    if (at_ != At::End) beginSnapshot();
    try {
        count_ = countRows();
    } catch (const Error&) {
        if (opened && at_ == At::Pending) {
            try {
                endSnapshot();
            } catch (const Error&) {
                // The count's failure is the one to report.
            }
        }
        throw;
    }
    return count_;
}

bool SqliteRecordset::Bof() const {
    fetchFirst();
    return !hasRows_;
}

bool SqliteRecordset::Eof() const {
    fetchFirst();
    return at_ == At::End;
}

void SqliteRecordset::MoveNext() {
    fetchFirst();
    if (at_ != At::Row) throw sources::noCurrentRecord();
    step();
}

void SqliteRecordset::MoveFirst() {
    // Already there: running the query again would only repeat it.
    if (at_ == At::Pending || (at_ == At::Row && row_ == 0)) return;
    restart();
}

void SqliteRecordset::MoveLast() {
    if (at_ == At::End) restart();  // forward only: a cursor past the last row starts over
    const int64_t n = RecordCount();
    if (n <= 0) return;
    fetchFirst();
    if (at_ == At::Row && row_ > n - 1) {
        restart();
        fetchFirst();
    }
    while (at_ == At::Row && row_ < n - 1) step();
    if (at_ == At::End && hasRows_) {
        // Fewer rows than counted: the result varies from run to run. Take the
        // rows this run gave as the count and walk to the last of them.
        const int64_t seen = row_;
        restart();
        fetchFirst();
        while (at_ == At::Row && row_ < seen - 1) step();
    }
}

const std::string& SqliteRecordset::fieldName(int index) const {
    return names_[sources::fieldIndex(index, fieldCount())];
}

int SqliteRecordset::fieldType(int index) const {
    const size_t at = sources::fieldIndex(index, fieldCount());
    if (types_[at] < 0) fetchFirst();
    const int type = types_[at];
    return type < 0 ? adtype::kVariant : type;  // the first fetch failed
}

void SqliteRecordset::current(int index) const {
    fetchFirst();
    if (at_ != At::Row) throw sources::noCurrentRecord();
    sources::fieldIndex(index, fieldCount());
}

void SqliteRecordset::decode(int index, FieldValue& out) const {
    sqlite3_stmt* s = stmt_.get();
    const int type = types_[static_cast<size_t>(index)];
    switch (sqlite3_column_type(s, index)) {
        case SQLITE_INTEGER: {
            const int64_t v = sqlite3_column_int64(s, index);
            out.integer = v;
            out.text = {};
            if (type == adtype::kBoolean && (v == 0 || v == 1)) {
                out.kind = Variant::Kind::Boolean;
                out.boolean = v == 1;
            } else if (type == adtype::kInteger && v >= std::numeric_limits<int32_t>::min() &&
                       v <= std::numeric_limits<int32_t>::max()) {
                out.kind = Variant::Kind::Int32;
            } else {
                out.kind = Variant::Kind::Int64;
            }
            return;
        }
        case SQLITE_FLOAT:
            out.kind = Variant::Kind::Double;
            out.number = sqlite3_column_double(s, index);
            out.text = {};
            return;
        case SQLITE_TEXT: {
            // The pointer first, then its size (the documented order).
            const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s, index));
            const int size = sqlite3_column_bytes(s, index);
            if (!text && size > 0) throwError(SQLITE_NOMEM);
            out.text = size > 0 ? std::string_view(text, static_cast<size_t>(size)) : std::string_view();
            out.kind = isDateType(type) && DateTime::parseIso(out.text, out.date) ? Variant::Kind::Date
                                                                                   : Variant::Kind::String;
            return;
        }
        case SQLITE_BLOB: {
            const void* data = sqlite3_column_blob(s, index);
            const int size = sqlite3_column_bytes(s, index);
            if (!data && size > 0) throwError(SQLITE_NOMEM);
            out.kind = Variant::Kind::Bytes;
            out.text = size > 0 ? std::string_view(static_cast<const char*>(data), static_cast<size_t>(size))
                                : std::string_view();
            return;
        }
        default:
            out.kind = Variant::Kind::Null;
            out.text = {};
            return;
    }
}

void SqliteRecordset::readField(int index, FieldValue& out) const {
    current(index);
    decode(index, out);
}




std::vector<std::string> SqliteRecordset::filesRead() const {
    std::vector<std::string> files;
    for (int i = 0; const char* name = sqlite3_db_name(db_, i); ++i) {
        const char* file = sqlite3_db_filename(db_, name);
        if (file && *file) files.emplace_back(file);  // in-memory and temp have none
    }
    return files;
}

}  // namespace varnelo
