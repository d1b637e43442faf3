// The compound file's sector counts: the FAT covers every sector, itself and the DIFAT included, none to spare.
#include <gtest/gtest.h>

#include <cstdint>

#include "writers/xls/compound_file.h"

namespace varnelo::xls {
namespace {

TEST(CompoundLayout, TheFatCoversEverySectorAndNoMore) {
    // Stream sizes around the points where one more FAT or DIFAT sector is due.
    for (uint64_t sectors : {0ull, 1ull, 7ull, 8ull, 125ull, 126ull, 127ull, 13'842ull, 13'843ull,
                             29'970ull, 29'971ull, 4'194'000ull}) {
        for (int64_t delta : {-1, 0, 1}) {
            const uint64_t size = sectors * 512 + static_cast<uint64_t>(delta + 1);
            SCOPED_TRACE(size);
            const CompoundLayout l = compoundLayout(size);
            EXPECT_EQ(l.streamSize, size < 4096 ? 4096 : size) << "short streams are padded to the cutoff";
            EXPECT_EQ(l.streamSectors, (l.streamSize + 511) / 512);
            const uint64_t total = uint64_t{l.streamSectors} + 1 + l.fatSectors + l.difatSectors;
            EXPECT_GE(uint64_t{l.fatSectors} * 128, total);
            EXPECT_LT(uint64_t{l.fatSectors - 1} * 128, total) << "no FAT sector to spare";
            const uint64_t listed = 109 + uint64_t{l.difatSectors} * 127;
            EXPECT_GE(listed, l.fatSectors);
            EXPECT_TRUE(l.difatSectors == 0 || listed - 127 < l.fatSectors) << "no DIFAT sector to spare";
            EXPECT_EQ(l.fileSize(), 512 * (total + 1));
        }
    }
}

}  // namespace
}  // namespace varnelo::xls
