#include <QTest>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "editor/core/vectorscan.h"

using namespace ov;

namespace {

using Byte = unsigned char;

// Every range starts at each of the sixteen alignments and runs through the
// lengths around one, two and three vector blocks; the range sits in a
// larger buffer, so that a scan that reads or stops past its end shows.
constexpr int MaxLength = 3 * 16 + 3;

template<typename T>
struct Buffer {
    // Room for an aligned range with a margin of sixteen units each side.
    std::vector<T> storage = std::vector<T>(MaxLength + 80);
    T *at(int offset)
    {
        const auto base = (reinterpret_cast<std::uintptr_t>(storage.data()) + 15) & ~std::uintptr_t(15);
        return reinterpret_cast<T *>(base) + 16 + offset;
    }
};

// Calls check(buffer, begin, end) for every alignment and length, with the
// buffer filled by `background`.
template<typename T, typename Check>
void forEachRange(T background, Check check)
{
    Buffer<T> buffer;
    for (int offset = 0; offset < 16; ++offset) {
        for (int length = 0; length <= MaxLength; ++length) {
            std::fill(buffer.storage.begin(), buffer.storage.end(), background);
            T *begin = buffer.at(offset);
            check(begin, begin + length);
            if (QTest::currentTestFailed()) {
                qWarning("alignment %d, length %d", offset, length);
                return;
            }
        }
    }
}

// The same, with one unit `hit` at each place of the range, and one just
// before and just after it, where it must not be found.
template<typename T, typename Check>
void forEachPlacement(T background, T hit, Check check)
{
    forEachRange(background, [&](T *begin, T *end) {
        begin[-1] = end[0] = hit;
        check(begin, end, end);
        for (T *p = begin; p < end && !QTest::currentTestFailed(); ++p) {
            *p = hit;
            check(begin, end, p);
            *p = background;
        }
    });
}

template<typename T>
std::vector<T> randomUnits(std::mt19937 &random, const std::vector<T> &alphabet, int length)
{
    std::vector<T> units(size_t(length) + 16);
    for (T &u : units)
        u = alphabet[random() % alphabet.size()];
    return units;
}

bool asciiWord(char16_t u)
{
    return (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') || u == '_';
}

// The units on both sides of every class boundary the scans test.
const std::vector<Byte> edgeBytes = {0, 0x09, 0x0D, 0x1F, 0x20, 0x22, 0x26, 0x3C, 0x3E, 0x7E, 0x7F, 0x80, 0xA0, 0xFF};
const std::vector<char16_t> edgeUnits = {0, 0x1F, 0x20, '"', '&', '/', '0', '9', ':', '<', '>', '@', 'A', 'Z', '[',
                                         '_', '`', 'a', 'z', '{', 0x7E, 0x7F, 0x80, 0xC1, 0xFF, 0x100, 0x141,
                                         0x7FFF, 0x8000, 0xD800, 0xFF41, 0xFFFF};

} // namespace

class VectorScanTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void findEither()
    {
        forEachPlacement<Byte>('x', '\t', [](const Byte *b, const Byte *e, const Byte *hit) {
            QCOMPARE(scan::findEither(b, e, Byte('\t'), Byte('\r')), hit);
            QCOMPARE(scan::find(b, e, Byte('\t')), hit);
        });
        forEachPlacement<Byte>('x', 0xFF, [](const Byte *b, const Byte *e, const Byte *hit) {
            QCOMPARE(scan::findEither(b, e, Byte('{'), Byte(0xFF)), hit);
        });
        for (const Byte edge : edgeBytes) {
            const bool found = edge == '\t' || edge == '\r' || edge > 0x7F;
            forEachPlacement<Byte>('x', edge, [&](const Byte *b, const Byte *e, const Byte *hit) {
                QCOMPARE(scan::findEitherOrWide(b, e, Byte('\t'), Byte('\r')), found ? hit : e);
            });
        }
        // A code unit whose high or low byte alone equals the one sought.
        forEachPlacement<char16_t>(u'{' << 8, u'}', [](const char16_t *b, const char16_t *e, const char16_t *hit) {
            QCOMPARE(scan::findEither(b, e, u'{', u'}'), hit);
        });
    }

    void count()
    {
        forEachPlacement<Byte>('\t', 'x', [](const Byte *b, const Byte *e, const Byte *) {
            QCOMPARE(scan::count(b, e, Byte('\t')), size_t(std::count(b, e, Byte('\t'))));
        });
        forEachPlacement<char16_t>(u'\t', 0x0900, [](const char16_t *b, const char16_t *e, const char16_t *) {
            QCOMPARE(scan::count(b, e, u'\t'), size_t(std::count(b, e, u'\t')));
        });
        // Past the point where a per-lane counter would wrap.
        const std::vector<Byte> bytes(70001, '\r');
        QCOMPARE(scan::count(bytes.data(), bytes.data() + bytes.size(), Byte('\r')), bytes.size());
        const std::vector<char16_t> units(300001, u'\t');
        QCOMPARE(scan::count(units.data(), units.data() + units.size(), u'\t'), units.size());
    }

    void isAscii()
    {
        for (const Byte high : {Byte(0x80), Byte(0xFF)}) {
            forEachPlacement<Byte>(0x7F, high, [](const Byte *b, const Byte *e, const Byte *hit) {
                QCOMPARE(scan::isAscii(b, e), hit == e);
            });
        }
    }

    // Exactly the range's units are written, each one for one.
    void widenAndNarrow()
    {
        std::mt19937 random(7);
        std::vector<Byte> ascii;
        for (int c = 0; c < 0x80; ++c)
            ascii.push_back(Byte(c));
        forEachRange<Byte>(0, [&](Byte *b, Byte *e) {
            const std::vector<Byte> bytes = randomUnits<Byte>(random, {0x41, 0x41, 0x41, 0x41, '\t', '\r', 0x80, 0xFF, 0}, int(e - b));
            std::copy(bytes.begin(), bytes.begin() + (e - b), b);
            std::vector<char16_t> wide(size_t(e - b) + 1, u'#');
            scan::widen(b, e, wide.data());
            QCOMPARE(wide.back(), u'#');
            QVERIFY(std::equal(b, e, wide.begin()));

            // Up to the first tab, carriage return or byte over 0x7F.
            const Byte *stop = std::find_if(b, e, [](Byte c) { return c == '\t' || c == '\r' || c > 0x7F; });
            std::vector<char16_t> until(size_t(e - b) + 16, u'#');
            QCOMPARE(scan::widenUntil(b, e, until.data(), '\t', '\r'), stop);
            QVERIFY(std::equal(static_cast<const Byte *>(b), stop, until.begin()));

            const std::vector<Byte> text = randomUnits(random, ascii, int(e - b));
            const std::vector<char16_t> units(text.begin(), text.end());
            std::vector<char> narrow(size_t(e - b) + 1, '#');
            scan::narrow(units.data(), units.data() + (e - b), narrow.data());
            QCOMPARE(narrow.back(), '#');
            QVERIFY(std::equal(narrow.begin(), narrow.end() - 1, text.begin()));
        });
    }

    void findUnprintableOr()
    {
        for (const Byte edge : edgeBytes) {
            const bool found = edge < 0x20 || edge > 0x7E || edge == '"' || edge == '&' || edge == '<';
            forEachPlacement<Byte>('a', edge, [&](const Byte *b, const Byte *e, const Byte *hit) {
                QCOMPARE(scan::findUnprintableOr(b, e, '"', '&', '<'), found ? hit : e);
            });
        }
        for (const char16_t edge : edgeUnits) {
            const bool found = edge < 0x20 || edge > 0x7E || edge == '"' || edge == '&' || edge == '<' || edge == '>';
            forEachPlacement<char16_t>(u'a', edge, [&](const char16_t *b, const char16_t *e, const char16_t *hit) {
                QCOMPARE(scan::findUnprintableOr(b, e, u'<', u'>', u'&', u'"'), found ? hit : e);
            });
        }
    }

    void asciiWords()
    {
        for (const char16_t edge : edgeUnits) {
            const bool word = asciiWord(edge);
            forEachPlacement<char16_t>(u'w', edge, [&](const char16_t *b, const char16_t *e, const char16_t *hit) {
                QCOMPARE(scan::skipAsciiWord(b, e), word ? e : hit);
            });
            forEachPlacement<char16_t>(u' ', edge, [&](const char16_t *b, const char16_t *e, const char16_t *hit) {
                QCOMPARE(scan::findAsciiWordOrWide(b, e), word || edge > 0x7F ? hit : e);
            });
        }
    }

    // Random texts of few letters, so that first and last anchors fit
    // often, alone and together, against a straightforward search.
    void findAnchored()
    {
        std::mt19937 random(19);
        const auto check = [&](auto unit, const auto &alphabet) {
            using T = decltype(unit);
            for (int distance = 0; distance < 12 && !QTest::currentTestFailed(); ++distance) {
                for (const bool fold : {false, true}) {
                    for (const bool wide : {false, true}) {
                        const scan::Anchors<T> anchors{T('f'), T(fold ? 'f' : 'r'), T('n'), distance,
                                                       T(fold ? 0x20 : 0), T(fold ? 0x20 : 0), wide};
                        const auto fits = [&](T u, T want, T otherWant) {
                            const T folded = fold && ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z')) ? T(u | 0x20) : u;
                            return folded == want || folded == otherWant || (wide && u > 0x7F);
                        };
                        forEachRange<T>(0, [&](T *b, T *e) {
                            const std::vector<T> text = randomUnits(random, alphabet, int(e - b) + distance);
                            std::copy(text.begin(), text.begin() + (e - b) + distance, b);
                            const T *expected = std::find_if(b, e, [&](const T &u) {
                                return fits(u, anchors.first, anchors.otherFirst) && fits((&u)[distance], T('n'), T('n'));
                            });
                            QCOMPARE(scan::findAnchored(static_cast<const T *>(b), static_cast<const T *>(e), anchors),
                                     expected);
                        });
                    }
                }
            }
        };
        check(Byte(), std::vector<Byte>{'f', 'F', 'n', 'N', 'r', 'x', 0x80, 0xC6});
        check(char16_t(), std::vector<char16_t>{'f', 'F', 'n', 'N', 'r', 'x', 0x80, 0x166, 0x8066, 0xFFFF});
    }
};

QTEST_APPLESS_MAIN(VectorScanTest)
#include "tst_vectorscan.moc"
