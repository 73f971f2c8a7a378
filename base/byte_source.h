#pragma once
// Where a dictionary's bytes come from: a file opened once, a buffer in memory,
// or a range of another source (a dictionary inside a game archive). Readers
// take any of them and never learn which.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/os_file.h"

namespace kelmora {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t Size() const = 0;
    // Returns the number of bytes read; fewer than n only at the end. A read the
    // system fails throws KelmoraError ReadFailed with its reason.
    virtual std::size_t ReadAt(std::uint64_t offset, void* dst, std::size_t n) const = 0;
    // The whole content when it lies in memory, so that readers need not copy it.
    virtual const std::uint8_t* Data() const { return nullptr; }
    // Reads all of n bytes at offset or throws KelmoraError: ReadFailed with the
    // system's reason, or ReadEndsEarly. Nothing short is ever taken as the bytes.
    virtual void ReadExactly(std::uint64_t offset, void* dst, std::size_t n) const;
    // The file the bytes come from, for messages; empty for memory.
    virtual std::string Name() const { return {}; }
};

class FileSource final : public ByteSource {
public:
    // Throws KelmoraError "Cannot open file \"path\". reason".
    explicit FileSource(const std::string& path);
    std::uint64_t Size() const override { return size_; }
    std::size_t ReadAt(std::uint64_t offset, void* dst, std::size_t n) const override;
    void ReadExactly(std::uint64_t offset, void* dst, std::size_t n) const override;
    std::string Name() const override { return file_.Path(); }

private:
    OsFile file_;
    std::uint64_t size_ = 0;
};

// Bytes the caller keeps alive for as long as the source is used.
class MemorySource final : public ByteSource {
public:
    MemorySource(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint64_t Size() const override { return size_; }
    std::size_t ReadAt(std::uint64_t offset, void* dst, std::size_t n) const override;
    const std::uint8_t* Data() const override { return data_; }

private:
    const std::uint8_t* data_;
    std::size_t size_;
};

// Bytes the source owns.
class BufferSource final : public ByteSource {
public:
    explicit BufferSource(std::vector<std::uint8_t> bytes) : bytes_(std::move(bytes)) {}
    std::uint64_t Size() const override { return bytes_.size(); }
    std::size_t ReadAt(std::uint64_t offset, void* dst, std::size_t n) const override;
    const std::uint8_t* Data() const override { return bytes_.data(); }

private:
    std::vector<std::uint8_t> bytes_;
};

// Bytes shared with their owner, who may change them between reads but never
// resizes them while a reader is open.
class SharedBufferSource final : public ByteSource {
public:
    explicit SharedBufferSource(std::shared_ptr<const std::vector<std::uint8_t>> bytes) : bytes_(std::move(bytes)) {}
    std::uint64_t Size() const override { return bytes_->size(); }
    std::size_t ReadAt(std::uint64_t offset, void* dst, std::size_t n) const override {
        return MemorySource(bytes_->data(), bytes_->size()).ReadAt(offset, dst, n);
    }
    const std::uint8_t* Data() const override { return bytes_->data(); }

private:
    std::shared_ptr<const std::vector<std::uint8_t>> bytes_;
};

// offset .. offset + size of another source; the part past the other source's
// end reads as the end.
class RangeSource final : public ByteSource {
public:
    RangeSource(std::shared_ptr<const ByteSource> base, std::uint64_t offset, std::uint64_t size);
    std::uint64_t Size() const override { return size_; }
    std::size_t ReadAt(std::uint64_t offset, void* dst, std::size_t n) const override;
    const std::uint8_t* Data() const override;
    void ReadExactly(std::uint64_t offset, void* dst, std::size_t n) const override;
    std::string Name() const override { return base_->Name(); }

private:
    std::shared_ptr<const ByteSource> base_;
    std::uint64_t offset_, size_;
};

// Every byte of a source, in memory; throws as ReadExactly does.
std::vector<std::uint8_t> ReadAllBytes(const ByteSource& source);

// Where a dictionary lives, so that it can be opened again: a whole file, or a
// range of one (a dictionary inside an archive).
struct SourceLocation {
    std::string File;
    bool Whole = true;
    std::uint64_t Offset = 0, Size = 0;
};
std::shared_ptr<const ByteSource> OpenLocation(const SourceLocation& location);

} // namespace kelmora
