#include "printing/PrintPdfTexts.h"

#include <libintl.h>

namespace {
constexpr char Domain[] = "printpdf";
}

const char* TrPrintPdf(const char* text)
{
    // The empty key would give the catalog's header.
    return *text ? dgettext(Domain, text) : text;
}

const char* TrPrintPdfN(const char* singular, const char* plural, unsigned long n)
{
    return dngettext(Domain, singular, plural, n);
}

std::string FillIn(const char* format, std::initializer_list<std::string> values)
{
    std::string out;
    auto next = values.begin();
    for (const char* p = format; *p; ++p) {
        if (*p == '%' && p[1] == '%') {
            out += '%';
            ++p;
        } else if (*p == '%' && (p[1] == 's' || p[1] == 'd') && next != values.end()) {
            out += *next++;
            ++p;
        } else {
            out += *p;
        }
    }
    return out;
}
