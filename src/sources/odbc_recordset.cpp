#include "varnelo/odbc_recordset.h"

#include <sql.h>
#include <sqlext.h>

#include <cstring>
#include <utility>

#include "sources/source_errors.h"
#include "sources/text_values.h"

namespace varnelo {

namespace {

constexpr const char* kErrorSource = "ODBC";
using WString = std::basic_string<SQLWCHAR>;

// UTF-8 to UTF-16; an ill-formed sequence becomes U+FFFD.
WString toWide(std::string_view s) {
    WString out;
    out.reserve(s.size() + 1);
    for (size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        char32_t cp = 0xFFFD;
        size_t len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
        if (len == 1) cp = b;
        if (len > 1 && i + len <= s.size()) {
            cp = b & (0x7F >> len);
            bool ok = true;
            for (size_t k = 1; k < len; ++k) {
                const auto c = static_cast<unsigned char>(s[i + k]);
                ok = ok && (c & 0xC0) == 0x80;
                cp = cp << 6 | (c & 0x3F);
            }
            static constexpr char32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
            if (!ok || cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = 0xFFFD, len = 1;
        } else if (len != 1) {
            len = 1;
        }
        i += len;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<SQLWCHAR>(0xD800 + (cp >> 10));
            out += static_cast<SQLWCHAR>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<SQLWCHAR>(cp);
        }
    }
    return out;
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | cp >> 6);
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | cp >> 12);
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | cp >> 18);
        out += static_cast<char>(0x80 | (cp >> 12 & 0x3F));
        out += static_cast<char>(0x80 | (cp >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// UTF-16 to UTF-8; a lone surrogate becomes U+FFFD.
void toUtf8(const SQLWCHAR* s, size_t n, std::string& out) {
    out.clear();
    out.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        char32_t cp = s[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < n && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        appendUtf8(out, cp);
    }
}

std::string trimmedBody(const std::string& query) {
    size_t end = query.size();
    while (end > 0 && (query[end - 1] == ';' || std::strchr(" \t\r\n\f\v", query[end - 1]))) --end;
    size_t start = 0;
    while (start < end && std::strchr(" \t\r\n\f\v", query[start])) ++start;
    return query.substr(start, end - start);
}

bool succeeded(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

// The diagnostic records of a handle as one Error.
[[noreturn]] void fail(SQLSMALLINT type, SQLHANDLE handle, const std::string& context) {
    std::string states, messages;
    for (SQLSMALLINT i = 1; handle; ++i) {
        SQLWCHAR state[6] = {};
        SQLINTEGER native = 0;
        SQLWCHAR text[2048];
        SQLSMALLINT length = 0;
        if (!succeeded(SQLGetDiagRecW(type, handle, i, state, &native, text, 2048, &length))) break;
        std::string s, m;
        toUtf8(state, 5, s);
        toUtf8(text, static_cast<size_t>(std::min<SQLSMALLINT>(length, 2047)), m);
        // The first error's state; a warning's (class 01) only when nothing else is there.
        if (states.empty() || (states.starts_with("01") && !s.starts_with("01"))) states = s;
        if (!messages.empty()) messages += "; ";
        messages += m;
    }
    if (states.empty()) states = "HY000", messages = "the driver gave no diagnostic";
    std::string description = "ODBC error " + states + ": " + messages;
    if (!context.empty()) description += " (" + context + ")";
    throw Error(kOdbcErrorNumber, kErrorSource, std::move(description));
}

void check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle, const std::string& context = {}) {
    if (!succeeded(rc)) fail(type, handle, context);
}

// A statement handle freed with its scope.
struct Statement {
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    explicit Statement(SQLHDBC dbc) { check(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt), SQL_HANDLE_DBC, dbc); }
    ~Statement() {
        if (stmt) SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
};

}  // namespace

struct OdbcRecordset::Handles {
    SQLHENV env = SQL_NULL_HENV;
    SQLHDBC dbc = SQL_NULL_HDBC;
    bool connected = false;
    std::unique_ptr<Statement> query;
    std::string raw;  // one value's bytes as SQLGetData hands them over
    static constexpr SQLLEN kChunk = 32768;
    char chunk[kChunk];

    ~Handles() {
        query.reset();
        if (connected) SQLDisconnect(dbc);
        if (dbc) SQLFreeHandle(SQL_HANDLE_DBC, dbc);
        if (env) SQLFreeHandle(SQL_HANDLE_ENV, env);
    }

    // One value in pieces. `terminator` is the size of the NUL the driver
    // puts after character data (0 for binary). False for NULL.
    bool getData(SQLUSMALLINT column, SQLSMALLINT cType, SQLLEN terminator) {
        raw.clear();
        const SQLLEN room = kChunk - terminator;  // even: wide characters stay whole
        for (;;) {
            SQLLEN indicator = 0;
            SQLRETURN rc = SQLGetData(query->stmt, column, cType, chunk, kChunk, &indicator);
            if (rc == SQL_NO_DATA) return true;  // every piece was read
            if (!succeeded(rc)) fail(SQL_HANDLE_STMT, query->stmt, "reading column " + std::to_string(column));
            if (indicator == SQL_NULL_DATA) return false;
            if (indicator == SQL_NO_TOTAL || indicator > room) {
                raw.append(chunk, static_cast<size_t>(room));  // a full piece; more follows
                continue;
            }
            raw.append(chunk, static_cast<size_t>(indicator));
            return true;
        }
    }
};

int OdbcRecordset::typeCodeFor(int sqlType) {
    switch (sqlType) {
        case SQL_BIT: return adtype::kBoolean;
        case SQL_TINYINT:
        case SQL_SMALLINT:
        case SQL_INTEGER: return adtype::kInteger;
        case SQL_BIGINT: return adtype::kBigInt;
        case SQL_NUMERIC:
        case SQL_DECIMAL: return adtype::kNumeric;
        case SQL_REAL:
        case SQL_FLOAT:
        case SQL_DOUBLE: return adtype::kDouble;
        case SQL_TYPE_DATE:
        case SQL_DATE: return adtype::kDate;
        case SQL_TYPE_TIMESTAMP:
        case SQL_TIMESTAMP:
        case -155:  // SQL_SS_TIMESTAMPOFFSET: a time stamp with its offset
            return adtype::kDBTimeStamp;
        case SQL_CHAR:
        case SQL_WCHAR: return adtype::kChar;
        case SQL_WVARCHAR:
        case SQL_WLONGVARCHAR: return adtype::kVarWChar;
        case SQL_BINARY:
        case SQL_VARBINARY:
        case SQL_LONGVARBINARY: return adtype::kLongVarBinary;
        default: return adtype::kVarChar;  // varchar, long varchar, time, GUID, ...
    }
}

OdbcRecordset::OdbcRecordset(const std::string& connectionString, std::string query)
    : h_(std::make_unique<Handles>()), query_(std::move(query)) {
    body_ = trimmedBody(query_);
    if (body_.empty()) throw Error(kOdbcErrorNumber, kErrorSource, "The query holds no SQL statement");
    if (!succeeded(SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &h_->env)))
        throw Error(kOdbcErrorNumber, kErrorSource, "ODBC error HY001: no ODBC environment (out of memory)");
    check(SQLSetEnvAttr(h_->env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0),
          SQL_HANDLE_ENV, h_->env);
    check(SQLAllocHandle(SQL_HANDLE_DBC, h_->env, &h_->dbc), SQL_HANDLE_ENV, h_->env);
    WString wide = toWide(connectionString);
    check(SQLDriverConnectW(h_->dbc, nullptr, wide.data(), static_cast<SQLSMALLINT>(wide.size()), nullptr, 0,
                            nullptr, SQL_DRIVER_NOPROMPT),
          SQL_HANDLE_DBC, h_->dbc, "connecting");
    h_->connected = true;
    // A hint that lets a driver open a read-only transaction; not every one can.
    SQLSetConnectAttr(h_->dbc, SQL_ATTR_ACCESS_MODE, reinterpret_cast<SQLPOINTER>(SQL_MODE_READ_ONLY), 0);

    // Described before it runs: a statement without columns (one that would
    // change the database) is refused before it does anything.
    prepare();
    SQLHSTMT s = h_->query->stmt;
    SQLSMALLINT count = 0;
    check(SQLNumResultCols(s, &count), SQL_HANDLE_STMT, s);
    if (count <= 0)
        throw Error(kOdbcErrorNumber, kErrorSource,
                    "The query returns no columns; only a query that gives rows can be exported: " + query_);
    columns_.resize(static_cast<size_t>(count));
    for (SQLSMALLINT i = 0; i < count; ++i) {
        SQLWCHAR name[1024];
        SQLSMALLINT nameLength = 0, sqlType = 0, digits = 0, nullable = 0;
        SQLULEN size = 0;
        check(SQLDescribeColW(s, static_cast<SQLUSMALLINT>(i + 1), name, 1024, &nameLength, &sqlType, &size,
                              &digits, &nullable),
              SQL_HANDLE_STMT, s);
        Column& c = columns_[static_cast<size_t>(i)];
        toUtf8(name, static_cast<size_t>(std::min<SQLSMALLINT>(nameLength, 1023)), c.name);
        c.type = typeCodeFor(sqlType);
        switch (c.type) {
            case adtype::kBoolean: c.read = Read::Bit; break;
            case adtype::kInteger: c.read = Read::Long; break;
            case adtype::kBigInt: c.read = Read::BigInt; break;
            case adtype::kDouble: c.read = Read::Double; break;
            case adtype::kNumeric: c.read = Read::Numeric; break;
            case adtype::kDate:
            case adtype::kDBTimeStamp: c.read = Read::Date; break;
            case adtype::kLongVarBinary: c.read = Read::Binary; break;
            default: c.read = Read::Text; break;
        }
    }
    execute();
    hasRows_ = fetchRow();
    eof_ = !hasRows_;
}

OdbcRecordset::~OdbcRecordset() = default;

void OdbcRecordset::prepare() {
    h_->query = std::make_unique<Statement>(h_->dbc);
    SQLHSTMT s = h_->query->stmt;
    // Hints only: a driver that offers nothing else keeps its own.
    SQLSetStmtAttr(s, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(SQL_CURSOR_FORWARD_ONLY), 0);
    SQLSetStmtAttr(s, SQL_ATTR_CONCURRENCY, reinterpret_cast<SQLPOINTER>(SQL_CONCUR_READ_ONLY), 0);
    WString sql = toWide(body_);
    check(SQLPrepareW(s, sql.data(), static_cast<SQLINTEGER>(sql.size())), SQL_HANDLE_STMT, s);
}

void OdbcRecordset::execute() const {
    SQLHSTMT s = h_->query->stmt;
    SQLFreeStmt(s, SQL_CLOSE);  // the previous run's cursor, if any
    SQLRETURN rc = SQLExecute(s);
    if (rc != SQL_NO_DATA) check(rc, SQL_HANDLE_STMT, s);
}

bool OdbcRecordset::fetchRow() const {
    eof_ = true;  // until the row is read whole
    SQLHSTMT s = h_->query->stmt;
    SQLRETURN rc = SQLFetch(s);
    if (rc == SQL_NO_DATA) return false;
    if (!succeeded(rc)) fail(SQL_HANDLE_STMT, s, "fetching row " + std::to_string(row_ + 1));
    readRow();
    eof_ = false;
    return true;
}

// Every value of the row, in column order: many drivers read a row's
// values only once and only forward.
void OdbcRecordset::readRow() const {
    for (int i = 0; i < fieldCount(); ++i) readColumn(i);
}

void OdbcRecordset::readColumn(int index) const {
    Column& c = columns_[static_cast<size_t>(index)];
    FieldValue& v = c.value;
    SQLHSTMT s = h_->query->stmt;
    const auto column = static_cast<SQLUSMALLINT>(index + 1);
    // The column's name goes into the message only on failure: this runs for every value.
    auto check = [&](SQLRETURN rc) {
        if (!succeeded(rc)) fail(SQL_HANDLE_STMT, s, "row " + std::to_string(row_ + 1) + ", column \"" + c.name + "\"");
    };
    SQLLEN indicator = 0;
    v.kind = Variant::Kind::Null;
    switch (c.read) {
        case Read::Bit: {
            SQLCHAR b = 0;
            check(SQLGetData(s, column, SQL_C_BIT, &b, sizeof b, &indicator));
            if (indicator == SQL_NULL_DATA) return;
            v.kind = Variant::Kind::Boolean;
            v.boolean = b != 0;
            return;
        }
        case Read::Long: {
            SQLINTEGER n = 0;
            check(SQLGetData(s, column, SQL_C_SLONG, &n, sizeof n, &indicator));
            if (indicator == SQL_NULL_DATA) return;
            v.kind = Variant::Kind::Int32;
            v.integer = n;
            return;
        }
        case Read::BigInt: {
            SQLBIGINT n = 0;
            check(SQLGetData(s, column, SQL_C_SBIGINT, &n, sizeof n, &indicator));
            if (indicator == SQL_NULL_DATA) return;
            v.kind = Variant::Kind::Int64;
            v.integer = n;
            return;
        }
        case Read::Double: {
            SQLDOUBLE d = 0;
            check(SQLGetData(s, column, SQL_C_DOUBLE, &d, sizeof d, &indicator));
            if (indicator == SQL_NULL_DATA) return;
            v.kind = Variant::Kind::Double;
            v.number = d;
            return;
        }
        case Read::Numeric:
            if (!h_->getData(column, SQL_C_CHAR, 1)) return;
            c.buffer = h_->raw;
            sources::numericFromText(c.buffer, v);
            return;
        case Read::Binary:
            if (!h_->getData(column, SQL_C_BINARY, 0)) return;
            c.buffer = h_->raw;
            v.kind = Variant::Kind::Bytes;
            v.text = c.buffer;
            return;
        case Read::Date:
        case Read::Text:
            if (!h_->getData(column, SQL_C_WCHAR, sizeof(SQLWCHAR))) return;
            toUtf8(reinterpret_cast<const SQLWCHAR*>(h_->raw.data()), h_->raw.size() / sizeof(SQLWCHAR), c.buffer);
            if (c.read == Read::Date) {
                sources::dateFromText(c.buffer, v);
            } else {
                v.kind = Variant::Kind::String;
                v.text = c.buffer;
            }
            return;
    }
}

void OdbcRecordset::position() const {
    if (!restartPending_) return;
    restartPending_ = false;
    row_ = 0;
    hasRows_ = false;
    eof_ = true;
    execute();
    hasRows_ = fetchRow();
}

int64_t OdbcRecordset::RecordCount() {
    if (count_ >= 0) return count_;
    try {
        Statement count(h_->dbc);
        WString sql = toWide("SELECT COUNT(*) FROM (\n" + body_ + "\n) q");
        check(SQLExecDirectW(count.stmt, sql.data(), static_cast<SQLINTEGER>(sql.size())), SQL_HANDLE_STMT,
              count.stmt);
        check(SQLFetch(count.stmt), SQL_HANDLE_STMT, count.stmt);
        SQLBIGINT n = 0;
        SQLLEN indicator = 0;
        check(SQLGetData(count.stmt, 1, SQL_C_SBIGINT, &n, sizeof n, &indicator), SQL_HANDLE_STMT, count.stmt);
        if (indicator != SQL_NULL_DATA) return count_ = n;
    } catch (const Error&) {
        // Not every statement can stand in a subquery: fetch its rows instead.
    }
    Statement again(h_->dbc);
    WString sql = toWide(body_);
    check(SQLExecDirectW(again.stmt, sql.data(), static_cast<SQLINTEGER>(sql.size())), SQL_HANDLE_STMT,
          again.stmt);
    int64_t n = 0;
    SQLRETURN rc;
    while ((rc = SQLFetch(again.stmt)) != SQL_NO_DATA) {
        check(rc, SQL_HANDLE_STMT, again.stmt);
        ++n;
    }
    return count_ = n;
}

void OdbcRecordset::MoveNext() {
    position();
    if (eof_) throw sources::noCurrentRecord();
    ++row_;
    fetchRow();
}

void OdbcRecordset::MoveFirst() {
    if (restartPending_) return;
    if (row_ == 0 && !eof_) return;  // already on the first row, its values read
    restartPending_ = true;
}

void OdbcRecordset::MoveLast() {
    const int64_t n = RecordCount();
    if (n <= 0) return;
    position();
    if (eof_ || row_ > n - 1) {
        restartPending_ = true;  // forward only: start over
        position();
    }
    while (!eof_ && row_ < n - 1) {
        ++row_;
        if (!fetchRow()) {
            // Fewer rows than counted: stay on the last one there was.
            count_ = row_;
            restartPending_ = true;
            position();
            while (!eof_ && row_ < count_ - 1) {
                ++row_;
                fetchRow();
            }
            return;
        }
    }
}

bool OdbcRecordset::Bof() const {
    position();
    return !hasRows_;
}

bool OdbcRecordset::Eof() const {
    position();
    return eof_;
}

const std::string& OdbcRecordset::fieldName(int index) const {
    return columns_[sources::fieldIndex(index, fieldCount())].name;
}

int OdbcRecordset::fieldType(int index) const {
    return columns_[sources::fieldIndex(index, fieldCount())].type;
}

void OdbcRecordset::checkCurrent(int index) const {
    position();
    if (eof_) throw sources::noCurrentRecord();
    sources::fieldIndex(index, fieldCount());
}

void OdbcRecordset::readField(int index, FieldValue& out) const {
    checkCurrent(index);
    out = columns_[static_cast<size_t>(index)].value;
}




}  // namespace varnelo
