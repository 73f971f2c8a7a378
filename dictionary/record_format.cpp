#include "dictionary/record_format.h"

namespace kelmora {

namespace {

constexpr DepthInfo kDepths[] = {
    {4, 16, 64, 96, 8, 3, kPsmT4, 0x4000},
    {8, 256, 1024, 1024, 16, 16, kPsmT8, 0x2000},
    {16, 0, 0, 0, 0, 0, kPsmCt16S, 0},
    {32, 0, 0, 0, 0, 0, kPsmCt32, 0},
};

} // namespace

const DepthInfo* FindDepth(std::uint32_t depth) {
    for (const DepthInfo& d : kDepths)
        if (d.Depth == depth)
            return &d;
    return nullptr;
}

} // namespace kelmora
