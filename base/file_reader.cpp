#include "base/file_reader.h"

#include <algorithm>
#include <cstring>

namespace kelmora {

namespace {
constexpr std::size_t kBufferSize = 64 * 1024;
}

FileReader::FileReader(const std::string& path) : file_(OsFile::OpenRead(path)), buf_(kBufferSize) {
    size_ = file_.Size();
}

bool FileReader::Fill() {
    if (pos_ >= size_)
        return false;
    bufStart_ = pos_;
    bufLen_ = file_.ReadAt(pos_, buf_.data(), buf_.size());
    return bufLen_ > 0;
}

bool FileReader::ReadByteSlow(std::uint8_t& b) {
    if (!Fill())
        return false;
    b = buf_[0];
    ++pos_;
    return true;
}

std::size_t FileReader::ReadSlow(void* dst, std::size_t n) {
    auto* out = static_cast<std::uint8_t*>(dst);
    std::size_t done = 0;
    while (done < n) {
        if (pos_ >= bufStart_ && pos_ < bufStart_ + bufLen_) {
            std::size_t at = static_cast<std::size_t>(pos_ - bufStart_);
            std::size_t take = std::min(n - done, bufLen_ - at);
            std::memcpy(out + done, buf_.data() + at, take);
            done += take;
            pos_ += take;
            continue;
        }
        if (n - done >= buf_.size()) {
            // Large reads bypass the buffer.
            std::size_t got = pos_ < size_ ? file_.ReadAt(pos_, out + done, n - done) : 0;
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
