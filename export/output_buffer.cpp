#include "export/output_buffer.h"

#include "dictionary/errors.h"

namespace kelmora {

void WriteAll(OsFile& file, const void* data, std::size_t n) {
    if (file.Write(data, n) != n)
        throw KelmoraError("Stream write error");
}

void OutputBuffer::Put(const void* data, std::size_t n) {
    if (buf_.size() + n > buf_.capacity())
        Flush();
    if (n >= buf_.capacity()) {
        WriteAll(file_, data, n);
        return;
    }
    const auto* p = static_cast<const std::uint8_t*>(data);
    buf_.insert(buf_.end(), p, p + n);
}

void OutputBuffer::Flush() {
    if (!buf_.empty())
        WriteAll(file_, buf_.data(), buf_.size());
    buf_.clear();
}

} // namespace kelmora
