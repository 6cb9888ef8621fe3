#pragma once

#include <QByteArray>

// Writes small, valid PDF files for tests: one line of text per page.
namespace testing_support {

struct PdfSpec
{
    int pages = 1;
    // False makes a document encrypted without a user password whose
    // permissions leave out printing (standard security handler, revision 2).
    bool allowPrinting = true;
};

QByteArray MakePdf(const PdfSpec& layout);
inline QByteArray MakePdf(int pages)
{
    return MakePdf(PdfSpec{pages, true});
}

} // namespace testing_support
