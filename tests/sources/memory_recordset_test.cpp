// MemoryRecordset: the in-memory source the writer and control tests stand on.
#include "varnelo/memory_recordset.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <tuple>

#include "support/test_support.h"
#include "varnelo/error.h"

namespace varnelo {
namespace {

using testing_support::errorOf;

// A walk reads every row; Null appends no text and says so; Null and '' are blank; without a current row reads and
// moves fail with 3021; an empty source stays at both ends.
TEST(MemoryRecordset, WalksFromTheFirstRowToTheEnd) {
    MemoryRecordset rs({"id", "name"}, {adtype::kInteger, adtype::kVarChar},
                       {{1, "one"}, {2, Variant::null()}, {3, ""}});
    EXPECT_EQ(rs.RecordCount(), 3);
    std::string seen;
    for (; !rs.Eof(); rs.MoveNext()) {
        seen += rs.Fields()[0].Value().toText();
        seen += rs.Fields()[1].AppendValueText(seen) ? "+" : "-";
        seen += rs.Fields()[1].IsBlank() ? "b " : " ";
    }
    EXPECT_EQ(seen, "1one+ 2-b 3+b ");
    EXPECT_NO_THROW(rs.moveTo(3));
    MemoryRecordset empty({"a"}, {adtype::kVarChar}, {});
    empty.MoveFirst();
    empty.MoveLast();
    EXPECT_TRUE(empty.Bof() && empty.Eof() && !rs.Bof());
    const Error e = errorOf([&] { rs.MoveNext(); });
    EXPECT_EQ(std::tuple(e.number(), e.source(), e.description()),
              std::tuple(3021, "ADODB.Recordset", standardErrorText(err::kNoCurrentRecord)));
    for (auto fails : std::initializer_list<std::function<void()>>{
             [&] { rs.Fields()[0].Value(); }, [&] { std::string s; rs.Fields()[1].AppendValueText(s); },
             [&] { rs.moveTo(4); }, [&] { rs.moveTo(-1), rs.Fields()[0].Value(); }, [&] { rs.moveTo(-2); },
             [&] { empty.MoveNext(); }})
        EXPECT_EQ(errorOf(fails).number(), 3021);
    rs.MoveNext();
    EXPECT_EQ(rs.position(), 0) << "from before the first row";
    rs.MoveLast();
    EXPECT_EQ(rs.Fields()[0].Value(), Variant(int32_t{3}));
    // A field index outside 0..count-1 is 3265, through the collection or straight at the source.
    for (auto fails : std::initializer_list<std::function<void()>>{
             [&] { rs.Fields()[2]; }, [&] { rs.Fields()[-1]; }, [&] { rs.fieldName(2); }, [&] { rs.fieldType(-1); },
             [&] { rs.fieldValue(2); }})
        EXPECT_EQ(errorOf(fails).number(), 3265);
}

// Rows or types that do not match the columns are refused, naming the row.
TEST(MemoryRecordset, RefusesRowsThatDoNotMatchTheColumns) {
    const Error e = errorOf([] { MemoryRecordset({"a", "b"}, {3, 200}, {{1, "x"}, {2}}); });
    EXPECT_EQ(e.number(), err::kInvalidProcedureCall);
    EXPECT_NE(e.description().find("row 2"), std::string::npos) << e.description();
    EXPECT_EQ(errorOf([] { MemoryRecordset({"a", "b"}, {3}, {}); }).number(), err::kInvalidProcedureCall);
}

}  // namespace
}  // namespace varnelo
