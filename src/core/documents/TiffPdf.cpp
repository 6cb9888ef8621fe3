#include "TiffPdf.h"

#include "printing/PrintPdfTexts.h"

#include <tiffio.h>
#include <zlib.h>

#include <cstdarg>
#include <cstdio>
#include <memory>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

namespace DocumentType {

namespace {

// libtiff's last complaint, instead of its lines on stderr.
thread_local std::string LastTiffError;

void KeepTiffError(const char*, const char* format, va_list args)
{
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    LastTiffError = text;
}

void IgnoreTiffWarning(const char*, const char*, va_list) {}

// One page's image: 1-bit or 8-bit gray, or 8-bit RGB, rows top to bottom.
struct Raster
{
    std::uint32_t width = 0, height = 0;
    int bits = 8;
    bool rgb = false;
    std::vector<unsigned char> bytes;
};

bool ReadPage(TIFF* tif, Raster* r, double* dpiX, double* dpiY)
{
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &r->width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &r->height);
    // 100 million pixels (A3 at 600 dpi is 70 million): a page is decoded whole, 4 bytes a pixel.
    if (r->width == 0 || r->height == 0 || static_cast<std::uint64_t>(r->width) * r->height > 100000000ull)
        return false;
    float x = 0, y = 0;
    std::uint16_t unit = RESUNIT_INCH, samples = 1, bitsPerSample = 1;
    TIFFGetFieldDefaulted(tif, TIFFTAG_RESOLUTIONUNIT, &unit);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bitsPerSample);
    const double perInch = unit == RESUNIT_CENTIMETER ? 2.54 : 1.0;
    *dpiX = TIFFGetField(tif, TIFFTAG_XRESOLUTION, &x) && x > 0 ? x * perInch : 72.0;
    *dpiY = TIFFGetField(tif, TIFFTAG_YRESOLUTION, &y) && y > 0 ? y * perInch : *dpiX;

    std::vector<std::uint32_t> rgba(static_cast<std::size_t>(r->width) * r->height);
    if (!TIFFReadRGBAImageOriented(tif, r->width, r->height, rgba.data(), ORIENTATION_TOPLEFT, 0))
        return false;
    bool gray = true;
    for (const std::uint32_t p : rgba)
        if (TIFFGetR(p) != TIFFGetG(p) || TIFFGetG(p) != TIFFGetB(p)) {
            gray = false;
            break;
        }
    // A scan in black and white stays one bit per pixel: an eighth of the data.
    const bool bilevel = gray && samples == 1 && bitsPerSample == 1;
    r->rgb = !gray;
    r->bits = bilevel ? 1 : 8;
    const std::size_t rowBytes = bilevel ? (r->width + 7) / 8 : r->width * (r->rgb ? 3 : 1);
    r->bytes.assign(rowBytes * r->height, 0);
    for (std::uint32_t row = 0; row < r->height; ++row) {
        unsigned char* out = r->bytes.data() + row * rowBytes;
        const std::uint32_t* in = rgba.data() + static_cast<std::size_t>(row) * r->width;
        for (std::uint32_t col = 0; col < r->width; ++col) {
            const std::uint32_t p = in[col];
            if (bilevel) {
                if (TIFFGetR(p) >= 128)
                    out[col / 8] |= static_cast<unsigned char>(0x80 >> (col % 8));
            } else if (r->rgb) {
                out[col * 3] = static_cast<unsigned char>(TIFFGetR(p));
                out[col * 3 + 1] = static_cast<unsigned char>(TIFFGetG(p));
                out[col * 3 + 2] = static_cast<unsigned char>(TIFFGetB(p));
            } else {
                out[col] = static_cast<unsigned char>(TIFFGetR(p));
            }
        }
    }
    return true;
}

} // namespace

bool TiffPagesToPdf(const std::string& file, int outFd, std::string* error)
{
    const std::string name = '"' + file + '"';
    TIFFSetErrorHandler(KeepTiffError);
    TIFFSetWarningHandler(IgnoreTiffWarning);
    std::unique_ptr<TIFF, void (*)(TIFF*)> tif(TIFFOpen(file.c_str(), "r"), TIFFClose);
    if (!tif) {
        *error = FillIn(TrPrintPdf("%s is a damaged TIFF image: %s"), {name, LastTiffError});
        return false;
    }
    std::string pdf = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n";
    std::vector<std::size_t> offsets;
    const auto begin = [&] {
        offsets.push_back(pdf.size());
        pdf += std::to_string(offsets.size()) + " 0 obj\n";
    };
    std::vector<std::string> kids;
    // Objects 1 and 2 (catalog and page tree) are written last; their numbers are reserved.
    offsets = {0, 0};
    int page = 0;
    do {
        ++page;
        Raster r;
        double dpiX = 72, dpiY = 72;
        if (!ReadPage(tif.get(), &r, &dpiX, &dpiY)) {
            *error = LastTiffError.empty()
                         ? FillIn(TrPrintPdf("%s is a damaged TIFF image: page %s cannot be decoded"),
                                  {name, std::to_string(page)})
                         : FillIn(TrPrintPdf("%s is a damaged TIFF image: page %s cannot be decoded (%s)"),
                                  {name, std::to_string(page), LastTiffError});
            return false;
        }
        uLongf packedSize = compressBound(r.bytes.size());
        std::string packed(packedSize, '\0');
        if (compress2(reinterpret_cast<Bytef*>(packed.data()), &packedSize, r.bytes.data(), r.bytes.size(), 1) !=
            Z_OK) {
            *error = FillIn(TrPrintPdf("cannot compress page %s of the TIFF image %s"), {std::to_string(page), name});
            return false;
        }
        packed.resize(packedSize);
        char size[64];
        std::snprintf(size, sizeof size, "%.2f %.2f", r.width * 72.0 / dpiX, r.height * 72.0 / dpiY);
        const std::string first = std::to_string(offsets.size() + 1);
        begin();
        kids.push_back(first + " 0 R");
        pdf += "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + std::string(size) + "] /Resources << /XObject << /Im " +
               std::to_string(offsets.size() + 2) + " 0 R >> >> /Contents " + std::to_string(offsets.size() + 1) +
               " 0 R >>\nendobj\n";
        const std::string draw =
            "q " + std::string(size).replace(std::string(size).find(' '), 1, " 0 0 ") + " 0 0 cm /Im Do Q\n";
        begin();
        pdf += "<< /Length " + std::to_string(draw.size()) + " >>\nstream\n" + draw + "endstream\nendobj\n";
        begin();
        pdf += "<< /Type /XObject /Subtype /Image /Width " + std::to_string(r.width) + " /Height " +
               std::to_string(r.height) + " /ColorSpace /" + (r.rgb ? "DeviceRGB" : "DeviceGray") +
               " /BitsPerComponent " + std::to_string(r.bits) + " /Filter /FlateDecode /Length " +
               std::to_string(packed.size()) + " >>\nstream\n" + packed + "\nendstream\nendobj\n";
    } while (TIFFReadDirectory(tif.get()));

    offsets[0] = pdf.size();
    pdf += "1 0 obj\n<< /Type /Catalog /Pages 2 0 R >>\nendobj\n";
    offsets[1] = pdf.size();
    pdf += "2 0 obj\n<< /Type /Pages /Count " + std::to_string(kids.size()) + " /Kids [";
    for (const std::string& k : kids)
        pdf += k + ' ';
    pdf += "] >>\nendobj\n";
    const std::size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(offsets.size() + 1) + "\n0000000000 65535 f \n";
    for (const std::size_t o : offsets) {
        char line[24];
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", o);
        pdf += line;
    }
    pdf += "trailer\n<< /Size " + std::to_string(offsets.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n";
    for (std::size_t done = 0; done < pdf.size();) {
        const ssize_t w = ::write(outFd, pdf.data() + done, pdf.size() - done);
        if (w <= 0) {
            *error = FillIn(TrPrintPdf("cannot keep the PDF of the TIFF image %s in memory"), {name});
            return false;
        }
        done += static_cast<std::size_t>(w);
    }
    return true;
}

} // namespace DocumentType
