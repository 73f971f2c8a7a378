#pragma once
// A buffered, seekable reader over a byte source. Reads past the end deliver
// nothing and leave the position where it was.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "base/byte_source.h"

namespace kelmora {

class ByteReader {
public:
    // The source must outlive the reader.
    explicit ByteReader(const ByteSource& source);

    std::uint64_t Size() const { return size_; }
    std::uint64_t Position() const { return pos_; }
    void Seek(std::uint64_t pos) { pos_ = pos; }
    void Skip(std::uint64_t n) { pos_ += n; }

    // False at the end; b is then left as it was.
    bool ReadByte(std::uint8_t& b) {
        if (pos_ >= bufStart_ && pos_ < bufStart_ + bufLen_) {
            b = data_[static_cast<std::size_t>(pos_ - bufStart_)];
            ++pos_;
            return true;
        }
        return ReadByteSlow(b);
    }

    // Returns how many bytes were read; fewer than n only at the end.
    std::size_t Read(void* dst, std::size_t n) {
        // The walk reads many small headers that the buffer already holds.
        if (n == 0)
            return 0;
        if (pos_ >= bufStart_ && pos_ + n <= bufStart_ + bufLen_) {
            std::memcpy(dst, data_ + static_cast<std::size_t>(pos_ - bufStart_), n);
            pos_ += n;
            return n;
        }
        return ReadSlow(dst, n);
    }

private:
    bool ReadByteSlow(std::uint8_t& b);
    std::size_t ReadSlow(void* dst, std::size_t n);
    bool Fill();

    const ByteSource& source_;
    std::uint64_t size_ = 0;
    std::uint64_t pos_ = 0;
    // Left uninitialised: only the bytes a read put there are ever looked at.
    std::unique_ptr<std::uint8_t[]> buf_;
    // What the buffer holds: buf_, or the source's own bytes when it lies in memory.
    const std::uint8_t* data_ = nullptr;
    std::uint64_t bufStart_ = 0;
    std::size_t bufLen_ = 0;
};

} // namespace kelmora
