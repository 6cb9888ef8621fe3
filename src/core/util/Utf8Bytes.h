#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The one rule for which bytes are valid UTF-8, shared by the file name
// mapping and by programs that do not link the toolkit.

// The length of the valid UTF-8 sequence at the start of s (1 to 4), or 0 when
// its first byte does not start one. Overlong forms, surrogates and code
// points above U+10FFFF are invalid.
inline std::size_t Utf8SequenceLength(std::string_view s)
{
    if (s.empty())
        return 0;
    const auto b = [&s](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char c = b(0);
    if (c < 0x80)
        return 1;
    std::size_t n = 0;
    unsigned char lo = 0x80, hi = 0xBF; // allowed range of the second byte
    if (c >= 0xC2 && c <= 0xDF)
        n = 2;
    else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        if (c == 0xE0)
            lo = 0xA0; // overlong
        else if (c == 0xED)
            hi = 0x9F; // surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        if (c == 0xF0)
            lo = 0x90; // overlong
        else if (c == 0xF4)
            hi = 0x8F; // above U+10FFFF
    } else
        return 0;
    if (s.size() < n || b(1) < lo || b(1) > hi)
        return 0;
    for (std::size_t i = 2; i < n; ++i) {
        if (b(i) < 0x80 || b(i) > 0xBF)
            return 0;
    }
    return n;
}

// The bytes as readable UTF-8: each byte that is not part of valid UTF-8
// becomes U+FFFD, control characters become "?". For titles and messages,
// never for opening files.
inline std::string ReadableUtf8(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    while (!s.empty()) {
        const std::size_t n = Utf8SequenceLength(s);
        if (n == 0)
            out += "\xEF\xBF\xBD";
        else if (n == 1 && (static_cast<unsigned char>(s[0]) < 0x20 || s[0] == 0x7F))
            out += '?';
        else
            out.append(s.substr(0, n));
        s.remove_prefix(n == 0 ? 1 : n);
    }
    return out;
}
