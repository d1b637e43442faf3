// EntryPacker: every kind of file comes back as it went in, deflated only when that made it smaller.
#include "zip/entry_packer.h"

#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <gtest/gtest.h>

#include <string>

#include "support/test_support.h"

namespace varnelo {
namespace {

using namespace testing_support;

std::string noise(size_t n, uint32_t seed) {
    std::string s(n, '\0');
    for (char& c : s) c = static_cast<char>((seed = seed * 1664525u + 1013904223u) >> 24);
    return s;
}

std::string text(size_t n) {
    std::string s;
    for (int i = 0; s.size() < n; ++i) s += "row " + std::to_string(i) + ",some text;\n";
    return s.substr(0, n);
}

// Half noise, half text, in 32 KiB stretches: deflates to about half.
std::string halfNoise(size_t n) {
    std::string s;
    for (uint32_t i = 0; s.size() < n; ++i) s += i % 2 ? text(32768) : noise(32768, i);
    return s.substr(0, n);
}

// The raw deflate stream `packed` inflated, knowing it holds `size` bytes.
std::string inflateRaw(const std::string& packed, size_t size) {
    std::string out(size + 1, '\0');
    z_stream z{};
    EXPECT_EQ(::inflateInit2(&z, -MAX_WBITS), Z_OK);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
    z.avail_in = static_cast<uInt>(packed.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    EXPECT_EQ(::inflate(&z, Z_FINISH), Z_STREAM_END);
    out.resize(z.total_out);
    ::inflateEnd(&z);
    return out;
}

class EntryPackerTest : public ::testing::Test {
protected:
    ~EntryPackerTest() override { closeFile(); }

    // Packs `data` written to a file; the file stays open for the reads.
    bool pack(EntryPacker& p, const std::string& data) {
        closeFile();
        writeFile(path, data);
        fd = ::open(path.c_str(), O_RDONLY);
        EXPECT_GE(fd, 0);
        return p.pack(fd);
    }
    void closeFile() {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
    // Everything read() hands out, asked for 8 KiB at a time as libzip does; "FAILED: why" when a read fails.
    static std::string drain(EntryPacker& p) {
        std::string out;
        char buf[8192];
        for (int64_t n; (n = p.read(buf, sizeof buf)) != 0;) {
            if (n < 0) return "FAILED: " + p.failure();
            out.append(buf, static_cast<size_t>(n));
        }
        return out;
    }

    TempDir dir;
    std::string path = dir.file("data");
    int fd = -1;
};

// One packer for a run of files, from memory, the temporary file (a small memory limit) or a second read.
TEST_F(EntryPackerTest, EachFileComesBackDeflatedOnlyWhenThatIsSmaller) {
    constexpr size_t kBlock = EntryPacker::kReadBlock;
    const struct {
        const char* what;
        std::string data;
        bool stored;
    } cases[] = {
        {"empty", "", true},
        {"a few bytes", "d\n", true},
        {"text", text(300000), false},
        {"noise", noise(100000, 1), true},
        {"noise above a read block", noise(kBlock + 300000, 2), true},
        {"text above a read block, spilled", text(3 * kBlock), false},
        {"half noise, spilled", halfNoise(2 * kBlock + 5), false},
        {"text again", text(5000), false},
    };
    EntryPacker packer(6, dir.path().string(), 64 << 10);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(pack(packer, c.data)) << packer.failure();
        EXPECT_EQ(packer.stored(), c.stored);
        EXPECT_EQ(packer.size(), c.data.size());
        EXPECT_EQ(packer.crc(), ::crc32_z(0, reinterpret_cast<const Bytef*>(c.data.data()), c.data.size()));
        const std::string packed = drain(packer);
        EXPECT_EQ(packed.size(), packer.packedSize());
        if (c.stored) {
            EXPECT_EQ(packed, c.data);
        } else {
            EXPECT_LT(packed.size(), c.data.size());
            EXPECT_EQ(inflateRaw(packed, c.data.size()), c.data);
        }
    }
    EXPECT_EQ(dir.names(), (std::set<std::string>{"data"}));  // the temporary file has no name
}

// A stored file larger than a read block is read twice: a change in between is refused, as its CRC would not match.
TEST_F(EntryPackerTest, AStoredFileThatChangesBeforeItIsReadAgainIsRefused) {
    const std::string data = noise(EntryPacker::kReadBlock + 1000, 3);
    EntryPacker packer(6, dir.path().string());
    ASSERT_TRUE(pack(packer, data));
    ASSERT_TRUE(packer.stored());
    {
        const int w = ::open(path.c_str(), O_WRONLY);
        ASSERT_EQ(::pwrite(w, "X", 1, 5), 1);
        ::close(w);
    }
    EXPECT_EQ(drain(packer), "FAILED: it changed while it was read");

    ASSERT_TRUE(pack(packer, data));
    ASSERT_EQ(::truncate(path.c_str(), 4096), 0);
    EXPECT_EQ(drain(packer), "FAILED: it became shorter while it was read");
}

// Without a temporary file a large deflated entry is stored instead; a failed read gives the system's reason; the
// level's flag bits.
TEST_F(EntryPackerTest, NoTemporaryFileUnreadableInputAndFlagBits) {
    const std::string data = text(2 * EntryPacker::kReadBlock);
    EntryPacker nowhere(6, dir.file("no such folder"), 64 << 10);
    ASSERT_TRUE(pack(nowhere, data));
    EXPECT_TRUE(nowhere.stored());
    EXPECT_EQ(drain(nowhere), data);

    closeFile();
    fd = ::open(dir.path().c_str(), O_RDONLY);  // a folder: read() fails
    EXPECT_FALSE(nowhere.pack(fd));
    EXPECT_EQ(nowhere.failure(), "Is a directory");

    for (const auto& [level, bits] : {std::pair{1, 4}, {6, 0}, {9, 2}}) {
        EntryPacker p(level, dir.path().string());
        ASSERT_TRUE(pack(p, text(10000)));
        EXPECT_EQ(p.flagBits(), bits) << level;
        ASSERT_TRUE(pack(p, noise(10000, 4)));
        EXPECT_EQ(p.flagBits(), 0) << level;
    }
}

}  // namespace
}  // namespace varnelo
