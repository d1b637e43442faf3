#include "varnelo/memory_recordset.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_support.h"
#include "varnelo/error.h"

namespace varnelo {
namespace {

using testing_support::errorOf;

MemoryRecordset threeRows() {
    return MemoryRecordset({"id", "name"}, {adtype::kInteger, adtype::kVarChar},
                           {{Variant(int32_t{1}), Variant("one")},
                            {Variant(int32_t{2}), Variant::null()},
                            {Variant(int32_t{3}), Variant("")}},
                           "SELECT id, name FROM t");
}

template <class F>
void expectNoCurrentRecord(F&& action) {
    const Error e = errorOf(action);
    EXPECT_EQ(e.number(), 3021);
    EXPECT_EQ(e.source(), "ADODB.Recordset");
    EXPECT_EQ(e.description(), standardErrorText(err::kNoCurrentRecord));
}

TEST(MemoryRecordset, WalksFromTheFirstRowToTheEnd) {
    MemoryRecordset rs = threeRows();
    EXPECT_EQ(rs.RecordCount(), 3);
    EXPECT_EQ(rs.Source(), "SELECT id, name FROM t");
    EXPECT_FALSE(rs.Bof() || rs.Eof());
    EXPECT_EQ(rs.Fields().Count(), 2);
    EXPECT_EQ(rs.Fields()[0].Type(), adtype::kInteger);

    std::vector<int32_t> seen;
    for (; !rs.Eof(); rs.MoveNext()) seen.push_back(rs.Fields()[0].Value().asInt32());
    EXPECT_EQ(seen, (std::vector<int32_t>{1, 2, 3}));
    EXPECT_FALSE(rs.Bof());

    expectNoCurrentRecord([&] { rs.MoveNext(); });
    expectNoCurrentRecord([&] { rs.Fields()[0].Value(); });
    expectNoCurrentRecord([&] { std::string s; rs.Fields()[1].AppendValueText(s); });
    EXPECT_EQ(rs.Fields()[1].Name(), "name");  // names stay readable without a current row

    rs.MoveFirst();
    EXPECT_EQ(rs.Fields()[0].Value(), Variant(int32_t{1}));
    rs.MoveLast();
    EXPECT_EQ(rs.Fields()[0].Value(), Variant(int32_t{3}));
}

TEST(MemoryRecordset, CursorBeforeFirstAfterLastAndOnEmpty) {
    MemoryRecordset rs = threeRows();
    rs.moveTo(-1);
    EXPECT_TRUE(rs.Bof());
    EXPECT_FALSE(rs.Eof());
    expectNoCurrentRecord([&] { rs.Fields()[0].Value(); });
    rs.MoveNext();
    EXPECT_EQ(rs.position(), 0);
    rs.moveTo(3);
    EXPECT_TRUE(rs.Eof());
    expectNoCurrentRecord([&] { rs.moveTo(4); });
    expectNoCurrentRecord([&] { rs.moveTo(-2); });

    // Empty: at both ends, where moving to the first or last row keeps it.
    MemoryRecordset empty({"a"}, {adtype::kVarChar}, {});
    EXPECT_EQ(empty.RecordCount(), 0);
    EXPECT_NO_THROW(empty.MoveFirst());
    EXPECT_NO_THROW(empty.MoveLast());
    EXPECT_TRUE(empty.Bof() && empty.Eof());
    expectNoCurrentRecord([&] { empty.MoveNext(); });
}

TEST(MemoryRecordset, TextAndBlankKeepNullApartFromEmptyText) {
    MemoryRecordset rs({"v"}, {adtype::kVariant},
                       {{Variant::null()}, {Variant("")}, {Variant()}, {Variant(2.5)}});
    const struct { bool appended; std::string text; bool blank; } expected[] = {
        {false, "", true}, {true, "", true}, {true, "", true}, {true, "2.5", false}};
    for (const auto& e : expected) {
        std::string out = "x";
        EXPECT_EQ(rs.Fields()[0].AppendValueText(out), e.appended);
        EXPECT_EQ(out, "x" + e.text);
        EXPECT_EQ(rs.Fields()[0].IsBlank(), e.blank);
        rs.MoveNext();
    }
}

TEST(MemoryRecordset, RefusesRowsThatDoNotMatchTheColumns) {
    const Error e = errorOf([] {
        MemoryRecordset({"a", "b"}, {3, 200}, {{Variant(int32_t{1}), Variant("x")}, {Variant(int32_t{2})}});
    });
    EXPECT_EQ(e.number(), err::kInvalidProcedureCall);
    EXPECT_NE(e.description().find("row 2"), std::string::npos) << e.description();
    EXPECT_EQ(errorOf([] { MemoryRecordset({"a", "b"}, {3}, {}); }).number(), err::kInvalidProcedureCall);
}

}  // namespace
}  // namespace varnelo
