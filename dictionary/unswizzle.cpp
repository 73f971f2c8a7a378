#include "dictionary/unswizzle.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <utility>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define KELMORA_SSE2 1
#endif

namespace kelmora {

namespace {

std::uint8_t* Row(std::uint8_t* grid, std::uint32_t width, std::uint32_t y) {
    return grid + static_cast<std::size_t>(y) * width;
}

constexpr bool kLittleEndian = std::endian::native == std::endian::little;

std::uint64_t Load64(const std::uint8_t* p) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

void Store64(std::uint8_t* p, std::uint64_t v) { std::memcpy(p, &v, 8); }

// Bytes 0, 2, 4, 6 of a little-endian word, packed into its low half.
std::uint64_t EvenBytes(std::uint64_t v) {
    v &= 0x00FF00FF00FF00FFull;
    v = (v | (v >> 8)) & 0x0000FFFF0000FFFFull;
    return (v | (v >> 16)) & 0x00000000FFFFFFFFull;
}

void ExchangeRows(std::uint8_t* grid, std::uint32_t width, std::uint32_t height) {
    for (std::uint32_t g = 0; g < height / 4; ++g)
        std::swap_ranges(Row(grid, width, 4 * g + 1), Row(grid, width, 4 * g + 1) + width,
                         Row(grid, width, 4 * g + 2));
}

void ExchangeHalves(std::uint8_t* group) { std::swap_ranges(group, group + 8, group + 8); }

void InterleaveColumns(std::uint8_t* grid, std::uint32_t width, std::uint32_t height) {
    for (std::uint32_t y = 0; y < height; ++y) {
        std::uint8_t* row = Row(grid, width, y);
        for (std::uint32_t b = 0; b < width / 16; ++b) {
            std::uint8_t* g = row + 16 * b;
            std::uint8_t t[16];
            for (int i = 0; i < 8; ++i) {
                t[2 * i] = g[i];
                t[2 * i + 1] = g[8 + i];
            }
            std::memcpy(g, t, 16);
        }
    }
}

} // namespace

void SplitEvenOdd(const std::uint8_t* in, std::size_t n, std::uint8_t* even, std::uint8_t* odd) {
    std::size_t x = 0;
#ifdef KELMORA_SSE2
    const __m128i low = _mm_set1_epi16(0x00FF);
    for (; x + 16 <= n; x += 16) {
        __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 2 * x));
        __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 2 * x + 16));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(even + x),
                         _mm_packus_epi16(_mm_and_si128(a, low), _mm_and_si128(b, low)));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(odd + x),
                         _mm_packus_epi16(_mm_srli_epi16(a, 8), _mm_srli_epi16(b, 8)));
    }
#endif
    if constexpr (kLittleEndian) {
        for (; x + 8 <= n; x += 8) {
            std::uint64_t a = Load64(in + 2 * x), b = Load64(in + 2 * x + 8);
            Store64(even + x, EvenBytes(a) | EvenBytes(b) << 32);
            Store64(odd + x, EvenBytes(a >> 8) | EvenBytes(b >> 8) << 32);
        }
    }
    for (; x < n; ++x) {
        even[x] = in[2 * x];
        odd[x] = in[2 * x + 1];
    }
}

std::uint32_t ExchangedRow(std::uint32_t y, std::uint32_t height) {
    if (y / 4 >= height / 4)
        return y;
    if (y % 4 == 1)
        return y + 1;
    if (y % 4 == 2)
        return y - 1;
    return y;
}

void UnswizzleRow(std::uint8_t* row, std::uint32_t width, std::uint32_t y, std::uint32_t height) {
    // In rows 2 to 5 of every full 16 x 8 block the two halves change places.
    const bool exchange = y / 8 < height / 8 && y % 8 >= 2 && y % 8 <= 5;
#ifdef KELMORA_SSE2
    const __m128i low = _mm_set1_epi16(0x00FF);
    for (std::uint32_t b = 0; b < width / 16; ++b) {
        auto* g = reinterpret_cast<__m128i*>(row + 16 * b);
        __m128i v = _mm_loadu_si128(g);
        if (exchange)
            v = _mm_shuffle_epi32(v, 0x4E);
        _mm_storeu_si128(g, _mm_packus_epi16(_mm_and_si128(v, low), _mm_srli_epi16(v, 8)));
    }
#else
    for (std::uint32_t b = 0; b < width / 16; ++b) {
        std::uint8_t* g = row + 16 * b;
        if (exchange)
            ExchangeHalves(g);
        // Even columns to the left half, odd columns to the right half.
        std::uint8_t t[16];
        SplitEvenOdd(g, 8, t, t + 8);
        std::memcpy(g, t, 16);
    }
#endif
}

void MergeEvenOdd(const std::uint8_t* even, const std::uint8_t* odd, std::size_t n, std::uint8_t* out) {
    std::size_t x = 0;
#ifdef KELMORA_SSE2
    for (; x + 16 <= n; x += 16) {
        const __m128i e = _mm_loadu_si128(reinterpret_cast<const __m128i*>(even + x));
        const __m128i o = _mm_loadu_si128(reinterpret_cast<const __m128i*>(odd + x));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * x), _mm_unpacklo_epi8(e, o));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 2 * x + 16), _mm_unpackhi_epi8(e, o));
    }
#endif
    for (; x < n; ++x) {
        out[2 * x] = even[x];
        out[2 * x + 1] = odd[x];
    }
}

void SwizzleRow(std::uint8_t* row, std::uint32_t width, std::uint32_t y, std::uint32_t height) {
    const bool exchange = y / 8 < height / 8 && y % 8 >= 2 && y % 8 <= 5;
#ifdef KELMORA_SSE2
    for (std::uint32_t b = 0; b < width / 16; ++b) {
        auto* g = reinterpret_cast<__m128i*>(row + 16 * b);
        const __m128i v = _mm_loadu_si128(g);
        __m128i merged = _mm_unpacklo_epi8(v, _mm_srli_si128(v, 8));
        if (exchange)
            merged = _mm_shuffle_epi32(merged, 0x4E);
        _mm_storeu_si128(g, merged);
    }
#else
    for (std::uint32_t b = 0; b < width / 16; ++b) {
        std::uint8_t* g = row + 16 * b;
        // The left half back to the even columns, the right half to the odd ones.
        std::uint8_t t[16];
        MergeEvenOdd(g, g + 8, 8, t);
        std::memcpy(g, t, 16);
        if (exchange)
            ExchangeHalves(g);
    }
#endif
}

void ReorderPalette(TexPalette& palette) {
    for (int i = 0; i < 8; ++i)
        for (int j = 0; j < 8; ++j)
            std::swap(palette[32 * i + 8 + j], palette[32 * i + 16 + j]);
}

void Unswizzle(std::uint8_t* grid, std::uint32_t width, std::uint32_t height) {
    ExchangeRows(grid, width, height);
    for (std::uint32_t y = 0; y < height; ++y)
        UnswizzleRow(Row(grid, width, y), width, y, height);
}

void Swizzle(std::uint8_t* grid, std::uint32_t width, std::uint32_t height) {
    InterleaveColumns(grid, width, height);
    for (std::uint32_t r = 0; r < height / 8; ++r)
        for (std::uint32_t y = 8 * r + 2; y <= 8 * r + 5; ++y)
            for (std::uint32_t b = 0; b < width / 16; ++b)
                ExchangeHalves(Row(grid, width, y) + 16 * b);
    ExchangeRows(grid, width, height);
}

} // namespace kelmora
