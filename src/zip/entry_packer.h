// EntryPacker: the data of one zip entry, made from an open file: deflated
// when that makes it smaller, stored as it is otherwise (a file that does not
// shrink is never written larger than it is).
//
// pack() reads the file once, from its start to its end, in large blocks,
// computing its CRC-32 and deflating it (raw deflate, as zip entries hold
// it). The deflated bytes are kept in memory, and past kMemoryLimit in an
// unlinked temporary file in the spill folder. Then read() hands out the
// entry's data: the deflated bytes, or the file's own bytes when those are
// no more. A stored file that fit in one read block is still in memory; a
// larger one is read a second time, and must come back as it was the first
// time (the same length and CRC), or read() fails rather than hand out bytes
// that the CRC does not describe.
//
// Deflating stops early once its output has reached the file's size: the
// entry will be stored whatever follows, so the rest is only read for its CRC.
// Whatever goes wrong with the temporary file has the same remedy: the entry
// is stored.
//
// One packer serves a whole archive, one file after another: its deflate
// state and buffers are reused, so that a tree of small files costs no
// allocation (and no fresh pages) per file. Not for use by two threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace varnelo {

class EntryPacker {
public:
    // Read block, and the largest file kept in memory when stored.
    static constexpr size_t kReadBlock = size_t{1} << 20;
    // Deflated bytes kept in memory before the temporary file takes the rest.
    static constexpr size_t kMemoryLimit = size_t{8} << 20;

    // `level` 1 to 9; `spillFolder` is where the temporary file goes, made
    // only when an entry needs it; `memoryLimit` is kMemoryLimit but in
    // tests. Throws std::bad_alloc when zlib cannot set up its state.
    EntryPacker(int level, std::string spillFolder, size_t memoryLimit = kMemoryLimit);
    ~EntryPacker();
    EntryPacker(const EntryPacker&) = delete;
    EntryPacker& operator=(const EntryPacker&) = delete;

    // Reads the file open as `fd` (positioned at its start) to its end.
    // `tick` runs after every block (a host's message loop). False when the
    // file cannot be read; failure() says why.
    bool pack(int fd, const std::function<void()>& tick = {});

    bool stored() const { return stored_; }
    uint64_t size() const { return size_; }              // bytes read from the file
    uint64_t packedSize() const { return packedSize_; }  // bytes of the entry's data
    uint32_t crc() const { return crc_; }
    // Deflate's "compression option" bits of the general-purpose flags
    // (bits 1 and 2): fast for levels 1 and 2, maximum for 8 and 9; 0 when
    // stored.
    uint16_t flagBits() const;

    // The next bytes of the entry's data, at most `len`, copied to `out`:
    // their count, 0 at the end, -1 when they cannot be had (failure()).
    int64_t read(void* out, size_t len);

    // Why the last pack() or read() failed.
    const std::string& failure() const { return failure_; }

private:
    bool deflateBlock(const unsigned char* in, size_t n, bool last);
    void keep(const unsigned char* data, size_t n);
    bool spill(const unsigned char* data, size_t n);
    int64_t readAgain(void* out, size_t len);

    int level_;
    std::string spillFolder_;
    size_t memoryLimit_;
    struct Stream;
    std::unique_ptr<Stream> stream_;
    std::unique_ptr<unsigned char[]> block_;
    std::unique_ptr<unsigned char[]> out_;
    std::vector<unsigned char> memory_;  // the first kMemoryLimit deflated bytes
    int spillFd_ = -1;
    bool spillBroken_ = false;

    int fd_ = -1;
    uint64_t sizeHint_ = 0;  // the file's size when pack() began
    uint64_t size_ = 0;
    uint64_t packedSize_ = 0;  // deflated bytes so far, then the entry's
    uint64_t spilled_ = 0;
    uint32_t crc_ = 0;
    bool giveUpDeflate_ = false;
    bool stored_ = false;
    bool wholeInBlock_ = false;
    // Handing out: the position in the entry's data; for a stored file read
    // again, the block's filled part, where it is, and the second CRC.
    uint64_t pos_ = 0;
    size_t blockFill_ = 0;
    size_t blockAt_ = 0;
    uint32_t againCrc_ = 0;
    std::string failure_;
};

}  // namespace varnelo
