#include "varnelo/memory_recordset.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "varnelo/error.h"

namespace varnelo {
namespace {

const char* const kNoCurrentRecordText =
    "Either BOF or EOF is True, or the current record has been deleted. "
    "Requested operation requires a current record.";

MemoryRecordset threeRows() {
    return MemoryRecordset({"id", "name"}, {adtype::kInteger, adtype::kVarChar},
                           {{Variant(int32_t{1}), Variant("one")},
                            {Variant(int32_t{2}), Variant::null()},
                            {Variant(int32_t{3}), Variant("")}},
                           "SELECT id, name FROM t");
}

void expectNoCurrentRecord(const std::function<void()>& action) {
    try {
        action();
        FAIL() << "expected error 3021";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), 3021);
        EXPECT_EQ(e.description(), kNoCurrentRecordText);
    }
}

TEST(MemoryRecordset, WalksFromTheFirstRowToTheEnd) {
    MemoryRecordset rs = threeRows();
    EXPECT_EQ(rs.RecordCount(), 3);
    EXPECT_EQ(rs.Source(), "SELECT id, name FROM t");
    EXPECT_FALSE(rs.Bof());
    EXPECT_FALSE(rs.Eof());
    EXPECT_EQ(rs.Fields().Count(), 2);
    EXPECT_EQ(rs.Fields()[1].Name(), "name");
    EXPECT_EQ(rs.Fields()[0].Type(), adtype::kInteger);

    std::vector<int32_t> seen;
    while (!rs.Eof()) {
        seen.push_back(rs.Fields()[0].Value().asInt32());
        rs.MoveNext();
    }
    EXPECT_EQ(seen, (std::vector<int32_t>{1, 2, 3}));
    EXPECT_FALSE(rs.Bof());

    expectNoCurrentRecord([&] { rs.MoveNext(); });
    expectNoCurrentRecord([&] { rs.Fields()[0].Value(); });
    expectNoCurrentRecord([&] { std::string s; rs.Fields()[1].AppendValueText(s); });
    // Names and types stay readable without a current row.
    EXPECT_EQ(rs.Fields()[0].Name(), "id");

    rs.MoveFirst();
    EXPECT_EQ(rs.Fields()[0].Value(), Variant(int32_t{1}));
    rs.MoveLast();
    EXPECT_EQ(rs.Fields()[0].Value(), Variant(int32_t{3}));
}

TEST(MemoryRecordset, LoopFromThirdRowFailsPastTheEnd) {
    // An export of RecordCount rows that starts on row 3 runs off the end.
    MemoryRecordset rs = threeRows();
    rs.moveTo(2);
    int64_t exported = 0;
    expectNoCurrentRecord([&] {
        for (int64_t i = 1; i <= rs.RecordCount(); ++i) {
            rs.Fields()[0].Value();
            ++exported;
            rs.MoveNext();
        }
    });
    EXPECT_EQ(exported, 1);
}

TEST(MemoryRecordset, PositionsBeforeFirstAndAfterLast) {
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
}

TEST(MemoryRecordset, EmptyIsAtBothEnds) {
    MemoryRecordset rs({"a"}, {adtype::kVarChar}, {});
    EXPECT_EQ(rs.RecordCount(), 0);
    EXPECT_TRUE(rs.Bof());
    EXPECT_TRUE(rs.Eof());
    EXPECT_NO_THROW(rs.MoveFirst());
    EXPECT_NO_THROW(rs.MoveLast());
    EXPECT_TRUE(rs.Bof() && rs.Eof());
    expectNoCurrentRecord([&] { rs.MoveNext(); });
}

TEST(MemoryRecordset, TextAndBlankKeepNullApartFromEmptyText) {
    MemoryRecordset rs({"v"}, {adtype::kVariant},
                       {{Variant::null()}, {Variant("")}, {Variant()}, {Variant(2.5)}});
    struct Expect { bool appended; std::string text; bool blank; };
    const Expect expected[] = {{false, "", true}, {true, "", true}, {true, "", true}, {true, "2.5", false}};
    for (const Expect& e : expected) {
        std::string out = "x";
        EXPECT_EQ(rs.Fields()[0].AppendValueText(out), e.appended);
        EXPECT_EQ(out, "x" + e.text);
        EXPECT_EQ(rs.Fields()[0].IsBlank(), e.blank);
        rs.MoveNext();
    }
}

TEST(MemoryRecordset, RefusesRowsThatDoNotMatchTheColumns) {
    try {
        MemoryRecordset rs({"a", "b"}, {3, 200}, {{Variant(int32_t{1}), Variant("x")}, {Variant(int32_t{2})}});
        FAIL() << "expected an error";
    } catch (const Error& e) {
        EXPECT_EQ(e.number(), err::kInvalidProcedureCall);
        EXPECT_NE(e.description().find("row 2"), std::string::npos) << e.description();
    }
    EXPECT_THROW(MemoryRecordset({"a", "b"}, {3}, {}), Error);
}

}  // namespace
}  // namespace varnelo
