#include "TextFigures.h"

#include "BackupStats.h"
#include "store/Records.h"

#include <QSysInfo>

#include <array>
#include <cstring>
#include <bitset>

namespace {

// QChar::isSpace of every UTF-16 code unit; no code point beyond them is white space.
const std::bitset<0x10000>& spaceUnits()
{
    static const std::bitset<0x10000> bits = [] {
        std::bitset<0x10000> b;
        for (char32_t c = 0; c < 0x10000; ++c)
            if (QChar::isSpace(c))
                b.set(c);
        return b;
    }();
    return bits;
}

// The same for ASCII, as a plain table: most of a dictation's bytes go through it.
const std::array<bool, 0x80>& asciiSpaces()
{
    static const std::array<bool, 0x80> table = [] {
        std::array<bool, 0x80> t{};
        for (char32_t c = 0; c < 0x80; ++c)
            t[c] = QChar::isSpace(c);
        return t;
    }();
    return table;
}

constexpr quint64 kOnes = 0x0101010101010101ULL;
constexpr quint64 kHigh = 0x8080808080808080ULL;

// The high bit of every byte of x equal to v, of x's bytes all below 0x80 (no carry crosses bytes).
quint64 bytesEqual(quint64 x, unsigned char v)
{
    const quint64 t = x ^ (kOnes * v);
    return ~(t + kOnes * 0x7F) & kHigh;
}

// How many bytes have their high bit set in a mask of high bits (a multiply, where a population
// count would be a library call on a CPU baseline without one).
int highBits(quint64 mask)
{
    return int(((mask >> 7) * kOnes) >> 56);
}

// The same for the bytes from lo to hi.
quint64 bytesBetween(quint64 x, unsigned char lo, unsigned char hi)
{
    return (x + kOnes * (0x80 - lo)) & ~(x + kOnes * (0x7F - hi)) & kHigh;
}

// Eight bytes at a time take ASCII's white space to be tab to CR and the space.
bool swarSpacesHold()
{
    const auto& table = asciiSpaces();
    for (unsigned c = 0; c < 0x80; ++c)
        if (table[c] != (c == ' ' || (c >= '\t' && c <= '\r')))
            return false;
    return true;
}

bool continuation(unsigned char b) { return (b & 0xC0) == 0x80; }

} // namespace

TextFigures TextFigures::of(const QString& text) { return {wordCount(text), visibleCharacterCount(text)}; }

TextFigures TextFigures::ofUtf8(QByteArrayView utf8)
{
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    const qsizetype n = utf8.size();
    const auto& space = spaceUnits();
    const auto& asciiSpace = asciiSpaces();
    static const bool swar = QSysInfo::ByteOrder == QSysInfo::LittleEndian && swarSpacesHold();
    qint64 words = 0;
    qint64 codePoints = 0;
    qint64 crlf = 0;
    bool inWord = false;
    bool afterCR = false;
    // Below U+0300, where combining marks begin, every code point is one character, CR LF aside.
    bool simple = true;
    // The decoder drops a byte order mark that opens the text.
    qsizetype i = utf8.startsWith("\xef\xbb\xbf") ? 3 : 0;
    while (i < n) {
        // Most of a dictation is ASCII: eight bytes at a time while they are.
        if (swar) {
            for (; i + 8 <= n; i += 8) {
                quint64 x;
                std::memcpy(&x, p + i, 8);
                if (x & kHigh)
                    break;
                const quint64 white = bytesEqual(x, ' ') | bytesBetween(x, '\t', '\r');
                const quint64 dark = ~white & kHigh;
                // A word starts on a dark byte after a white one; the first byte looks back.
                words += highBits(dark & (white << 8 | (inWord ? 0 : 0x80)));
                const quint64 cr = bytesEqual(x, '\r');
                crlf += highBits(bytesEqual(x, '\n') & (cr << 8 | (afterCR ? 0x80 : 0)));
                inWord = dark >> 63;
                afterCR = cr >> 63;
                codePoints += 8;
            }
            if (i == n)
                break;
        }
        const unsigned char b = p[i];
        if (b < 0x80) {
            const bool white = asciiSpace[b];
            words += !white & !inWord;
            inWord = !white;
            crlf += (b == '\n') & afterCR;
            afterCR = b == '\r';
            ++codePoints;
            ++i;
            continue;
        }
        char32_t c = 0;
        if (b >= 0xC2 && b <= 0xDF && i + 1 < n && continuation(p[i + 1])) {
            c = char32_t(b & 0x1F) << 6 | (p[i + 1] & 0x3F);
            i += 2;
        } else if (b >= 0xE0 && b <= 0xEF && i + 2 < n && continuation(p[i + 1]) && continuation(p[i + 2]) &&
                   (b != 0xE0 || p[i + 1] >= 0xA0) && (b != 0xED || p[i + 1] < 0xA0)) {
            // Neither an overlong form nor a surrogate.
            c = char32_t(b & 0x0F) << 12 | char32_t(p[i + 1] & 0x3F) << 6 | (p[i + 2] & 0x3F);
            i += 3;
        } else if (b >= 0xF0 && b <= 0xF4 && i + 3 < n && continuation(p[i + 1]) && continuation(p[i + 2]) &&
                   continuation(p[i + 3]) && (b != 0xF0 || p[i + 1] >= 0x90) && (b != 0xF4 || p[i + 1] < 0x90)) {
            c = char32_t(b & 0x07) << 18 | char32_t(p[i + 1] & 0x3F) << 12 | char32_t(p[i + 2] & 0x3F) << 6 |
                (p[i + 3] & 0x3F);
            i += 4;
        } else {
            // Invalid UTF-8: the decoder's replacement characters decide.
            return of(QString::fromUtf8(utf8));
        }
        ++codePoints;
        simple = simple && c < 0x300;
        afterCR = false;
        // A code point beyond the BMP is two code units, neither of them white space.
        const bool white = c < 0x10000 && space[c];
        words += !white & !inWord;
        inWord = !white;
    }
    if (simple)
        return {words, codePoints - crlf};
    return {words, visibleCharacterCount(QString::fromUtf8(utf8))};
}
