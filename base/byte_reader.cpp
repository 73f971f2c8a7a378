#include "base/byte_reader.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace kelmora {

namespace {
constexpr std::size_t kBufferSize = 64 * 1024;
}

ByteReader::ByteReader(const ByteSource& source) : source_(source), size_(source.Size()) {
    if (const std::uint8_t* d = source.Data(); d && size_ <= std::numeric_limits<std::size_t>::max()) {
        // Bytes in memory are read in place: the whole source is the buffer.
        data_ = d;
        bufLen_ = static_cast<std::size_t>(size_);
    } else {
        buf_.reset(new std::uint8_t[kBufferSize]);
        data_ = buf_.get();
    }
}

bool ByteReader::Fill() {
    if (pos_ >= size_ || !buf_)
        return false;
    bufStart_ = pos_;
    bufLen_ = source_.ReadAt(pos_, buf_.get(), kBufferSize);
    return bufLen_ > 0;
}

bool ByteReader::ReadByteSlow(std::uint8_t& b) {
    if (!Fill())
        return false;
    b = buf_[0];
    ++pos_;
    return true;
}

std::size_t ByteReader::ReadSlow(void* dst, std::size_t n) {
    auto* out = static_cast<std::uint8_t*>(dst);
    std::size_t done = 0;
    while (done < n) {
        if (pos_ >= bufStart_ && pos_ < bufStart_ + bufLen_) {
            std::size_t at = static_cast<std::size_t>(pos_ - bufStart_);
            std::size_t take = std::min(n - done, bufLen_ - at);
            std::memcpy(out + done, data_ + at, take);
            done += take;
            pos_ += take;
            continue;
        }
        if (!buf_)
            break; // in memory: past the end
        if (n - done >= kBufferSize) {
            // Large reads bypass the buffer.
            std::size_t got = pos_ < size_ ? source_.ReadAt(pos_, out + done, n - done) : 0;
            done += got;
            pos_ += got;
            break;
        }
        if (!Fill())
            break;
    }
    return done;
}

} // namespace kelmora
