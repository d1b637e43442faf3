// EntryPacker: one file deflated or stored, with zlib.
#include "zip/entry_packer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

namespace varnelo {

namespace {

// Deflate's output block: large enough that a block of input seldom needs
// more than a few calls.
constexpr size_t kOutBlock = size_t{256} << 10;

// Fills `buf` from the file's current position; fewer bytes only at its end.
ssize_t readFull(int fd, unsigned char* buf, size_t len) {
    size_t got = 0;
    while (got < len) {
        const ssize_t n = ::read(fd, buf + got, len - got);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        got += static_cast<size_t>(n);
    }
    return static_cast<ssize_t>(got);
}

uint32_t crcOf(uint32_t crc, const unsigned char* data, size_t n) {
    return static_cast<uint32_t>(::crc32_z(crc, data, n));
}

}  // namespace

struct EntryPacker::Stream {
    z_stream z{};
};

EntryPacker::EntryPacker(int level, std::string spillFolder, size_t memoryLimit)
    : level_(std::clamp(level, 1, 9)),
      spillFolder_(std::move(spillFolder)),
      memoryLimit_(memoryLimit),
      stream_(std::make_unique<Stream>()),
      block_(new unsigned char[kReadBlock]),
      out_(new unsigned char[kOutBlock]) {
    // Raw deflate (negative window bits): zip entries carry no zlib header.
    if (::deflateInit2(&stream_->z, level_, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        throw std::bad_alloc();
    }
}

EntryPacker::~EntryPacker() {
    ::deflateEnd(&stream_->z);
    if (spillFd_ >= 0) ::close(spillFd_);
}

uint16_t EntryPacker::flagBits() const {
    if (stored_) return 0;
    if (level_ <= 2) return 4;  // fast
    if (level_ >= 8) return 2;  // maximum
    return 0;                   // normal
}

bool EntryPacker::pack(int fd, const std::function<void()>& tick) {
    ::deflateReset(&stream_->z);
    memory_.clear();  // keeps its capacity for the next file
    fd_ = fd;
    size_ = packedSize_ = spilled_ = pos_ = 0;
    blockFill_ = blockAt_ = 0;
    crc_ = crcOf(0, nullptr, 0);
    giveUpDeflate_ = stored_ = wholeInBlock_ = false;
    failure_.clear();
    struct stat st;
    sizeHint_ = ::fstat(fd, &st) == 0 && st.st_size > 0 ? static_cast<uint64_t>(st.st_size) : 0;

    for (bool first = true;; first = false) {
        const ssize_t n = readFull(fd, block_.get(), kReadBlock);
        if (n < 0) {
            failure_ = std::strerror(errno);
            return false;
        }
        const auto got = static_cast<size_t>(n);
        const bool last = got < kReadBlock;
        crc_ = crcOf(crc_, block_.get(), got);
        size_ += got;
        if (!giveUpDeflate_ && !deflateBlock(block_.get(), got, last)) return false;
        if (first && last) {
            wholeInBlock_ = true;
            blockFill_ = got;
        }
        if (tick) tick();
        if (last) break;
    }
    stored_ = giveUpDeflate_ || packedSize_ >= size_;
    if (stored_) {
        packedSize_ = size_;
        againCrc_ = crcOf(0, nullptr, 0);
    }
    return true;
}

bool EntryPacker::deflateBlock(const unsigned char* in, size_t n, bool last) {
    z_stream& z = stream_->z;
    z.next_in = const_cast<unsigned char*>(in);  // zlib's API predates const
    z.avail_in = static_cast<uInt>(n);
    do {
        z.next_out = out_.get();
        z.avail_out = static_cast<uInt>(kOutBlock);
        if (::deflate(&z, last ? Z_FINISH : Z_NO_FLUSH) == Z_STREAM_ERROR) {
            failure_ = "deflate failed";
            return false;
        }
        const size_t produced = kOutBlock - z.avail_out;
        packedSize_ += produced;
        // Output as large as the whole file: it will be stored, so neither
        // the rest of deflate's output nor its work is of any use.
        if (packedSize_ >= std::max<uint64_t>(sizeHint_, 1) && !last) {
            giveUpDeflate_ = true;
            return true;
        }
        keep(out_.get(), produced);
        if (giveUpDeflate_) return true;
    } while (z.avail_out == 0);
    return true;
}

void EntryPacker::keep(const unsigned char* data, size_t n) {
    if (n == 0 || giveUpDeflate_) return;
    if (spilled_ == 0 && memory_.size() + n <= memoryLimit_) {
        memory_.insert(memory_.end(), data, data + n);
        return;
    }
    // No room and no temporary file: storing the entry needs neither.
    if (spillBroken_ || !spill(data, n)) giveUpDeflate_ = true;
}

// Appends to the temporary file, made the first time it is needed.
bool EntryPacker::spill(const unsigned char* data, size_t n) {
    if (spillFd_ < 0) {
        spillFd_ = ::open(spillFolder_.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
        if (spillFd_ < 0) {
            // A file system without unnamed temporary files: a named one,
            // gone from the folder as soon as it is open.
            std::string name = spillFolder_ + "/.varnelo-zip-XXXXXX";
            spillFd_ = ::mkostemp(name.data(), O_CLOEXEC);
            if (spillFd_ >= 0) ::unlink(name.c_str());
        }
        if (spillFd_ < 0) {
            spillBroken_ = true;
            return false;
        }
    }
    while (n > 0) {
        const ssize_t w = ::pwrite(spillFd_, data, n, static_cast<off_t>(spilled_));
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;  // a full disk, say
        data += w;
        n -= static_cast<size_t>(w);
        spilled_ += static_cast<uint64_t>(w);
    }
    return true;
}

int64_t EntryPacker::read(void* out, size_t len) {
    const uint64_t left = packedSize_ - pos_;
    len = static_cast<size_t>(std::min<uint64_t>(len, left));
    if (len == 0) return 0;
    auto* dst = static_cast<unsigned char*>(out);
    if (stored_) {
        if (!wholeInBlock_) return readAgain(out, len);
        std::memcpy(dst, block_.get() + pos_, len);
    } else if (pos_ < memory_.size()) {
        len = std::min<size_t>(len, memory_.size() - static_cast<size_t>(pos_));
        std::memcpy(dst, memory_.data() + pos_, len);
    } else {
        ssize_t n;
        do {
            n = ::pread(spillFd_, dst, len, static_cast<off_t>(pos_ - memory_.size()));
        } while (n < 0 && errno == EINTR);
        if (n <= 0) {
            failure_ = "its temporary file could not be read back: " +
                       std::string(n < 0 ? std::strerror(errno) : "it is shorter than written");
            return -1;
        }
        len = static_cast<size_t>(n);
    }
    pos_ += len;
    return static_cast<int64_t>(len);
}

// A stored file larger than a block: read again, block by block.
int64_t EntryPacker::readAgain(void* out, size_t len) {
    if (blockAt_ == blockFill_) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(kReadBlock, size_ - pos_));
        size_t got = 0;
        while (got < want) {
            const ssize_t n = ::pread(fd_, block_.get() + got, want - got, static_cast<off_t>(pos_ + got));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                failure_ = std::strerror(errno);
                return -1;
            }
            if (n == 0) break;
            got += static_cast<size_t>(n);
        }
        if (got < want) {
            failure_ = "it became shorter while it was read";
            return -1;
        }
        againCrc_ = crcOf(againCrc_, block_.get(), got);
        blockFill_ = got;
        blockAt_ = 0;
        if (pos_ + got == size_ && againCrc_ != crc_) {
            failure_ = "it changed while it was read";
            return -1;
        }
    }
    len = std::min(len, blockFill_ - blockAt_);
    std::memcpy(out, block_.get() + blockAt_, len);
    blockAt_ += len;
    pos_ += len;
    return static_cast<int64_t>(len);
}

}  // namespace varnelo
