#pragma once
// Collects output and hands it to the file in large writes.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/atomic_output.h"

namespace kelmora {

class OutputBuffer {
public:
    explicit OutputBuffer(AtomicOutput& file, std::size_t capacity = 1 << 18) : file_(file) { buf_.reserve(capacity); }
    void Put(const void* data, std::size_t n);
    void Flush();

private:
    AtomicOutput& file_;
    std::vector<std::uint8_t> buf_;
};

} // namespace kelmora
