#include "varnelo/sqlite_recordset.h"

#include <sqlite3.h>

#include <cctype>
#include <charconv>
#include <limits>
#include <string_view>
#include <utility>

#include "sources/source_errors.h"

namespace varnelo {

namespace {

constexpr const char* kErrorSource = "SQLite";

[[noreturn]] void throwSqlite(sqlite3* db, int rc, const std::string& context = {}) {
    std::string description = "SQLite error " + std::to_string(rc) + ": ";
    description += db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
    if (!context.empty()) description += " (" + context + ")";
    throw Error(kSqliteErrorNumber, kErrorSource, std::move(description));
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

void appendHex(std::string& out, const void* data, int size) {
    static const char digits[] = "0123456789ABCDEF";
    const auto* bytes = static_cast<const unsigned char*>(data);
    size_t start = out.size();
    out.resize(start + 2 * static_cast<size_t>(size));
    char* p = out.data() + start;
    for (int i = 0; i < size; ++i) {
        *p++ = digits[bytes[i] >> 4];
        *p++ = digits[bytes[i] & 0x0F];
    }
}

void appendInt64(std::string& out, int64_t v) {
    char buf[24];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    out.append(buf, r.ptr);
}

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
    stmt_.reset();  // before the connection closes
}

SqliteRecordset::StmtPtr SqliteRecordset::prepare(const std::string& sql, bool& several) const {
    sqlite3_stmt* raw = nullptr;
    const char* tail = nullptr;
    int rc = sqlite3_prepare_v2(db_, sql.c_str(), static_cast<int>(sql.size()) + 1, &raw, &tail);
    StmtPtr stmt(raw);
    if (rc != SQLITE_OK) throwSqlite(db_, rc);
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
    // MoveFirst and RecordCount run the statement again: it must not write.
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

    restart();
    // Expressions have no declared type: the first row's values tell.
    for (int i = 0; i < columns; ++i) {
        if (types_[static_cast<size_t>(i)] < 0)
            types_[static_cast<size_t>(i)] =
                hasRows_ ? typeFromStorage(sqlite3_column_type(s, i)) : adtype::kVariant;
    }
}

bool SqliteRecordset::step() {
    int rc = sqlite3_step(stmt_.get());
    if (rc == SQLITE_ROW) return true;
    eof_ = true;
    if (rc == SQLITE_DONE) return false;
    throwSqlite(db_, rc);
}

void SqliteRecordset::restart() {
    // reset() repeats the error of a failed step, which was reported then.
    sqlite3_reset(stmt_.get());
    row_ = 0;
    hasRows_ = false;  // stays so when the step throws
    hasRows_ = step();
    eof_ = !hasRows_;
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
    if (rc != SQLITE_DONE) throwSqlite(db_, rc);
    return n;
}

int64_t SqliteRecordset::RecordCount() {
    if (count_ < 0) count_ = countRows();
    return count_;
}

void SqliteRecordset::MoveNext() {
    if (eof_) throw sources::noCurrentRecord();
    if (step()) ++row_;
}

void SqliteRecordset::MoveFirst() { restart(); }

void SqliteRecordset::MoveLast() {
    int64_t n = RecordCount();
    if (n <= 0) return;
    // Forward only: a cursor past the last row starts over.
    if (eof_ || row_ > n - 1) restart();
    while (!eof_ && row_ < n - 1) {
        if (step()) ++row_;
    }
    if (eof_ && hasRows_) {
        // Fewer rows than counted: the data changed since the count. Take the
        // rows that came as the count and walk to the last of them.
        count_ = row_ + 1;
        restart();
        while (!eof_ && row_ < count_ - 1) {
            if (step()) ++row_;
        }
    }
}

const std::string& SqliteRecordset::fieldName(int index) const {
    if (index < 0 || index >= fieldCount()) throw sources::itemNotFound();
    return names_[static_cast<size_t>(index)];
}

int SqliteRecordset::fieldType(int index) const {
    if (index < 0 || index >= fieldCount()) throw sources::itemNotFound();
    return types_[static_cast<size_t>(index)];
}

void SqliteRecordset::checkCurrent(int index) const {
    if (eof_) throw sources::noCurrentRecord();
    if (index < 0 || index >= fieldCount()) throw sources::itemNotFound();
}

Variant SqliteRecordset::fieldValue(int index) const {
    checkCurrent(index);
    sqlite3_stmt* s = stmt_.get();
    const int type = types_[static_cast<size_t>(index)];
    switch (sqlite3_column_type(s, index)) {
        case SQLITE_INTEGER: {
            int64_t v = sqlite3_column_int64(s, index);
            if (type == adtype::kBoolean && (v == 0 || v == 1)) return Variant(v == 1);
            if (type == adtype::kInteger && v >= std::numeric_limits<int32_t>::min() &&
                v <= std::numeric_limits<int32_t>::max())
                return Variant(static_cast<int32_t>(v));
            return Variant(v);
        }
        case SQLITE_FLOAT: return Variant(sqlite3_column_double(s, index));
        case SQLITE_TEXT: {
            const char* text = reinterpret_cast<const char*>(sqlite3_column_text(s, index));
            std::string_view sv(text, static_cast<size_t>(sqlite3_column_bytes(s, index)));
            DateTime d;
            if (isDateType(type) && DateTime::parseIso(sv, d)) return Variant(d);
            return Variant(sv);
        }
        case SQLITE_BLOB: {
            const void* data = sqlite3_column_blob(s, index);
            std::string hex;
            appendHex(hex, data, sqlite3_column_bytes(s, index));
            return Variant(std::move(hex));
        }
        default: return Variant::null();
    }
}

// The export hot path: the same text as fieldValue(index).toText(), read
// straight from the statement.
bool SqliteRecordset::appendFieldText(int index, std::string& out) const {
    checkCurrent(index);
    sqlite3_stmt* s = stmt_.get();
    switch (sqlite3_column_type(s, index)) {
        case SQLITE_INTEGER: {
            int64_t v = sqlite3_column_int64(s, index);
            if (types_[static_cast<size_t>(index)] == adtype::kBoolean && (v == 0 || v == 1))
                Variant(v == 1).appendText(out);
            else
                appendInt64(out, v);
            return true;
        }
        case SQLITE_FLOAT: appendDouble(out, sqlite3_column_double(s, index)); return true;
        case SQLITE_TEXT: {
            const char* text = reinterpret_cast<const char*>(sqlite3_column_text(s, index));
            std::string_view sv(text, static_cast<size_t>(sqlite3_column_bytes(s, index)));
            DateTime d;
            if (isDateType(types_[static_cast<size_t>(index)]) && DateTime::parseIso(sv, d))
                Variant(d).appendText(out);
            else
                out.append(sv);
            return true;
        }
        case SQLITE_BLOB: {
            const void* data = sqlite3_column_blob(s, index);
            appendHex(out, data, sqlite3_column_bytes(s, index));
            return true;
        }
        default: return false;
    }
}

bool SqliteRecordset::fieldIsBlank(int index) const {
    checkCurrent(index);
    sqlite3_stmt* s = stmt_.get();
    switch (sqlite3_column_type(s, index)) {
        case SQLITE_NULL: return true;
        case SQLITE_TEXT:
        case SQLITE_BLOB: return sqlite3_column_bytes(s, index) == 0;
        default: return false;
    }
}

}  // namespace varnelo
