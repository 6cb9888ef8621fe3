// The print-to program with images, text and PostScript through the real
// spooler and its cups-pdf queue: each type comes out with its pages, the
// content decides the type, and a damaged or foreign file is refused unspooled.

#include "support/CupsPdf.h"
#include "support/CupsServer.h"
#include "support/PdfWriter.h"
#include "support/TestSupport.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace testing_support;

namespace {

// Pages of large numbers, PostScript of its own for Ghostscript's devices.
QByteArray PageProgram(int pages)
{
    return "/Helvetica findfont 60 scalefont setfont 1 1 " + QByteArray::number(pages) +
           " { 100 400 moveto 3 string cvs show showpage } for";
}

// What Ghostscript's DEVICE makes of `pages` pages, at a low resolution to stay small.
QByteArray Ghostscript(const QTemporaryDir& tmp, const char* device, int pages)
{
    const QString out = tmp.filePath(u"gs-%1.out"_qs.arg(QString::fromUtf8(device)));
    QProcess gs;
    gs.start(u"gs"_qs, {u"-q"_qs, u"-dNOPAUSE"_qs, u"-dBATCH"_qs, u"-dSAFER"_qs, u"-r30"_qs,
                        u"-sDEVICE="_qs + QString::fromUtf8(device), u"-sOutputFile="_qs + out, u"-c"_qs,
                        QString::fromUtf8(PageProgram(pages))});
    EXPECT_TRUE(gs.waitForFinished(60000) && gs.exitCode() == 0) << device << ": " << gs.readAllStandardError().data();
    return ReadFile(out);
}

// The page count -check reports for a file, as "N pages" or "about N pages" says it; -1 if none.
int CheckedPages(const QString& file)
{
    QProcess p;
    p.start(BuiltPrintProgram(), {u"-check"_qs, file});
    p.waitForFinished(60000);
    static const QRegularExpression pages(u": [^,]+, (about )?(\\d+) pages?\n$"_qs);
    const QRegularExpressionMatch m = pages.match(QString::fromUtf8(p.readAllStandardOutput()));
    return p.exitCode() == 0 && m.hasMatch() ? m.captured(2).toInt() : -1;
}

// The text in the cups-pdf output: its glyphs, compared between two outputs.
QString PdfText(const QString& pdf)
{
    QProcess p;
    p.start(u"pdftotext"_qs, {pdf, u"-"_qs});
    p.waitForFinished(30000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

class DocumentTypes : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const QString problem = CupsProblem();
        ASSERT_TRUE(problem.isEmpty()) << problem.toStdString();
    }
    QString write(const QString& name, const QByteArray& bytes)
    {
        const QString path = m_tmp.filePath(name);
        EXPECT_TRUE(WriteFile(path, bytes));
        return path;
    }
    QTemporaryDir m_tmp;
};

} // namespace

TEST_F(DocumentTypes, EachTypeComesOutOfTheQueueWithItsPages)
{
    // Two 80-column lines of umlauts, 75 times: 150 lines, three pages of 70 lines.
    QByteArray utf8;
    for (int i = 0; i < 75; ++i)
        utf8 += "Grüße aus Köln, Zeile " + QByteArray::number(i) + ": " + QByteArray(58, 'x') + "\n";
    const QByteArray latin1 = QString::fromUtf8(utf8).toLatin1();
    const QByteArray gif("GIF89a\1\0\1\0\x80\0\0\0\0\0\xFF\xFF\xFF,\0\0\0\0\1\0\1\0\0\2\2D\1\0;", 35);
    const struct
    {
        const char* name;
        QByteArray bytes;
        const char* settings;
        int pages;
    } rows[] = {
        {"scan.jpg", Ghostscript(m_tmp, "jpeg", 1), "", 1},
        {"scan.png", Ghostscript(m_tmp, "png16m", 1), "", 1},
        {"fax.tif", Ghostscript(m_tmp, "tiffg4", 3), "", 3},
        {"fax-2-3.tif", Ghostscript(m_tmp, "tiffg4", 3), "2-3", 2},
        {"photo.tiff", Ghostscript(m_tmp, "tiff24nc", 1), "", 1},
        {"pixel.gif", gif, "", 1},
        {"paint.bmp", Ghostscript(m_tmp, "bmp16m", 1), "", 1},
        {"letter.ps", Ghostscript(m_tmp, "ps2write", 3), "", 3},
        {"utf8.txt", utf8, "", 3},
        {"latin1.txt", latin1, "", 3},
        {"pdf-named.jpg", MakePdf(2), "", 2},
    };
    QStringList stems;
    for (const auto& row : rows) {
        stems << UniqueJobStem(u"type"_qs);
        QStringList args{u"-print-to"_qs, TestPrinterName(), u"-job-name"_qs, stems.last()};
        if (*row.settings)
            args << u"-print-settings"_qs << QString::fromUtf8(row.settings);
        const QString file = write(QString::fromUtf8(row.name), row.bytes);
        const PrintResult r = RunPrintProgram(args << file);
        EXPECT_EQ(r.exitCode, 0) << row.name << ": " << r.errors.toStdString();
        EXPECT_EQ(r.jobIds.size(), 1) << row.name;
        // The figure a check gives beforehand is the printout's (the text's estimate included).
        if (!*row.settings) {
            EXPECT_EQ(CheckedPages(file), row.pages) << row.name;
        }
    }
    QMap<QString, QString> outputs;
    for (qsizetype i = 0; i < stems.size(); ++i) {
        const QStringList out = WaitForCupsPdfOutput(stems[i], 1);
        ASSERT_EQ(out.size(), 1) << rows[i].name << ": no output in " << CupsPdfOutputDir().toStdString();
        EXPECT_EQ(PdfPageCount(out[0]), rows[i].pages) << rows[i].name;
        outputs.insert(QString::fromUtf8(rows[i].name), out[0]);
    }
    // The Latin-1 text reached the spooler as the same characters as the UTF-8 one.
    const QString utf8Text = PdfText(outputs.value(u"utf8.txt"_qs));
    EXPECT_FALSE(utf8Text.trimmed().isEmpty());
    EXPECT_EQ(PdfText(outputs.value(u"latin1.txt"_qs)), utf8Text);
    for (const QString& f : std::as_const(outputs))
        QFile::remove(f);
}

TEST_F(DocumentTypes, ContentDecidesAndWhatIsNotWholeIsRefused)
{
    const QByteArray jpeg = Ghostscript(m_tmp, "jpeg", 1), png = Ghostscript(m_tmp, "png16m", 1);
    const QByteArray tiff = Ghostscript(m_tmp, "tiffg4", 2);
    const struct
    {
        const char* name;
        QByteArray bytes;
        const char* reason;
    } cases[] = {
        {"text.pdf", "just some text\n", "is not a PDF file"},
        {"cut.jpg", jpeg.left(jpeg.size() - 40), "is incomplete: the JPEG image has no end mark"},
        {"cut.png", png.left(png.size() / 2), "is incomplete: a PNG chunk runs past the end of the file"},
        {"cut.tif", tiff.left(tiff.size() - 200), "is incomplete"},
        {"png-named.gif", png.left(40), "is incomplete"},
        {"binary.txt",
         QByteArray("\x7F"
                    "ELF\2\1\1\0\0\0\0\0\0\0\0\0\3\0>\0",
                    20),
         "is of a type that is not printed"},
        {"empty.txt", QByteArray(), "is of a type that is not printed"},
    };
    for (const auto& c : cases) {
        const QString file = write(QString::fromUtf8(c.name), c.bytes);
        const PrintResult r = RunPrintProgram({u"-print-to"_qs, TestPrinterName(), file});
        EXPECT_EQ(r.exitCode, 2) << c.name;
        EXPECT_TRUE(r.jobIds.isEmpty()) << c.name;
        EXPECT_TRUE(r.errors.contains(file) && r.errors.contains(QString::fromUtf8(c.reason)))
            << c.name << ": " << r.errors.toStdString();
    }
}
