#pragma once
// Collects output and hands it to the file in large writes; a write that does not
// store all its bytes fails with "Stream write error".
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "dictionary/os_file.h"

namespace kelmora {

class OutputBuffer {
public:
    explicit OutputBuffer(OsFile& file, std::size_t capacity = 1 << 18) : file_(file) { buf_.reserve(capacity); }
    void Put(const void* data, std::size_t n);
    void Flush();

private:
    OsFile& file_;
    std::vector<std::uint8_t> buf_;
};

// Writes all of data or fails with "Stream write error".
void WriteAll(OsFile& file, const void* data, std::size_t n);

} // namespace kelmora
