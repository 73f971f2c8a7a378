#include "base/byte_source.h"

#include <algorithm>
#include <cstring>

#include "base/errors.h"

namespace kelmora {

namespace {

std::size_t CopyOut(const std::uint8_t* data, std::uint64_t size, std::uint64_t offset, void* dst, std::size_t n) {
    if (offset >= size || n == 0)
        return 0;
    const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(n, size - offset));
    std::memcpy(dst, data + offset, take);
    return take;
}

[[noreturn]] void EndsEarly(const std::string& name, std::uint64_t at, std::uint64_t wanted) {
    throw KelmoraError(ErrorCode::ReadEndsEarly, {.File = name, .Number = at, .Limit = wanted});
}

} // namespace

void ByteSource::ReadExactly(std::uint64_t offset, void* dst, std::size_t n) const {
    const std::size_t got = ReadAt(offset, dst, n);
    if (got < n)
        EndsEarly(Name(), offset + got, offset + n);
}

void FileSource::ReadExactly(std::uint64_t offset, void* dst, std::size_t n) const {
    const std::size_t got = file_.ReadAt(offset, dst, n);
    if (got < n)
        EndsEarly(file_.Path(), offset + got, offset + n);
}

void RangeSource::ReadExactly(std::uint64_t offset, void* dst, std::size_t n) const {
    if (offset > size_ || n > size_ - offset)
        EndsEarly(Name(), offset_ + std::min(offset, size_), offset_ + offset + n);
    base_->ReadExactly(offset_ + offset, dst, n);
}

FileSource::FileSource(const std::string& path) : file_(OsFile::OpenRead(path)) { size_ = file_.Size(); }

std::size_t FileSource::ReadAt(std::uint64_t offset, void* dst, std::size_t n) const {
    if (offset >= size_ || n == 0)
        return 0;
    // Short only at the end: a failure of the device throws (ReadFailed).
    return file_.ReadAt(offset, dst, n);
}

std::size_t MemorySource::ReadAt(std::uint64_t offset, void* dst, std::size_t n) const {
    return CopyOut(data_, size_, offset, dst, n);
}

std::size_t BufferSource::ReadAt(std::uint64_t offset, void* dst, std::size_t n) const {
    return CopyOut(bytes_.data(), bytes_.size(), offset, dst, n);
}

RangeSource::RangeSource(std::shared_ptr<const ByteSource> base, std::uint64_t offset, std::uint64_t size)
    : base_(std::move(base)), offset_(offset), size_(size) {
    // A range is never larger than what the source holds from its start on.
    const std::uint64_t total = base_->Size();
    size_ = offset_ >= total ? 0 : std::min(size_, total - offset_);
}

std::size_t RangeSource::ReadAt(std::uint64_t offset, void* dst, std::size_t n) const {
    if (offset >= size_ || n == 0)
        return 0;
    const std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(n, size_ - offset));
    return base_->ReadAt(offset_ + offset, dst, take);
}

const std::uint8_t* RangeSource::Data() const {
    const std::uint8_t* d = base_->Data();
    return d ? d + offset_ : nullptr;
}

std::vector<std::uint8_t> ReadAllBytes(const ByteSource& source) {
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(source.Size()));
    source.ReadExactly(0, bytes.data(), bytes.size());
    return bytes;
}

std::shared_ptr<const ByteSource> OpenLocation(const SourceLocation& location) {
    auto file = std::make_shared<FileSource>(location.File);
    if (location.Whole)
        return file;
    return std::make_shared<RangeSource>(std::move(file), location.Offset, location.Size);
}

} // namespace kelmora
