#include "dictionary/record_layout.h"

#include <algorithm>
#include <set>

#include "dictionary/gs_memory.h"
#include "dictionary/record_format.h"

namespace kelmora {

std::uint32_t Log2(std::uint32_t v) {
    std::uint32_t n = 0;
    while (v > 1) {
        v >>= 1;
        ++n;
    }
    return n;
}

namespace {

// The blocks a rectangle covers in a buffer of width bw starting at block base.
void Cover(std::set<std::uint32_t>& blocks, std::uint32_t base, std::uint32_t bw, bool ct16, std::uint32_t x0,
           std::uint32_t y0, std::uint32_t w, std::uint32_t h) {
    const std::uint32_t bwPx = ct16 ? 16 : 8, bhPx = 8;
    for (std::uint32_t y = y0 / bhPx * bhPx; y < y0 + h; y += bhPx)
        for (std::uint32_t x = x0 / bwPx * bwPx; x < x0 + w; x += bwPx)
            blocks.insert(base + BlockNumber(x, y, bw, ct16));
}

} // namespace

std::uint32_t UsualLevelCount(std::uint32_t w, std::uint32_t h) {
    const std::uint32_t smaller = std::min(w, h);
    return smaller <= 8 ? 1 : Log2(smaller) - 2;
}

RecordLayout LayOutRecord(std::uint32_t depth, std::uint32_t w, std::uint32_t h, std::uint32_t levels) {
    RecordLayout l;
    l.Width = w;
    l.Height = h;
    l.Depth = depth;
    l.Levels = std::max<std::uint32_t>(1, levels);
    const bool palettised = IsPalettisedDepth(depth);
    const bool ct16 = depth == 4 || depth == 16; // the transfer format
    const std::uint32_t pageH = ct16 ? 64 : 32, blockW = ct16 ? 16 : 8, blockH = 8;
    const std::uint32_t b = l.TransferPixelBytes();
    const std::uint32_t tbw0 = palettised ? std::max<std::uint32_t>(2, w / 64) : std::max<std::uint32_t>(1, w / 64);
    const std::uint32_t dbw0 = palettised ? tbw0 / 2 : tbw0;

    for (std::uint32_t n = 0; n < l.Levels; ++n) {
        const std::uint32_t lw = std::max<std::uint32_t>(1, w >> n), lh = std::max<std::uint32_t>(1, h >> n);
        LevelPlacement p;
        if (depth == 8) {
            p.TransferWidth = std::max<std::uint32_t>(lw, 16) / 2;
            p.TransferHeight = std::max<std::uint32_t>(lh, 4) / 2;
        } else if (depth == 4) {
            p.TransferWidth = std::max<std::uint32_t>(lw, 32) / 2;
            p.TransferHeight = std::max<std::uint32_t>(lh, 4) / 2;
        } else {
            p.TransferWidth = lw;
            p.TransferHeight = lh;
        }
        l.PixelSize += 80 + p.TransferWidth * p.TransferHeight * b;
        l.Placement.push_back(p);
    }
    l.PaletteSize = depth == 8 ? 1104 : depth == 4 ? 176 : 0;

    // Level 0 at (0, 0) in its own buffer; the others in a buffer one page wide
    // from block base on, each at the lowest, then leftmost, free place.
    std::set<std::uint32_t> used;
    const LevelPlacement& first = l.Placement[0];
    l.Placement[0].BufferWidth = tbw0;
    Cover(used, 0, dbw0, ct16, 0, 0, first.TransferWidth, first.TransferHeight);
    std::uint32_t base = 0;
    std::vector<std::uint32_t> skyline(64, 0);
    if (tbw0 == 2) {
        for (std::uint32_t x = 0; x < 64 && x < first.TransferWidth; ++x)
            skyline[x] = first.TransferHeight;
    } else {
        const std::uint32_t f = first.TransferHeight / pageH;
        base = 32 * f * dbw0;
        std::fill(skyline.begin(), skyline.end(), first.TransferHeight - f * pageH);
    }
    for (std::uint32_t n = 1; n < l.Levels; ++n) {
        LevelPlacement& p = l.Placement[n];
        if (p.TransferWidth > 64) {
            // Wider than the one-page buffer (levels of 512-wide textures, which
            // no console file has): below everything, across the whole width.
            p.Y = *std::max_element(skyline.begin(), skyline.end());
            p.BasePointer = base + BlockNumber(0, p.Y, 1, ct16);
            p.BufferWidth = 2 * ((p.TransferWidth + 63) / 64);
            Cover(used, base, p.BufferWidth / 2, ct16, 0, p.Y, p.TransferWidth, p.TransferHeight);
            std::fill(skyline.begin(), skyline.end(), (p.Y + p.TransferHeight + blockH - 1) / blockH * blockH);
            continue;
        }
        std::uint32_t bestX = 0, bestY = UINT32_MAX;
        for (std::uint32_t x = 0; x + p.TransferWidth <= 64; x += blockW) {
            const std::uint32_t y = *std::max_element(skyline.begin() + x, skyline.begin() + x + p.TransferWidth);
            if (y < bestY) {
                bestY = y;
                bestX = x;
            }
        }
        p.X = bestX;
        p.Y = bestY;
        p.BasePointer = base + BlockNumber(bestX, bestY, 1, ct16);
        p.BufferWidth = 2;
        const std::uint32_t top = (bestY + p.TransferHeight + blockH - 1) / blockH * blockH;
        std::fill(skyline.begin() + bestX, skyline.begin() + bestX + p.TransferWidth, top);
        Cover(used, base, 1, ct16, bestX, bestY, p.TransferWidth, p.TransferHeight);
    }
    const std::uint32_t pages = *used.rbegin() / 32 + 1;
    if (!palettised) {
        l.PaletteBlock = 0;
        l.GpuSize = 2048 * pages;
        return l;
    }
    const std::uint32_t reserve = depth == 4 && l.Levels > 1 ? 1 : 4;
    bool free = true;
    for (std::uint32_t blk = 32 * pages - reserve; blk < 32 * pages; ++blk)
        free = free && !used.count(blk);
    l.PaletteBlock = free ? 32 * pages - reserve : 32 * pages;
    l.GpuSize = 2048 * ((l.PaletteBlock + reserve + 31) / 32);
    if (depth == 8 && (tbw0 == 2 || l.Levels > 1)) {
        // The top-left pixel of the palette's block in a 64-wide PSMCT32 buffer.
        const std::uint32_t block = l.PaletteBlock - (l.Levels > 1 ? base : 0);
        for (std::uint32_t y = 0; y < 4096; y += 8) {
            bool found = false;
            for (std::uint32_t x = 0; x < 64 && !found; x += 8)
                if (BlockNumber(x, y, 1, false) == block) {
                    l.PaletteX = x;
                    l.PaletteY = y;
                    found = true;
                }
            if (found)
                break;
        }
    }
    return l;
}

} // namespace kelmora
