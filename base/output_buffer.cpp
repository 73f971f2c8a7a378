#include "base/output_buffer.h"

namespace kelmora {

void OutputBuffer::Put(const void* data, std::size_t n) {
    if (buf_.size() + n > buf_.capacity())
        Flush();
    if (n >= buf_.capacity()) {
        file_.Write(data, n);
        return;
    }
    const auto* p = static_cast<const std::uint8_t*>(data);
    buf_.insert(buf_.end(), p, p + n);
}

void OutputBuffer::Flush() {
    if (!buf_.empty())
        file_.Write(buf_.data(), buf_.size());
    buf_.clear();
}

} // namespace kelmora
