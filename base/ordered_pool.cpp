#include "base/ordered_pool.h"

namespace kelmora {

std::size_t CoreCount() {
    const unsigned n = std::thread::hardware_concurrency();
    return n > 0 ? n : 1;
}

} // namespace kelmora
