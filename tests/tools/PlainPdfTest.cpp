// The print program's check of a plain PDF against the PDF library: on
// generated files and thousands of damaged copies, wherever the plain check
// answers by itself, the library opens the file with the same pages, no
// password, printing allowed and every page reachable.

#include "PlainPdf.h"

#include "support/PdfWriter.h"

#include <QByteArray>
#include <QList>

#include <gtest/gtest.h>

#include <poppler/cpp/poppler-document.h>
#include <poppler/cpp/poppler-global.h>
#include <poppler/cpp/poppler-page.h>

#include <memory>
#include <optional>
#include <random>

#include <sys/mman.h>
#include <unistd.h>

using namespace testing_support;

namespace {

std::optional<int> PlainPages(const QByteArray& bytes)
{
    const int fd = ::memfd_create("plainpdf", MFD_CLOEXEC);
    EXPECT_EQ(::write(fd, bytes.constData(), static_cast<size_t>(bytes.size())), bytes.size());
    int pages = 0;
    const bool plain = PlainPdfPages(fd, &pages);
    ::close(fd);
    return plain ? std::optional<int>(pages) : std::nullopt;
}

// What the library says, as the module's check asks it: the page count of a
// printable file, or nullopt.
std::optional<int> LibraryPages(const QByteArray& bytes)
{
    poppler::set_debug_error_function([](const std::string&, void*) {}, nullptr);
    std::unique_ptr<poppler::document> doc(
        poppler::document::load_from_raw_data(bytes.constData(), static_cast<int>(bytes.size())));
    if (!doc || doc->is_locked() || doc->pages() < 1 || !doc->has_permission(poppler::perm_print))
        return std::nullopt;
    for (int i = 0; i < doc->pages(); ++i)
        if (!std::unique_ptr<poppler::page>(doc->create_page(i)))
            return std::nullopt;
    return doc->pages();
}

// A PDF of these objects (the first the catalog) with its cross-reference table.
QByteArray Pdf(const QList<QByteArray>& objects)
{
    QByteArray out = "%PDF-1.4\n";
    QList<qsizetype> offsets;
    for (qsizetype i = 0; i < objects.size(); ++i) {
        offsets << out.size();
        out += QByteArray::number(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const qsizetype xref = out.size();
    out += "xref\n0 " + QByteArray::number(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (const qsizetype offset : offsets)
        out += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    out += "trailer\n<< /Size " + QByteArray::number(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           QByteArray::number(xref) + "\n%%EOF\n";
    return out;
}

} // namespace

TEST(PlainPdf, AnswersOnlyWhereThePdfLibraryAgrees)
{
    const QByteArray page = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents [] >>";
    // A tree of two levels, with names, strings and a comment where a parser may trip.
    const QByteArray nested = Pdf({"<< /Type /Catalog /Pages 2 0 R /Lang (en \\) [x] <<) >>",
                                   "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 3 >>",
                                   "<</Type/Pages/Parent 2 0 R/Kids[5 0 R 6 0 R]/Count 2>>", page,
                                   "<< /Type /Page % a comment\n /Parent 3 0 R /ID <0a1b> >>", page});
    const struct
    {
        const char* name;
        QByteArray bytes;
        std::optional<int> plain;
    } seeds[] = {
        {"one page", MakePdf(1), 1},
        {"five pages", MakePdf(5), 5},
        {"nested tree", nested, 3},
        // Encryption is the library's to judge.
        {"no printing", MakePdf(PdfSpec{2, false}), std::nullopt},
        {"overcounted", Pdf({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 2 >>", page}),
         std::nullopt},
        {"loop", Pdf({"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [2 0 R] /Count 1 >>"}), std::nullopt},
        {"no table", MakePdf(2).replace("xref\n", "xrex\n"), std::nullopt},
    };
    for (const auto& s : seeds) {
        EXPECT_EQ(PlainPages(s.bytes), s.plain) << s.name;
        if (s.plain) {
            EXPECT_EQ(LibraryPages(s.bytes), s.plain) << s.name;
        }
    }

    // Damaged copies: bytes changed, cut out or put in where the structure is.
    std::mt19937 random(33);
    const QByteArray pieces[] = {" 0 R", "/Type /Pages", "/Type /Page", ">>", "<<", "1", "/Kids [", "]", "(", "%",
                                 "\n"};
    int answered = 0;
    for (int i = 0; i < 3000; ++i) {
        QByteArray bytes = seeds[random() % 3].bytes;
        for (int k = 0; k < 1 + static_cast<int>(random() % 3); ++k) {
            const qsizetype at = static_cast<qsizetype>(random() % static_cast<unsigned>(bytes.size()));
            switch (random() % 3) {
            case 0:
                bytes[at] = "0123456789 /<>[]()R\n"[random() % 20];
                break;
            case 1:
                bytes.remove(at, 1 + static_cast<qsizetype>(random() % 8));
                break;
            default:
                bytes.insert(at, pieces[random() % std::size(pieces)]);
            }
        }
        if (const std::optional<int> plain = PlainPages(bytes)) {
            ++answered;
            ASSERT_EQ(LibraryPages(bytes), plain) << "copy " << i << ":\n" << bytes.toStdString();
        }
    }
    // Else the comparison above would prove nothing.
    EXPECT_GT(answered, 300);
}
