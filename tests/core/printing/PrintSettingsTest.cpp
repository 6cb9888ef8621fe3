// The print settings list: every item, every refusal, and the job options for
// documents of different lengths.

#include "printing/PrintSettings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

using PrintSettings::Options;

namespace {

// The job options a list gives for a document of `pages` pages, as "name=value;..." text,
// or "refused: MESSAGE".
std::string OptionsFor(const std::string& list, int pages = 20)
{
    PrintSettings::Settings settings;
    std::string error;
    Options options;
    if (!PrintSettings::Parse(list, &settings, &error) || !PrintSettings::JobOptions(settings, pages, &options, &error))
        return "refused: " + error;
    std::string out;
    for (const auto& [name, value] : options)
        out += (out.empty() ? "" : ";") + name + '=' + value;
    if (settings.copies > 0)
        out += ";jobs=" + std::to_string(settings.copies);
    return out;
}

} // namespace

TEST(PrintSettings, EveryItemGivesItsJobOption)
{
    const struct
    {
        const char* list;
        const char* options;
    } rows[] = {
        {"3", "page-ranges=3"},
        {"1-3", "page-ranges=1-3"},
        {"1-3,5,7-9", "page-ranges=1-3,5,7-9"},
        {"3,4-6", "page-ranges=3-6"},
        {"10-8", "page-ranges=8-10;outputorder=reverse"},
        {"12,10-8", "page-ranges=8-10,12;outputorder=reverse"},
        {"odd", "page-set=odd"},
        {"Even", "page-set=even"},
        {"portrait", "orientation-requested=3"},
        {"LANDSCAPE", "orientation-requested=4"},
        {"noscale", "print-scaling=none"},
        {"shrink", "print-scaling=auto"},
        {"fit", "print-scaling=fit"},
        {"color", "print-color-mode=color"},
        {"monochrome", "print-color-mode=monochrome"},
        {"simplex", "sides=one-sided"},
        {"duplex", "sides=two-sided-long-edge"},
        {"duplexlong", "sides=two-sided-long-edge"},
        {"DuplexShort", "sides=two-sided-short-edge"},
        {"paper=A2", "media=iso_a2_420x594mm"},
        {"paper=a3", "media=iso_a3_297x420mm"},
        {"PAPER=A4", "media=iso_a4_210x297mm"},
        {"paper=A5", "media=iso_a5_148x210mm"},
        {"paper=A6", "media=iso_a6_105x148mm"},
        {"paper=Letter", "media=na_letter_8.5x11in"},
        {"paper=legal", "media=na_legal_8.5x14in"},
        {"paper=tabloid", "media=na_ledger_11x17in"},
        {"paper=statement", "media=na_invoice_5.5x8.5in"},
        {"bin=Tray-2", "media-source=Tray-2"},
        {"3x", "copies=1;jobs=3"},
        {"1X", "copies=1;jobs=1"},
        {"999x", "copies=1;jobs=999"},
        // Blanks around items, repeats of the same meaning, everything at once.
        {" 2-3 ,\todd , duplex,duplexlong, 2x,2x ",
         "page-ranges=3;page-set=odd;sides=two-sided-long-edge;copies=1;jobs=2"},
        {"landscape,fit,monochrome,duplexshort,paper=a4,bin=manual,1-2",
         "page-ranges=1-2;orientation-requested=4;print-scaling=fit;print-color-mode=monochrome;"
         "sides=two-sided-short-edge;media=iso_a4_210x297mm;media-source=manual"},
        // Ranges are clipped to the document (20 pages here).
        {"18-25", "page-ranges=18-20"},
        {"25-18", "page-ranges=18-20;outputorder=reverse"},
        {"1-3,19-999999999", "page-ranges=1-3,19-20"},
        {"5-1,even", "page-ranges=2,4;outputorder=reverse;page-set=even"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(OptionsFor(row.list), row.options) << row.list;
}

TEST(PrintSettings, RefusalsNameTheItem)
{
    const struct
    {
        const char* list;
        const char* message; // a part of the one-line message
    } rows[] = {
        {"", "list is empty"},
        {"  ", "list is empty"},
        {"1-3,,5", "empty item"},
        {"odd,", "empty item"},
        {"dupex", "unknown print setting \"dupex\""},
        {"5x5", "unknown print setting \"5x5\""},
        {"1-", "unknown print setting \"1-\""},
        {"-3", "unknown print setting \"-3\""},
        {"1-2-3", "unknown print setting \"1-2-3\""},
        {"1 - 3", "unknown print setting \"1 - 3\""},
        {"x", "unknown print setting \"x\""},
        {"0-3", "numbered from 1: \"0-3\""},
        {"0", "numbered from 1: \"0\""},
        {"1234567890", "too large in \"1234567890\""},
        {"0x", "copies must be 1x to 999x, not \"0x\""},
        {"1000x", "not \"1000x\""},
        {"paper=B9", "unknown paper size in \"paper=B9\""},
        {"paper=", "unknown paper size in \"paper=\""},
        {"bin=", "bad tray name in \"bin=\""},
        {"bin=a b", "bad tray name in \"bin=a b\""},
        {"odd,even", "\"even\" contradicts \"odd\""},
        {"simplex,duplex", "\"duplex\" contradicts \"simplex\""},
        {"duplexlong,duplexshort", "\"duplexshort\" contradicts \"duplexlong\""},
        {"Portrait,landscape", "\"landscape\" contradicts \"Portrait\""},
        {"fit,noscale", "\"noscale\" contradicts \"fit\""},
        {"color,monochrome", "\"monochrome\" contradicts \"color\""},
        {"paper=A4,paper=letter", "\"paper=letter\" contradicts \"paper=A4\""},
        {"bin=1,bin=2", "\"bin=2\" contradicts \"bin=1\""},
        {"2x,3x", "\"3x\" contradicts \"2x\""},
        // The order the spooler cannot keep, and lists that leave no page of 20.
        {"3,1,2", "ascending or in descending order"},
        {"1-3,2-5", "without repeats"},
        {"21-30", "no page is left to print of 20 pages"},
        {"30-21", "no page is left"},
        {"3,5,even", "no page is left"},
    };
    for (const auto& row : rows) {
        const std::string result = OptionsFor(row.list);
        EXPECT_TRUE(result.starts_with("refused: ") && result.find(row.message) != std::string::npos)
            << row.list << " -> " << result;
        EXPECT_EQ(result.find('\n'), std::string::npos) << row.list;
    }
    EXPECT_EQ(OptionsFor("even", 1), "refused: no page is left to print of 1 page");
    EXPECT_EQ(OptionsFor("odd", 1), "page-set=odd");
    EXPECT_EQ(OptionsFor("2-3", 2), "page-ranges=2");
}

TEST(PrintSettings, JobAttributeItems)
{
    // The hold time is given in local time and sent in UTC: a zone without summer time keeps it exact.
    const char* oldTz = std::getenv("TZ");
    const std::string savedTz = oldTz ? oldTz : "";
    ::setenv("TZ", "CET-1", 1);
    ::tzset();
    const struct
    {
        const char* list;
        const char* result; // the job options, or "refused: " and a part of the message
    } rows[] = {
        {"copies=3", "copies=3;multiple-document-handling=separate-documents-collated-copies"},
        {"Copies=999,copies=999", "copies=999;multiple-document-handling=separate-documents-collated-copies"},
        {"2up", "number-up=2"},
        {"4UP", "number-up=4"},
        {"6up", "number-up=6"},
        {"9up", "number-up=9"},
        {"16up,layout=TBLR,border=double-thick", "number-up=16;number-up-layout=tblr;page-border=double-thick"},
        {"border=none,2up", "number-up=2;page-border=none"},
        {"banner=standard", "job-sheets=standard"},
        {"banner=Confidential", "job-sheets=confidential"},
        {"hold=night", "job-hold-until=night"},
        {"hold=Weekend", "job-hold-until=weekend"},
        {"hold=indefinite", "job-hold-until=indefinite"},
        {"hold=third-shift", "job-hold-until=third-shift"},
        {"hold=22:30", "job-hold-until=21:30"},
        {"hold=00:15", "job-hold-until=23:15"},
        {"priority=1", "job-priority=1"},
        {"priority=100", "job-priority=100"},
        {"1-2,duplex,2up,copies=2,banner=standard,hold=night,priority=80",
         "page-ranges=1-2;sides=two-sided-long-edge;copies=2;"
         "multiple-document-handling=separate-documents-collated-copies;number-up=2;job-sheets=standard;"
         "job-hold-until=night;job-priority=80"},
        {"copies=0", "refused: copies must be copies=1 to copies=999, not \"copies=0\""},
        {"copies=1000", "refused: not \"copies=1000\""},
        {"copies=", "refused: not \"copies=\""},
        {"copies=2,copies=3", "refused: \"copies=3\" contradicts \"copies=2\""},
        {"3x,copies=2", "refused: \"copies=2\" contradicts \"3x\""},
        {"copies=2,3x", "refused: \"copies=2\" contradicts \"3x\""},
        {"3up", "refused: pages per sheet must be 2up, 4up, 6up, 9up or 16up, not \"3up\""},
        {"1up", "refused: not \"1up\""},
        {"2up,4up", "refused: \"4up\" contradicts \"2up\""},
        {"up", "refused: unknown print setting \"up\""},
        {"layout=lrtb", "refused: \"layout=lrtb\" needs 2up, 4up, 6up, 9up or 16up"},
        {"border=single", "refused: \"border=single\" needs 2up"},
        {"2up,layout=diagonal", "refused: unknown page order in \"layout=diagonal\""},
        {"2up,border=dotted", "refused: unknown border in \"border=dotted\""},
        {"banner=", "refused: bad banner name in \"banner=\""},
        {"banner=a b", "refused: bad banner name in \"banner=a b\""},
        {"banner=standard,banner=secret", "refused: \"banner=secret\" contradicts \"banner=standard\""},
        {"hold=tomorrow", "refused: unknown time in \"hold=tomorrow\""},
        {"hold=24:00", "refused: unknown time in \"hold=24:00\""},
        {"hold=9:30", "refused: unknown time in \"hold=9:30\""},
        {"hold=12:60", "refused: unknown time in \"hold=12:60\""},
        {"hold=night,hold=weekend", "refused: \"hold=weekend\" contradicts \"hold=night\""},
        {"priority=0", "refused: the priority must be priority=1 to priority=100, not \"priority=0\""},
        {"priority=101", "refused: not \"priority=101\""},
        {"priority=high", "refused: not \"priority=high\""},
    };
    for (const auto& row : rows) {
        const std::string result = OptionsFor(row.list);
        const std::string expected = row.result;
        if (expected.starts_with("refused: "))
            EXPECT_TRUE(result.starts_with("refused: ") && result.find(expected.substr(9)) != std::string::npos)
                << row.list << " -> " << result;
        else
            EXPECT_EQ(result, expected) << row.list;
    }
    if (oldTz)
        ::setenv("TZ", savedTz.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
}
