// A record source over Qt's SQL module.
#include "varnelo/qt/qsql_query_recordset.h"

#include <QDate>
#include <QDateTime>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlRecord>
#include <QTime>

#include <sqlite3.h>

#include "sources/source_errors.h"

namespace varnelo::qt {

namespace {
constexpr int32_t kProviderError = static_cast<int32_t>(0x80004005u);

DateTime toDateTime(const QDate& d, const QTime& t) {
    DateTime out;
    out.year = d.year();
    out.month = d.month();
    out.day = d.day();
    if (t.isValid()) {
        out.hour = t.hour();
        out.minute = t.minute();
        out.second = t.second();
        if (t.msec() != 0) {
            out.nanosecond = t.msec() * 1000000;
            out.fractionDigits = 3;
        }
    }
    return out;
}

// Whether SQLite would let sql write, asked of the connection's own handle
// without running it. Other drivers cannot tell before running.
bool sqliteWouldWrite(const QSqlDatabase& db, const QString& sql) {
    if (db.driverName() != QLatin1String("QSQLITE") || !db.driver()) return false;
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0) return false;
    sqlite3* con = *static_cast<sqlite3* const*>(handle.constData());
    if (!con) return false;
    const QByteArray text = sql.toUtf8();
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(con, text.constData(), static_cast<int>(text.size()), &stmt, nullptr) != SQLITE_OK) {
        return false;  // the driver's own prepare reports it
    }
    const bool writes = stmt && !sqlite3_stmt_readonly(stmt);
    sqlite3_finalize(stmt);
    return writes;
}
}  // namespace

QSqlQueryRecordset::QSqlQueryRecordset(const QSqlDatabase& db, const QString& sql)
    : db_(db), sql_(sql), query_(db) {
    refuseWrites();
    query_.setForwardOnly(true);
    if (!query_.prepare(sql_)) fail(query_);
}

QSqlQueryRecordset::QSqlQueryRecordset(const QSqlDatabase& db, QSqlQuery prepared)
    : db_(db), sql_(prepared.lastQuery()), bound_(prepared.boundValues()), query_(std::move(prepared)) {
    refuseWrites();
    query_.setForwardOnly(true);
}

void QSqlQueryRecordset::refuseWrites() const {
    // Every pass and every count runs the query again: a writing one would write each time.
    if (sqliteWouldWrite(db_, sql_)) {
        throw Error(kProviderError, "QtSql",
                    "QtSql error: The query would change the database; only read-only queries give rows (" +
                        db_.databaseName().toStdString() + ")");
    }
}

void QSqlQueryRecordset::fail(const QSqlQuery& q) const {
    throw Error(kProviderError, "QtSql",
                "QtSql error: " + q.lastError().text().toStdString() + " (" + db_.databaseName().toStdString() + ")");
}

int QSqlQueryRecordset::typeCodeFor(int id) {
    switch (id) {
        case QMetaType::Int:
        case QMetaType::Short:
        case QMetaType::UShort:
        case QMetaType::UInt: return adtype::kInteger;
        case QMetaType::LongLong:
        case QMetaType::ULongLong: return adtype::kBigInt;
        case QMetaType::Double:
        case QMetaType::Float: return adtype::kDouble;
        case QMetaType::Bool: return adtype::kBoolean;
        case QMetaType::QDate: return adtype::kDate;
        case QMetaType::QDateTime: return adtype::kDBTimeStamp;
        case QMetaType::QByteArray: return adtype::kLongVarBinary;
        default: return adtype::kVarChar;
    }
}

void QSqlQueryRecordset::start() const {
    query_.finish();
    if (!query_.exec()) fail(query_);
    if (!described_) {
        const QSqlRecord rec = query_.record();
        for (int i = 0; i < rec.count(); ++i) {
            names_.push_back(rec.fieldName(i).toStdString());
            types_.push_back(typeCodeFor(rec.field(i).metaType().id()));
        }
        described_ = true;
    }
    row_ = 0;
    moved_ = false;
    if (query_.next()) {
        at_ = At::Row;
    } else {
        if (query_.lastError().isValid()) fail(query_);
        at_ = At::End;
        count_ = 0;
    }
}

int64_t QSqlQueryRecordset::RecordCount() {
    if (at_ == At::End) return row_;
    if (count_ >= 0) return count_;
    QSqlQuery counter(db_);
    counter.setForwardOnly(true);
    if (!counter.prepare(sql_)) fail(counter);
    for (qsizetype i = 0; i < bound_.size(); ++i) counter.bindValue(static_cast<int>(i), bound_[i]);
    if (!counter.exec()) fail(counter);
    int64_t n = 0;
    while (counter.next()) ++n;
    if (counter.lastError().isValid()) fail(counter);
    count_ = n;
    return n;
}

void QSqlQueryRecordset::MoveNext() {
    fetchFirst();
    if (at_ != At::Row) throw sources::noCurrentRecord();
    moved_ = true;
    ++row_;
    if (query_.next()) return;
    if (query_.lastError().isValid()) {
        at_ = At::End;
        fail(query_);
    }
    at_ = At::End;
    count_ = row_;
}

void QSqlQueryRecordset::MoveFirst() {
    if (at_ == At::Pending || (at_ == At::Row && !moved_)) return;
    at_ = At::Pending;
    count_ = -1;
}

void QSqlQueryRecordset::MoveLast() {
    const int64_t n = RecordCount();
    if (n <= 0) return;
    if (at_ == At::End || (at_ == At::Row && row_ >= n)) MoveFirst();
    fetchFirst();
    while (at_ == At::Row && row_ < n - 1) MoveNext();
}

bool QSqlQueryRecordset::Bof() const {
    fetchFirst();
    return at_ == At::End && row_ == 0 && !moved_;
}

bool QSqlQueryRecordset::Eof() const {
    fetchFirst();
    return at_ == At::End;
}

int QSqlQueryRecordset::fieldCount() const {
    if (!described_) fetchFirst();
    return static_cast<int>(names_.size());
}

const std::string& QSqlQueryRecordset::fieldName(int index) const {
    return names_[sources::fieldIndex(index, fieldCount())];
}

int QSqlQueryRecordset::fieldType(int index) const {
    return types_[sources::fieldIndex(index, fieldCount())];
}

void QSqlQueryRecordset::current(int index) const {
    sources::fieldIndex(index, fieldCount());
    fetchFirst();
    if (at_ != At::Row) throw sources::noCurrentRecord();
}

Variant QSqlQueryRecordset::fieldValue(int index) const {
    current(index);
    const QVariant v = query_.value(index);
    if (v.isNull()) return Variant::null();
    switch (v.metaType().id()) {
        case QMetaType::Bool: return Variant(v.toBool());
        case QMetaType::Int:
        case QMetaType::Short:
        case QMetaType::UShort: return Variant(static_cast<int32_t>(v.toInt()));
        case QMetaType::UInt:
        case QMetaType::LongLong: return Variant(static_cast<int64_t>(v.toLongLong()));
        case QMetaType::ULongLong: {
            const qulonglong u = v.toULongLong();
            return u <= static_cast<qulonglong>(INT64_MAX) ? Variant(static_cast<int64_t>(u))
                                                          : Variant(static_cast<double>(u));
        }
        case QMetaType::Double:
        case QMetaType::Float: return Variant(v.toDouble());
        case QMetaType::QDate: return Variant(toDateTime(v.toDate(), QTime()));
        case QMetaType::QDateTime: {
            const QDateTime dt = v.toDateTime();
            return Variant(toDateTime(dt.date(), dt.time()));
        }
        case QMetaType::QByteArray: {
            const QByteArray b = v.toByteArray();
            return Variant(Bytes{std::string(b.constData(), static_cast<size_t>(b.size()))});
        }
        default: return Variant(v.toString().toStdString());
    }
}

std::vector<std::string> QSqlQueryRecordset::filesRead() const {
    if (db_.driverName() != QLatin1String("QSQLITE")) return {};
    const QString name = db_.databaseName();
    if (name.isEmpty() || name == QLatin1String(":memory:") || name.startsWith(QLatin1String("file:"))) return {};
    return {QFileInfo(name).absoluteFilePath().toStdString()};
}

}  // namespace varnelo::qt
