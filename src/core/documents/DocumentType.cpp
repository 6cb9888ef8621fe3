#include "DocumentType.h"

#include "FileMagic.h"
#include "OfficeConvert.h"
#include "TiffPdf.h"
#include "printing/PrintPdfTexts.h"

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <string_view>

#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <strings.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace DocumentType {

const char HelpText[] =
    MarkPrintPdf("Printed by their content, whatever the name says (a file named *.pdf must be a PDF):\n"
                 "  PDF; PostScript; JPEG, PNG, TIFF (every page), GIF and BMP images; plain text\n"
                 "  in UTF-8, UTF-16 with a byte order mark or the locale's encoding (Windows-1252\n"
                 "  when the locale is UTF-8); office documents (.odt .ods .odp .doc .docx .xls\n"
                 "  .xlsx .ppt .pptx .rtf), converted to PDF by LibreOffice (soffice in PATH) in\n"
                 "  at most 120 s (MORVANE_OFFICE_TIMEOUT seconds).\n"
                 "PostScript, images and text go to the spooler as they are, which converts them;\n"
                 "an image is checked to be whole (its structure, not its pixels) and counts as\n"
                 "one page (a TIFF as its frames), a text's page count is an estimate.\n");

Document::~Document()
{
    if (spoolFd >= 0)
        ::close(spoolFd);
}

namespace {

constexpr char Program[] = "morvane-printpdf";

// Kept in the document: Prepare writes it, Inspect hands it on.
int Fail(Document* doc, const std::string& message)
{
    doc->problem = message;
    return CannotLoad;
}

std::string Quoted(const std::string& s)
{
    return '"' + s + '"';
}

// The file's bytes, mapped read-only for the structure checks.
class Mapped
{
public:
    explicit Mapped(int fd, std::size_t size) : FSize(size)
    {
        if (size > 0) {
            void* p = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
            FData = p == MAP_FAILED ? nullptr : static_cast<const unsigned char*>(p);
        }
    }
    ~Mapped()
    {
        if (FData)
            ::munmap(const_cast<unsigned char*>(FData), FSize);
    }
    Mapped(const Mapped&) = delete;
    Mapped& operator=(const Mapped&) = delete;
    bool ok() const { return FData != nullptr; }
    const unsigned char* data() const { return FData; }
    std::size_t size() const { return FSize; }
    std::string_view view() const { return {reinterpret_cast<const char*>(FData), FSize}; }

private:
    const unsigned char* FData = nullptr;
    std::size_t FSize;
};

std::uint32_t Be32(const unsigned char* p)
{
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}
std::uint16_t Be16(const unsigned char* p)
{
    return std::uint16_t(p[0] << 8 | p[1]);
}
std::uint32_t Le32(const unsigned char* p)
{
    return std::uint32_t(p[3]) << 24 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[1]) << 8 | p[0];
}
std::uint16_t Le16(const unsigned char* p)
{
    return std::uint16_t(p[1] << 8 | p[0]);
}

// The structure checks: each walks the container to its end mark and checks
// that the sizes and offsets it meets stay inside the file. The pixels are not
// decoded; the spooler's filters do that, and a decoder here would cost more
// than the handover itself. Each returns the reason a file is refused, or empty.

std::string CheckJpeg(const Mapped& m, const std::string& name)
{
    const unsigned char* d = m.data();
    const std::size_t n = m.size();
    std::size_t at = 2;
    bool frame = false;
    while (at + 4 <= n) {
        if (d[at] != 0xFF)
            return FillIn(TrPrintPdf("%s is a damaged JPEG image: no marker at byte %s"), {name, std::to_string(at)});
        const unsigned char marker = d[at + 1];
        if (marker == 0xFF) { // fill byte
            ++at;
            continue;
        }
        if (marker == 0xD9)
            return FillIn(TrPrintPdf("%s is a damaged JPEG image: it ends before its image data"), {name});
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
            at += 2;
            continue;
        }
        const std::size_t length = Be16(d + at + 2);
        if (length < 2 || at + 2 + length > n)
            return FillIn(TrPrintPdf("%s is incomplete: a JPEG segment runs past the end of the file"), {name});
        // SOF0..SOF15 without DHT (C4), JPG (C8) and DAC (CC): the frame and its size.
        if (marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC) {
            if (length < 8 || Be16(d + at + 5) == 0 || Be16(d + at + 7) == 0)
                return FillIn(TrPrintPdf("%s is a damaged JPEG image: no image size"), {name});
            frame = true;
        }
        if (marker == 0xDA) {
            if (!frame)
                return FillIn(TrPrintPdf("%s is a damaged JPEG image: image data without a frame header"), {name});
            // Inside the image data every 0xFF is followed by 0x00 or a restart
            // marker, so the end mark found last lies after the data only if the file is whole.
            const std::string_view rest = m.view().substr(at + 2 + length);
            const std::size_t eoi = rest.rfind("\xFF\xD9");
            return eoi == std::string_view::npos
                       ? FillIn(TrPrintPdf("%s is incomplete: the JPEG image has no end mark"), {name})
                       : "";
        }
        at += 2 + length;
    }
    return FillIn(TrPrintPdf("%s is incomplete: the JPEG image ends before its image data"), {name});
}

std::string CheckPng(const Mapped& m, const std::string& name)
{
    const unsigned char* d = m.data();
    const std::size_t n = m.size();
    std::size_t at = 8;
    bool header = false, data = false;
    while (at + 12 <= n) {
        const std::size_t length = Be32(d + at);
        const std::string_view type(reinterpret_cast<const char*>(d + at + 4), 4);
        if (length > n - at - 12)
            return FillIn(TrPrintPdf("%s is incomplete: a PNG chunk runs past the end of the file"), {name});
        if (!header) {
            if (type != "IHDR" || length != 13 || Be32(d + at + 8) == 0 || Be32(d + at + 12) == 0)
                return FillIn(TrPrintPdf("%s is a damaged PNG image: no image header"), {name});
            header = true;
        }
        if (type == "IDAT")
            data = true;
        if (type == "IEND")
            return data ? "" : FillIn(TrPrintPdf("%s is a damaged PNG image: no image data"), {name});
        at += 12 + length;
    }
    return FillIn(TrPrintPdf("%s is incomplete: the PNG image has no end chunk"), {name});
}

std::string CheckGif(const Mapped& m, const std::string& name)
{
    const unsigned char* d = m.data();
    const std::size_t n = m.size();
    if (n < 13 || Le16(d + 6) == 0 || Le16(d + 8) == 0)
        return FillIn(TrPrintPdf("%s is a damaged GIF image: no image size"), {name});
    std::size_t at = 13;
    if (d[10] & 0x80)
        at += 3u << ((d[10] & 7) + 1);
    // Data sub-blocks: a length byte and that many bytes, up to a zero length.
    const auto skipBlocks = [&](std::size_t pos) -> std::size_t {
        while (pos < n && d[pos] != 0)
            pos += 1 + d[pos];
        return pos < n ? pos + 1 : std::string::npos;
    };
    bool image = false;
    while (at < n) {
        if (d[at] == 0x3B)
            return image ? "" : FillIn(TrPrintPdf("%s is a damaged GIF image: no image in it"), {name});
        if (d[at] == 0x21) {
            at = at + 2 <= n ? skipBlocks(at + 2) : std::string::npos;
        } else if (d[at] == 0x2C) {
            if (at + 11 > n)
                break;
            std::size_t pos = at + 10;
            if (d[at + 9] & 0x80)
                pos += 3u << ((d[at + 9] & 7) + 1);
            at = pos + 1 <= n ? skipBlocks(pos + 1) : std::string::npos; // after the LZW code size
            image = true;
        } else {
            return FillIn(TrPrintPdf("%s is a damaged GIF image: unknown block at byte %s"),
                          {name, std::to_string(at)});
        }
        if (at == std::string::npos)
            break;
    }
    return FillIn(TrPrintPdf("%s is incomplete: the GIF image has no end mark"), {name});
}

std::string CheckBmp(const Mapped& m, const std::string& name)
{
    const unsigned char* d = m.data();
    const std::size_t n = m.size();
    if (n < 26)
        return FillIn(TrPrintPdf("%s is incomplete: the BMP image ends inside its header"), {name});
    const std::uint32_t offset = Le32(d + 10), headerSize = Le32(d + 14);
    long width = 0, height = 0;
    unsigned bits = 0, compression = 0;
    if (headerSize == 12) {
        width = Le16(d + 18);
        height = Le16(d + 20);
        bits = Le16(d + 24);
    } else if (headerSize >= 40 && n >= 54) {
        width = static_cast<std::int32_t>(Le32(d + 18));
        height = static_cast<std::int32_t>(Le32(d + 22));
        bits = Le16(d + 28);
        compression = Le32(d + 30);
    } else {
        return FillIn(TrPrintPdf("%s is a damaged BMP image: unknown header"), {name});
    }
    if (width <= 0 || height == 0)
        return FillIn(TrPrintPdf("%s is a damaged BMP image: no image size"), {name});
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return FillIn(TrPrintPdf("%s is a damaged BMP image: %s bits per pixel"), {name, std::to_string(bits)});
    if (offset >= n)
        return FillIn(TrPrintPdf("%s is incomplete: the BMP image ends before its pixels"), {name});
    // Uncompressed rows (BI_RGB, BI_BITFIELDS) are padded to 4 bytes: their size is known.
    if (compression == 0 || compression == 3) {
        const unsigned long long row = (static_cast<unsigned long long>(width) * bits + 31) / 32 * 4;
        if (static_cast<unsigned long long>(std::labs(height)) > (n - offset) / row)
            return FillIn(TrPrintPdf("%s is incomplete: the BMP image ends inside its pixels"), {name});
    }
    return "";
}

// Counts the frames (IFDs) of a TIFF file, each of whose strips or tiles must lie inside it.
std::string CheckTiff(const Mapped& m, const std::string& name, int* frames)
{
    const unsigned char* d = m.data();
    const std::size_t n = m.size();
    const bool le = d[0] == 'I';
    const auto u16 = [&](std::size_t p) { return le ? Le16(d + p) : Be16(d + p); };
    const auto u32 = [&](std::size_t p) { return le ? Le32(d + p) : Be32(d + p); };
    if (u16(2) == 43)
        return FillIn(TrPrintPdf("%s is a BigTIFF image, which is not printed"), {name});
    std::set<std::uint32_t> seen;
    *frames = 0;
    for (std::uint32_t ifd = u32(4); ifd != 0; ++*frames) {
        if (!seen.insert(ifd).second)
            return FillIn(TrPrintPdf("%s is a damaged TIFF image: its pages form a loop"), {name});
        if (ifd > n - 2 || ifd + 2 + 12ull * u16(ifd) + 4 > n)
            return FillIn(TrPrintPdf("%s is incomplete: a TIFF page directory runs past the end of the file"), {name});
        const unsigned entries = u16(ifd);
        std::uint32_t width = 0, height = 0;
        // The (offsets, byte counts) tags: strips 273/279, tiles 324/325.
        std::size_t offsets[2] = {}, counts[2] = {};
        for (unsigned i = 0; i < entries; ++i) {
            const std::size_t e = ifd + 2 + 12ull * i;
            const unsigned tag = u16(e), type = u16(e + 2);
            const std::uint32_t count = u32(e + 4);
            const std::uint32_t value = type == 3 ? u16(e + 8) : u32(e + 8);
            if (tag == 256)
                width = value;
            else if (tag == 257)
                height = value;
            const int slot = tag == 273 || tag == 279 ? 0 : tag == 324 || tag == 325 ? 1 : -1;
            if (slot < 0)
                continue;
            if ((type != 3 && type != 4) || count == 0)
                return FillIn(TrPrintPdf("%s is a damaged TIFF image: bad strip table"), {name});
            (tag == 273 || tag == 324 ? offsets : counts)[slot] = e;
        }
        if (width == 0 || height == 0)
            return FillIn(TrPrintPdf("%s is a damaged TIFF image: page %s has no size"),
                          {name, std::to_string(*frames + 1)});
        const int slot = offsets[0] ? 0 : 1;
        if (!offsets[slot] || !counts[slot] || u32(offsets[slot] + 4) != u32(counts[slot] + 4))
            return FillIn(TrPrintPdf("%s is a damaged TIFF image: page %s has no strip table"),
                          {name, std::to_string(*frames + 1)});
        // An array of count values of type SHORT or LONG, in the entry or at its offset.
        const auto item = [&](std::size_t e, std::uint32_t k, bool* inside) -> std::uint64_t {
            const unsigned width = u16(e + 2) == 3 ? 2 : 4;
            const std::uint64_t total = static_cast<std::uint64_t>(width) * u32(e + 4);
            const std::uint64_t at = total <= 4 ? e + 8 + k * width : u32(e + 8) + std::uint64_t(k) * width;
            *inside = at + width <= n;
            return !*inside ? 0 : width == 2 ? u16(at) : u32(at);
        };
        for (std::uint32_t k = 0; k < u32(offsets[slot] + 4); ++k) {
            bool inOffsets = false, inCounts = false;
            const std::uint64_t from = item(offsets[slot], k, &inOffsets), size = item(counts[slot], k, &inCounts);
            if (!inOffsets || !inCounts || from + size > n)
                return FillIn(TrPrintPdf("%s is incomplete: page %s of the TIFF image runs past the end"),
                              {name, std::to_string(*frames + 1)});
        }
        ifd = u32(ifd + 2 + 12ull * entries);
        if (*frames > 100000)
            return FillIn(TrPrintPdf("%s is a damaged TIFF image: too many pages"), {name});
    }
    return *frames ? "" : FillIn(TrPrintPdf("%s is a damaged TIFF image: no page in it"), {name});
}

// PostScript's own count (%%Pages: N, in the header or, "(atend)", in the
// trailer); else the %%Page: comments; else 1, an estimate.
int PostScriptPages(const Mapped& m, bool* estimated)
{
    const std::string_view text = m.view();
    const auto countAt = [&](std::string_view part) {
        for (std::size_t p = part.find("%%Pages:"); p != std::string_view::npos; p = part.find("%%Pages:", p + 1)) {
            std::size_t q = p + 8;
            while (q < part.size() && part[q] == ' ')
                ++q;
            int value = 0;
            bool digits = false;
            while (q < part.size() && part[q] >= '0' && part[q] <= '9' && value < 1000000) {
                value = value * 10 + (part[q++] - '0');
                digits = true;
            }
            if (digits && value > 0)
                return value;
        }
        return 0;
    };
    *estimated = false;
    if (const int head = countAt(text.substr(0, 4096)))
        return head;
    if (const int tail = countAt(text.substr(text.size() > 4096 ? text.size() - 4096 : 0)))
        return tail;
    int pages = 0;
    for (std::size_t p = text.find("\n%%Page:"); p != std::string_view::npos; p = text.find("\n%%Page:", p + 1))
        ++pages;
    *estimated = pages == 0;
    return std::max(pages, 1);
}

bool ValidUtf8(std::string_view s)
{
    std::size_t i = 0;
    while (i < s.size()) {
        const unsigned char c = s[i];
        const int more = c < 0x80                          ? 0
                         : (c & 0xE0) == 0xC0 && c >= 0xC2 ? 1
                         : (c & 0xF0) == 0xE0              ? 2
                         : (c & 0xF8) == 0xF0 && c <= 0xF4 ? 3
                                                           : -1;
        if (more < 0 || i + more >= s.size() + (more ? 0 : 1))
            return false;
        for (int k = 1; k <= more; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                return false;
        if (more == 2) { // no overlong forms, no surrogates
            const unsigned char c1 = s[i + 1];
            if ((c == 0xE0 && c1 < 0xA0) || (c == 0xED && c1 >= 0xA0))
                return false;
        } else if (more == 3) {
            const unsigned char c1 = s[i + 1];
            if ((c == 0xF0 && c1 < 0x90) || (c == 0xF4 && c1 >= 0x90))
                return false;
        }
        i += 1 + more;
    }
    return true;
}

// The spooler's text filter reads UTF-8 only: other text is converted, into
// an anonymous memory file. Returns false when the bytes are not that encoding.
bool ToUtf8(std::string_view in, const char* from, int* fd)
{
    iconv_t cd = ::iconv_open("UTF-8", from);
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    std::string out(in.size() * 3 + 16, '\0');
    char* inPtr = const_cast<char*>(in.data());
    std::size_t inLeft = in.size(), outLeft = out.size();
    char* outPtr = out.data();
    const bool ok = ::iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft) != static_cast<std::size_t>(-1) && inLeft == 0;
    ::iconv_close(cd);
    if (!ok)
        return false;
    out.resize(out.size() - outLeft);
    *fd = ::memfd_create("morvane-text", MFD_CLOEXEC);
    std::size_t done = 0;
    while (*fd >= 0 && done < out.size()) {
        const ssize_t w = ::write(*fd, out.data() + done, out.size() - done);
        if (w <= 0)
            return false;
        done += static_cast<std::size_t>(w);
    }
    return *fd >= 0;
}

// The spooler's text filter sets 10 characters per inch and 6 lines per inch:
// on A4 82 columns and 70 lines (66 on Letter), as cups-pdf's output
// shows. Long lines wrap, a form feed starts a page.
int TextPages(std::string_view text)
{
    constexpr int Columns = 82, Lines = 70;
    int pages = 1, lines = 0, column = 0;
    bool pending = false; // something on the current page
    for (const char c : text) {
        if (c == '\f') {
            ++pages;
            lines = column = 0;
            pending = false;
            continue;
        }
        pending = true;
        if (c == '\n' || ++column > Columns) {
            column = c == '\n' ? 0 : 1;
            if (++lines >= Lines) {
                ++pages;
                lines = 0;
                pending = false;
            }
        }
    }
    // A text that ends exactly at a page end has no empty page after it.
    return pending || pages == 1 ? pages : pages - 1;
}

bool EndsWithNoCase(const std::string& s, std::string_view end)
{
    return s.size() >= end.size() && strcasecmp(s.c_str() + s.size() - end.size(), end.data()) == 0;
}

bool OfficeName(const std::string& file)
{
    for (const char* e : {".odt", ".ods", ".odp", ".doc", ".docx", ".xls", ".xlsx", ".ppt", ".pptx", ".rtf"})
        if (EndsWithNoCase(file, e))
            return true;
    return false;
}

bool OfficeMime(std::string_view mime)
{
    return mime.starts_with("application/vnd.oasis.opendocument.") ||
           mime.starts_with("application/vnd.openxmlformats-officedocument.") || mime == "application/msword" ||
           mime == "application/vnd.ms-excel" || mime == "application/vnd.ms-powerpoint" || mime == "text/rtf" ||
           mime == "application/rtf";
}

// The types the spooler converts itself, told by their first bytes.
bool Sniff(const unsigned char* h, std::size_t n, Kind* kind, std::string* format)
{
    const auto is = [&](const char* sig, std::size_t len) { return n >= len && std::memcmp(h, sig, len) == 0; };
    if (is("\xFF\xD8\xFF", 3))
        *kind = Kind::Jpeg, *format = "image/jpeg";
    else if (is("\x89PNG\r\n\x1A\n", 8))
        *kind = Kind::Png, *format = "image/png";
    else if (is("II*\0", 4) || is("MM\0*", 4) || is("II+\0", 4) || is("MM\0+", 4))
        *kind = Kind::Tiff, *format = "image/tiff";
    else if (is("GIF87a", 6) || is("GIF89a", 6))
        *kind = Kind::Gif, *format = "image/gif";
    // "BM" and a known header size: a text that begins with "BM" is no image.
    else if (is("BM", 2) && n >= 18 &&
             (Le32(h + 14) == 12 || Le32(h + 14) == 40 || Le32(h + 14) == 52 || Le32(h + 14) == 56 ||
              Le32(h + 14) == 108 || Le32(h + 14) == 124))
        *kind = Kind::Bmp, *format = "image/x-bitmap"; // the spooler's name for BMP
    else if (is("%!", 2) || is("\x04%!", 3))
        *kind = Kind::PostScript, *format = "application/postscript";
    else
        return false;
    return true;
}

int PrepareText(const std::string& file, const Mapped& m, const Magic& magic, Document* doc)
{
    const std::string_view text = m.view();
    if (text.find('\0') != std::string_view::npos && !magic.charset.starts_with("utf-16"))
        return Fail(doc, FillIn(TrPrintPdf("%s is not text: it contains NUL bytes"), {Quoted(file)}));
    doc->kind = Kind::Text;
    doc->format = doc->type = "text/plain";
    doc->pagesEstimated = true;
    const bool utf16 = magic.charset.starts_with("utf-16");
    if (!utf16 && ValidUtf8(text)) {
        doc->pages = TextPages(text);
        return 0;
    }
    // Not UTF-8: UTF-16 by its byte order mark, else the locale's encoding, and
    // Windows-1252 (Latin-1 with the typographic signs) under a UTF-8 locale.
    std::setlocale(LC_CTYPE, "");
    std::string from = utf16 ? "UTF-16" : nl_langinfo(CODESET);
    if (strcasecmp(from.c_str(), "UTF-8") == 0 || strcasecmp(from.c_str(), "ANSI_X3.4-1968") == 0)
        from = "WINDOWS-1252";
    int fd = -1;
    if (!ToUtf8(text, from.c_str(), &fd)) {
        if (fd >= 0)
            ::close(fd);
        return Fail(doc, FillIn(TrPrintPdf("%s is not text in UTF-8 or %s"), {Quoted(file), from}));
    }
    doc->spoolFd = fd;
    doc->spoolFile = "/dev/fd/" + std::to_string(fd);
    const off_t size = ::lseek(fd, 0, SEEK_END);
    const Mapped converted(fd, static_cast<std::size_t>(std::max<off_t>(size, 0)));
    doc->pages = converted.ok() ? TextPages(converted.view()) : 1;
    return 0;
}

} // namespace

bool HasOfficeExtension(const std::string& file)
{
    return OfficeName(file);
}

int PagesForRanges(const PrintSettings::Settings& settings, int pages)
{
    for (const PrintSettings::PageRange& r : settings.ranges)
        pages = std::max({pages, r.first, r.last});
    return pages;
}

namespace {

// Prepare's work; without convert nothing is converted (an office document,
// the pages of a TIFF), and a PDF is left to the caller's PDF check.
int Examine(const std::string& file, Document* doc, bool convert)
{
    struct stat st
    {
    };
    if (::stat(file.c_str(), &st) != 0)
        return Fail(doc, FillIn(TrPrintPdf("cannot open %s: %s"), {Quoted(file), std::strerror(errno)}));
    if (S_ISDIR(st.st_mode))
        return Fail(doc, FillIn(TrPrintPdf("cannot open %s: it is a directory"), {Quoted(file)}));
    // A pipe or device would block the reader or never end.
    if (!S_ISREG(st.st_mode))
        return Fail(doc, FillIn(TrPrintPdf("cannot open %s: it is not a regular file"), {Quoted(file)}));
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return Fail(doc, FillIn(TrPrintPdf("cannot open %s: %s"), {Quoted(file), std::strerror(errno)}));
    std::unique_ptr<int, void (*)(int*)> closer(new int(fd), [](int* f) {
        ::close(*f);
        delete f;
    });
    doc->spoolFile = file;
    unsigned char head[1024];
    const ssize_t got = ::pread(fd, head, sizeof head, 0);
    const std::size_t n = got > 0 ? static_cast<std::size_t>(got) : 0;
    // The PDF header may come after some bytes of junk, as PDF readers accept: the PDF check decides.
    if (memmem(head, n, "%PDF-", 5))
        return 0;

    Kind kind = Kind::Pdf; // stays so for a type that is not printed (a PDF was taken above)
    std::string format;
    Magic magic;
    if (!Sniff(head, n, &kind, &format)) {
        magic = AskMagic(fd, true);
        if (magic.mime.starts_with("text/") && !OfficeMime(magic.mime))
            kind = Kind::Text;
        else if (OfficeMime(magic.mime) ||
                 (OfficeName(file) && (magic.mime == "application/zip" || magic.mime == "application/octet-stream" ||
                                       magic.mime == "application/x-ole-storage" || magic.mime == "application/CDFV2")))
            kind = Kind::Office; // what LibreOffice cannot open, it says
    }
    if (kind == Kind::Pdf || EndsWithNoCase(file, ".pdf")) {
        if (magic.mime.empty() && magic.description.empty())
            magic = AskMagic(fd, true);
        const std::string what = magic.description.empty() ? TrPrintPdf("unknown") : magic.description;
        if (EndsWithNoCase(file, ".pdf"))
            return Fail(doc,
                        FillIn(TrPrintPdf("%s is not a PDF file, or is incomplete: no PDF header (its content is %s)"),
                               {Quoted(file), what}));
        return Fail(doc, FillIn(TrPrintPdf("%s is of a type that is not printed: %s"), {Quoted(file), what}) +
                             (magic.mime.empty() ? "" : " (" + magic.mime + ")"));
    }
    if (kind == Kind::Office) {
        doc->type = magic.mime;
        if (convert)
            return ConvertOfficeDocument(file, doc);
        doc->kind = Kind::Office;
        if (SofficePath().empty())
            return Fail(doc, OfficeMissingText(file));
        return 0;
    }

    const Mapped m(fd, static_cast<std::size_t>(st.st_size));
    if (!m.ok())
        return Fail(doc, FillIn(TrPrintPdf("cannot read %s: %s"), {Quoted(file), std::strerror(errno)}));
    if (kind == Kind::Text)
        return PrepareText(file, m, magic, doc);

    doc->kind = kind;
    doc->format = doc->type = format;
    if (kind == Kind::Bmp)
        doc->type = "image/bmp";
    doc->pages = 1;
    // Each check says the whole sentence, so that a language can place the name where it needs it.
    const std::string name = Quoted(file);
    std::string problem;
    switch (kind) {
    case Kind::Jpeg:
        problem = CheckJpeg(m, name);
        break;
    case Kind::Png:
        problem = CheckPng(m, name);
        break;
    case Kind::Gif:
        problem = CheckGif(m, name);
        break;
    case Kind::Bmp:
        problem = CheckBmp(m, name);
        break;
    case Kind::Tiff:
        problem = m.size() < 8 ? FillIn(TrPrintPdf("%s is incomplete: the TIFF header is cut"), {name})
                               : CheckTiff(m, name, &doc->pages);
        break;
    case Kind::PostScript:
        doc->pages = PostScriptPages(m, &doc->pagesEstimated);
        break;
    default:
        break;
    }
    if (problem.empty() && kind == Kind::Tiff && doc->pages > 1 && convert) {
        const int pdf = ::memfd_create("morvane-tiff", MFD_CLOEXEC);
        if (pdf < 0)
            return Fail(doc, FillIn(TrPrintPdf("cannot convert %s: %s"), {Quoted(file), std::strerror(errno)}));
        doc->spoolFd = pdf;
        doc->spoolFile = "/dev/fd/" + std::to_string(pdf);
        doc->format = "application/pdf";
        if (!TiffPagesToPdf(file, pdf, &problem) && problem.empty())
            problem = FillIn(TrPrintPdf("cannot convert %s: %s"), {name, TrPrintPdf("unknown error")});
    }
    if (!problem.empty())
        return Fail(doc, problem);
    return 0;
}

} // namespace

int Prepare(const std::string& file, Document* doc)
{
    const int result = Examine(file, doc, true);
    if (!doc->problem.empty())
        std::fprintf(stderr, "%s: %s\n", Program, doc->problem.c_str());
    return result;
}

Inspection Inspect(const std::string& file)
{
    Document doc;
    Inspection result;
    Examine(file, &doc, false);
    result.kind = doc.kind;
    result.type = doc.type;
    result.pages = doc.pages;
    result.pagesEstimated = doc.pagesEstimated;
    result.problem = doc.problem;
    // The reason without the file's name in front, as a list beside the names shows it.
    if (const std::string named = Quoted(file) + ' '; result.problem.starts_with(named))
        result.problem.erase(0, named.size());
    return result;
}

} // namespace DocumentType
