#include "util/FileNameBytes.h"

#include "util/Utf8Bytes.h"

#include <string_view>

namespace {

constexpr char16_t EscapeBase = 0xDC00;
constexpr char16_t EscapeFirst = 0xDC80;
constexpr char16_t EscapeLast = 0xDCFF;

void AppendUtf8(QByteArray& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

} // namespace

QString FileNameFromBytes(QByteArrayView bytes)
{
    QString name;
    name.reserve(bytes.size());
    std::string_view rest(bytes.data(), static_cast<std::size_t>(bytes.size()));
    while (!rest.empty()) {
        // Runs of valid UTF-8 go to the decoder as a whole.
        std::size_t valid = 0;
        while (valid < rest.size()) {
            const std::size_t n = Utf8SequenceLength(rest.substr(valid));
            if (n == 0)
                break;
            valid += n;
        }
        if (valid > 0)
            name += QString::fromUtf8(rest.data(), static_cast<qsizetype>(valid));
        rest.remove_prefix(valid);
        if (!rest.empty()) {
            name += QChar(static_cast<char16_t>(EscapeBase + static_cast<unsigned char>(rest[0])));
            rest.remove_prefix(1);
        }
    }
    return name;
}

QByteArray FileNameToBytes(QStringView name)
{
    QByteArray out;
    out.reserve(name.size());
    const qsizetype n = name.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = name[i].unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < n && QChar::isLowSurrogate(name[i + 1].unicode())) {
            AppendUtf8(out, QChar::surrogateToUcs4(c, name[++i].unicode()));
        } else if (c >= EscapeFirst && c <= EscapeLast) {
            out += static_cast<char>(c - EscapeBase);
        } else if (QChar::isSurrogate(c)) {
            AppendUtf8(out, 0xFFFD);
        } else {
            AppendUtf8(out, c);
        }
    }
    return out;
}
