#pragma once

// The scanning primitives of the hot loops (decoding files, analysing them,
// writing and reading the code database, searching text), each with a plain
// version and, where the processor has SSE2, one that looks at sixteen
// bytes at a time. Building with VIZIRO_PLAIN_VECTORS keeps the plain
// versions only, as a processor without SSE2 (arm64) runs them, so that the
// tests see that code too.
//
// Units are bytes (unsigned char) or UTF-16 code units (char16_t). Every
// primitive takes a range [p, end) and, where it finds something, returns a
// pointer into the range, `end` when there is nothing to find.

#include <cstddef>

#if defined(__SSE2__) && !defined(VIZIRO_PLAIN_VECTORS)
#define VIZIRO_SSE2_SCAN 1
#include <emmintrin.h>
#endif

namespace ov::scan {

// A place where a pattern may start, told by its first and last units.
template<typename T>
struct Anchors {
    T first;
    T otherFirst;              // the first unit is either of these two
    T last;
    std::ptrdiff_t distance;   // from the first unit to the last
    T firstFold = 0;           // set in a unit before comparing: 0x20 lets ASCII
    T lastFold = 0;            // letters match in either case
    bool wideMatches = false;  // a unit over 0x7F passes both tests (it may fold to ASCII)
};

namespace plain {

template<typename T>
bool isWide(T u)
{
    return u > 0x7F;
}

template<typename T>
bool isUnprintable(T u)
{
    return u < 0x20 || u > 0x7E;
}

inline bool isAsciiWord(char16_t u)
{
    const char16_t folded = u | 0x20;
    return (folded >= 'a' && folded <= 'z') || (u >= '0' && u <= '9') || u == '_';
}

template<typename T>
const T *findEither(const T *p, const T *end, T a, T b)
{
    while (p < end && *p != a && *p != b)
        ++p;
    return p;
}

// The first unit equal to a or b, or over 0x7F.
template<typename T>
const T *findEitherOrWide(const T *p, const T *end, T a, T b)
{
    while (p < end && *p != a && *p != b && !isWide(*p))
        ++p;
    return p;
}

template<typename T>
std::size_t count(const T *p, const T *end, T c)
{
    std::size_t n = 0;
    for (; p < end; ++p)
        n += *p == c;
    return n;
}

inline bool isAscii(const unsigned char *p, const unsigned char *end)
{
    unsigned char any = 0;
    for (; p < end; ++p)
        any |= *p;
    return !(any & 0x80);
}

// Bytes to code units, one for one.
inline void widen(const unsigned char *p, const unsigned char *end, char16_t *out)
{
    for (; p < end; ++p)
        *out++ = *p;
}

// Widens bytes up to the first that equals a or b or is over 0x7F, and
// returns where it stopped. Writes whole blocks: `out` needs room for 16
// units more than the bytes it takes.
inline const unsigned char *widenUntil(const unsigned char *p, const unsigned char *end, char16_t *out,
                                       unsigned char a, unsigned char b)
{
    for (; p < end && *p != a && *p != b && !isWide(*p); ++p)
        *out++ = *p;
    return p;
}

// ASCII code units to bytes, one for one; other units are not for here.
inline void narrow(const char16_t *p, const char16_t *end, char *out)
{
    for (; p < end; ++p)
        *out++ = char(*p);
}

// The first unit under 0x20 or over 0x7E, or equal to one of `specials`.
template<typename T, typename... Specials>
const T *findUnprintableOr(const T *p, const T *end, Specials... specials)
{
    while (p < end && !isUnprintable(*p) && ((*p != T(specials)) && ...))
        ++p;
    return p;
}

// The first unit that is not an ASCII word character (letter, digit, "_").
inline const char16_t *skipAsciiWord(const char16_t *p, const char16_t *end)
{
    while (p < end && isAsciiWord(*p))
        ++p;
    return p;
}

// The first unit that is an ASCII word character or not ASCII.
inline const char16_t *findAsciiWordOrWide(const char16_t *p, const char16_t *end)
{
    while (p < end && !isAsciiWord(*p) && !isWide(*p))
        ++p;
    return p;
}

template<typename T>
bool anchorFits(T u, T want, T otherWant, T fold, bool wideMatches)
{
    const T folded = u | fold;
    return folded == want || folded == otherWant || (wideMatches && isWide(u));
}

// The first place c in [p, end) whose units c[0] and c[distance] fit the
// anchors; c[distance] must be readable for every c before `end`.
template<typename T>
const T *findAnchored(const T *p, const T *end, const Anchors<T> &a)
{
    for (; p < end; ++p) {
        if (anchorFits(p[0], a.first, a.otherFirst, a.firstFold, a.wideMatches)
            && anchorFits(p[a.distance], a.last, a.last, a.lastFold, a.wideMatches))
            return p;
    }
    return end;
}

} // namespace plain

#ifdef VIZIRO_SSE2_SCAN
namespace sse2 {

template<typename T>
constexpr int lanes = 16 / int(sizeof(T));

template<typename T>
__m128i load(const T *p)
{
    return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
}

inline __m128i splat(unsigned char c) { return _mm_set1_epi8(char(c)); }
inline __m128i splat(char16_t c) { return _mm_set1_epi16(short(c)); }
inline __m128i equal(__m128i v, unsigned char c) { return _mm_cmpeq_epi8(v, splat(c)); }
inline __m128i equal(__m128i v, char16_t c) { return _mm_cmpeq_epi16(v, splat(c)); }

// Signed compares: bytes from 0x80 and code units from 0x8000 up are below
// zero.
inline __m128i wide(__m128i v, unsigned char) { return _mm_cmplt_epi8(v, _mm_setzero_si128()); }
inline __m128i wide(__m128i v, char16_t)
{
    return _mm_or_si128(_mm_cmpgt_epi16(v, splat(char16_t(0x7F))), _mm_cmplt_epi16(v, _mm_setzero_si128()));
}
inline __m128i unprintable(__m128i v, unsigned char)
{
    return _mm_or_si128(_mm_cmplt_epi8(v, splat((unsigned char)0x20)), equal(v, (unsigned char)0x7F));
}
inline __m128i unprintable(__m128i v, char16_t)
{
    return _mm_or_si128(_mm_cmplt_epi16(v, splat(char16_t(0x20))), _mm_cmpgt_epi16(v, splat(char16_t(0x7E))));
}

inline unsigned maskOf(__m128i v)
{
    return unsigned(_mm_movemask_epi8(v));
}

// The lane of the lowest set mask bit (a code unit owns two bits).
template<typename T>
int firstLane(unsigned mask)
{
    return __builtin_ctz(mask) / int(sizeof(T));
}

template<typename T>
const T *findEither(const T *p, const T *end, T a, T b)
{
    for (; end - p >= lanes<T>; p += lanes<T>) {
        const __m128i v = load(p);
        if (const unsigned mask = maskOf(_mm_or_si128(equal(v, a), equal(v, b))))
            return p + firstLane<T>(mask);
    }
    return plain::findEither(p, end, a, b);
}

template<typename T>
const T *findEitherOrWide(const T *p, const T *end, T a, T b)
{
    for (; end - p >= lanes<T>; p += lanes<T>) {
        const __m128i v = load(p);
        if (const unsigned mask = maskOf(_mm_or_si128(_mm_or_si128(equal(v, a), equal(v, b)), wide(v, T()))))
            return p + firstLane<T>(mask);
    }
    return plain::findEitherOrWide(p, end, a, b);
}

inline std::size_t count(const unsigned char *p, const unsigned char *end, unsigned char c)
{
    std::size_t n = 0;
    while (end - p >= 16) {
        // Per-lane counts in bytes, summed up before any can pass 255.
        __m128i counts = _mm_setzero_si128();
        for (int block = 0; block < 255 && end - p >= 16; ++block, p += 16)
            counts = _mm_sub_epi8(counts, equal(load(p), c));
        const __m128i sums = _mm_sad_epu8(counts, _mm_setzero_si128());
        n += std::size_t(_mm_cvtsi128_si32(sums) + _mm_extract_epi16(sums, 4));
    }
    return n + plain::count(p, end, c);
}

inline std::size_t count(const char16_t *p, const char16_t *end, char16_t c)
{
    std::size_t n = 0;
    while (end - p >= 8) {
        // Per-lane counts, summed up long before any can pass 32767.
        __m128i counts = _mm_setzero_si128();
        for (int block = 0; block < 4096 && end - p >= 8; ++block, p += 8)
            counts = _mm_sub_epi16(counts, equal(load(p), c));
        __m128i sums = _mm_madd_epi16(counts, _mm_set1_epi16(1));
        sums = _mm_add_epi32(sums, _mm_shuffle_epi32(sums, _MM_SHUFFLE(1, 0, 3, 2)));
        sums = _mm_add_epi32(sums, _mm_shuffle_epi32(sums, _MM_SHUFFLE(2, 3, 0, 1)));
        n += std::size_t(_mm_cvtsi128_si32(sums));
    }
    return n + plain::count(p, end, c);
}

inline bool isAscii(const unsigned char *p, const unsigned char *end)
{
    __m128i any = _mm_setzero_si128();
    for (; end - p >= 16; p += 16)
        any = _mm_or_si128(any, load(p));
    return !maskOf(any) && plain::isAscii(p, end);
}

inline void widen(const unsigned char *p, const unsigned char *end, char16_t *out)
{
    const __m128i zero = _mm_setzero_si128();
    for (; end - p >= 16; p += 16, out += 16) {
        const __m128i v = load(p);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out), _mm_unpacklo_epi8(v, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 8), _mm_unpackhi_epi8(v, zero));
    }
    plain::widen(p, end, out);
}

inline const unsigned char *widenUntil(const unsigned char *p, const unsigned char *end, char16_t *out,
                                       unsigned char a, unsigned char b)
{
    const __m128i zero = _mm_setzero_si128();
    for (; end - p >= 16; p += 16, out += 16) {
        const __m128i v = load(p);
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out), _mm_unpacklo_epi8(v, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out + 8), _mm_unpackhi_epi8(v, zero));
        if (const unsigned mask = maskOf(_mm_or_si128(_mm_or_si128(equal(v, a), equal(v, b)), wide(v, (unsigned char)0))))
            return p + firstLane<unsigned char>(mask);
    }
    return plain::widenUntil(p, end, out, a, b);
}

inline void narrow(const char16_t *p, const char16_t *end, char *out)
{
    for (; end - p >= 16; p += 16, out += 16)
        _mm_storeu_si128(reinterpret_cast<__m128i *>(out), _mm_packus_epi16(load(p), load(p + 8)));
    plain::narrow(p, end, out);
}

template<typename T, typename... Specials>
const T *findUnprintableOr(const T *p, const T *end, Specials... specials)
{
    for (; end - p >= lanes<T>; p += lanes<T>) {
        const __m128i v = load(p);
        __m128i hits = unprintable(v, T());
        ((hits = _mm_or_si128(hits, equal(v, T(specials)))), ...);
        if (const unsigned mask = maskOf(hits))
            return p + firstLane<T>(mask);
    }
    return plain::findUnprintableOr(p, end, specials...);
}

// Word characters among eight code units; two mask bits each.
inline unsigned asciiWordMask(__m128i v)
{
    const __m128i folded = _mm_or_si128(v, splat(char16_t(0x20)));
    const __m128i letter = _mm_and_si128(_mm_cmpgt_epi16(folded, splat(char16_t('a' - 1))),
                                         _mm_cmplt_epi16(folded, splat(char16_t('z' + 1))));
    const __m128i digit = _mm_and_si128(_mm_cmpgt_epi16(v, splat(char16_t('0' - 1))),
                                        _mm_cmplt_epi16(v, splat(char16_t('9' + 1))));
    return maskOf(_mm_or_si128(_mm_or_si128(letter, digit), equal(v, char16_t('_'))));
}

inline const char16_t *skipAsciiWord(const char16_t *p, const char16_t *end)
{
    for (; end - p >= 8; p += 8) {
        if (const unsigned other = ~asciiWordMask(load(p)) & 0xFFFF)
            return p + firstLane<char16_t>(other);
    }
    return plain::skipAsciiWord(p, end);
}

inline const char16_t *findAsciiWordOrWide(const char16_t *p, const char16_t *end)
{
    for (; end - p >= 8; p += 8) {
        const __m128i v = load(p);
        if (const unsigned hits = asciiWordMask(v) | maskOf(wide(v, char16_t())))
            return p + firstLane<char16_t>(hits);
    }
    return plain::findAsciiWordOrWide(p, end);
}

template<typename T>
const T *findAnchored(const T *p, const T *end, const Anchors<T> &a)
{
    const __m128i firstFold = splat(a.firstFold), lastFold = splat(a.lastFold);
    for (; end - p >= lanes<T>; p += lanes<T>) {
        const __m128i head = _mm_or_si128(load(p), firstFold);
        const __m128i tail = _mm_or_si128(load(p + a.distance), lastFold);
        __m128i heads = _mm_or_si128(equal(head, a.first), equal(head, a.otherFirst));
        __m128i tails = equal(tail, a.last);
        if (a.wideMatches) {
            heads = _mm_or_si128(heads, wide(load(p), T()));
            tails = _mm_or_si128(tails, wide(load(p + a.distance), T()));
        }
        if (const unsigned mask = maskOf(_mm_and_si128(heads, tails)))
            return p + firstLane<T>(mask);
    }
    return plain::findAnchored(p, end, a);
}

} // namespace sse2

using sse2::count;
using sse2::findAnchored;
using sse2::findAsciiWordOrWide;
using sse2::findEither;
using sse2::findEitherOrWide;
using sse2::findUnprintableOr;
using sse2::isAscii;
using sse2::narrow;
using sse2::skipAsciiWord;
using sse2::widen;
using sse2::widenUntil;
#else
using plain::count;
using plain::findAnchored;
using plain::findAsciiWordOrWide;
using plain::findEither;
using plain::findEitherOrWide;
using plain::findUnprintableOr;
using plain::isAscii;
using plain::narrow;
using plain::skipAsciiWord;
using plain::widen;
using plain::widenUntil;
#endif

template<typename T>
const T *find(const T *p, const T *end, T c)
{
    return findEither(p, end, c, c);
}

} // namespace ov::scan
