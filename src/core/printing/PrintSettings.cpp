#include "printing/PrintSettings.h"

#include "printing/PrintPdfTexts.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <ctime>
#include <functional>
#include <iterator>

namespace PrintSettings {

const char HelpText[] =
    MarkPrintPdf("Print settings (-print-settings LIST): comma-separated items, case and blanks\n"
                 "around items do not matter.\n"
                 "  3  1-3  10-8    pages to print; several allowed (1-3,5,7-9); ranges beyond\n"
                 "                  the document are clipped; 10-8 prints those pages in reverse\n"
                 "  odd  even       only odd / even pages\n"
                 "  portrait  landscape\n"
                 "  noscale  shrink  fit          page scaling (none, auto, fit to the paper)\n"
                 "  color  monochrome\n"
                 "  simplex  duplex  duplexlong  duplexshort   (duplex is duplexlong)\n"
                 "  paper=SIZE      A2 A3 A4 A5 A6 letter legal tabloid statement\n"
                 "  bin=NAME        input tray\n"
                 "  Nx              N copies of the file, each sent as its own job (1x to 999x),\n"
                 "                  for printers and queues that ignore copies (PDF queues)\n"
                 "  copies=N        N copies made by the printer in one job, collated (1 to 999)\n"
                 "  2up 4up 6up 9up 16up   pages per sheet\n"
                 "  layout=ORDER    page order on the sheet, with Nup: lrtb (default) lrbt rltb\n"
                 "                  rlbt tblr tbrl btlr btrl (lrtb: left to right, top to bottom)\n"
                 "  border=KIND     frame round each page, with Nup: none single single-thick\n"
                 "                  double double-thick\n"
                 "  banner=NAME     a banner page of the spooler before the job (standard,\n"
                 "                  classified, confidential, secret, topsecret, unclassified)\n"
                 "  hold=WHEN       the spooler holds the job until WHEN: HH:MM (local time, the\n"
                 "                  next time the clock shows it), night, evening, day-time,\n"
                 "                  weekend, second-shift, third-shift, indefinite (until released)\n"
                 "  priority=N      job priority, 1 (lowest) to 100 (highest; default 50)\n"
                 "  separator=KIND  with -one-job: a page between the files, blank or title (the\n"
                 "                  next file's name on it)\n"
                 "Example: 1-4,duplex,2up,layout=tblr,border=single,copies=3,hold=night\n"
                 "An unknown item, an empty list, two contradicting items or an item the printer\n"
                 "says it cannot do (banner, hold, priority, copies, pages per sheet) are refused\n"
                 "with exit code 1, a list that leaves no page of the file with exit code 6; nothing is\n"
                 "printed then.\n");

namespace {

std::string Quoted(std::string_view s)
{
    return '"' + std::string(s) + '"';
}

std::string_view Trimmed(std::string_view s)
{
    const auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return s;
}

std::string Lower(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool AllDigits(std::string_view s)
{
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// A decimal number of at most nine digits (no overflow); -1 otherwise.
int Number(std::string_view s)
{
    if (!AllDigits(s) || s.size() > 9)
        return -1;
    int n = 0;
    for (const char c : s)
        n = n * 10 + (c - '0');
    return n;
}

struct Word
{
    const char* item;
    std::string Settings::*field;
    const char* value;
};

constexpr Word Words[] = {
    {"odd", &Settings::pageSet, "odd"},
    {"even", &Settings::pageSet, "even"},
    {"portrait", &Settings::orientation, "3"},
    {"landscape", &Settings::orientation, "4"},
    {"noscale", &Settings::scaling, "none"},
    {"shrink", &Settings::scaling, "auto"},
    {"fit", &Settings::scaling, "fit"},
    {"color", &Settings::colorMode, "color"},
    {"monochrome", &Settings::colorMode, "monochrome"},
    {"simplex", &Settings::sides, "one-sided"},
    {"duplex", &Settings::sides, "two-sided-long-edge"},
    {"duplexlong", &Settings::sides, "two-sided-long-edge"},
    {"duplexshort", &Settings::sides, "two-sided-short-edge"},
};

constexpr std::pair<const char*, const char*> PaperSizes[] = {
    {"a2", "iso_a2_420x594mm"},     {"a3", "iso_a3_297x420mm"},       {"a4", "iso_a4_210x297mm"},
    {"a5", "iso_a5_148x210mm"},     {"a6", "iso_a6_105x148mm"},       {"letter", "na_letter_8.5x11in"},
    {"legal", "na_legal_8.5x14in"}, {"tabloid", "na_ledger_11x17in"}, {"statement", "na_invoice_5.5x8.5in"},
};

constexpr int NumberUp[] = {2, 4, 6, 9, 16};
constexpr const char* Layouts[] = {"lrtb", "lrbt", "rltb", "rlbt", "tblr", "tbrl", "btlr", "btrl"};
constexpr const char* Borders[] = {"none", "single", "single-thick", "double", "double-thick"};
// The spooler's names for the times of day and week it holds jobs until.
constexpr const char* HoldKeywords[] = {"indefinite", "day-time",     "evening",     "night",
                                        "weekend",    "second-shift", "third-shift", "no-hold"};

template <std::size_t N>
bool OneOf(const std::string& value, const char* const (&names)[N])
{
    return std::any_of(std::begin(names), std::end(names), [&value](const char* n) { return value == n; });
}

// Tray names go to the spooler as a keyword: nothing that could break the option list.
bool ValidTrayName(std::string_view s)
{
    return !s.empty() && s.size() <= 255 && std::all_of(s.begin(), s.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
               c == '.';
    });
}

class Parser
{
public:
    explicit Parser(Settings* s) : m_s(s) {}

    // One item, already trimmed; false with m_error set when refused.
    bool item(std::string_view item)
    {
        const std::string lower = Lower(item);
        for (const Word& w : Words)
            if (lower == w.item)
                return set(m_s->*w.field, w.value, item);
        if (lower.starts_with("paper=")) {
            for (const auto& [name, media] : PaperSizes)
                if (lower.substr(6) == name)
                    return set(m_s->media, media, item);
            return fail(FillIn(TrPrintPdf("unknown paper size in %s (A2 to A6, letter, legal, tabloid, statement)"),
                               {Quoted(item)}));
        }
        if (lower.starts_with("bin=")) {
            if (!ValidTrayName(item.substr(4)))
                return fail(
                    FillIn(TrPrintPdf("bad tray name in %s (letters, digits, '-', '_' and '.')"), {Quoted(item)}));
            return set(m_s->mediaSource, std::string(item.substr(4)), item);
        }
        if (lower.starts_with("copies=")) {
            const int copies = Number(std::string_view(lower).substr(7));
            if (copies < 1 || copies > MaxCopies)
                return fail(FillIn(TrPrintPdf("copies must be copies=1 to copies=%d, not %s"),
                                   {std::to_string(MaxCopies), Quoted(item)}));
            return setNumber(m_s->jobCopies, copies, item, m_jobCopiesItem);
        }
        if (lower.size() > 2 && lower.ends_with("up") &&
            AllDigits(std::string_view(lower).substr(0, lower.size() - 2))) {
            const int up = Number(std::string_view(lower).substr(0, lower.size() - 2));
            if (std::find(std::begin(NumberUp), std::end(NumberUp), up) == std::end(NumberUp))
                return fail(
                    FillIn(TrPrintPdf("pages per sheet must be 2up, 4up, 6up, 9up or 16up, not %s"), {Quoted(item)}));
            return setNumber(m_s->numberUp, up, item, m_numberUpItem);
        }
        if (lower.starts_with("layout=")) {
            if (!OneOf(lower.substr(7), Layouts))
                return fail(
                    FillIn(TrPrintPdf("unknown page order in %s (lrtb, lrbt, rltb, rlbt, tblr, tbrl, btlr, btrl)"),
                           {Quoted(item)}));
            m_layoutItem = item;
            return set(m_s->layout, lower.substr(7), item);
        }
        if (lower.starts_with("border=")) {
            if (!OneOf(lower.substr(7), Borders))
                return fail(
                    FillIn(TrPrintPdf("unknown border in %s (none, single, single-thick, double, double-thick)"),
                           {Quoted(item)}));
            m_borderItem = item;
            return set(m_s->border, lower.substr(7), item);
        }
        if (lower.starts_with("banner=")) {
            // Which banners exist is the spooler's to say; only the form is checked here.
            if (!ValidTrayName(lower.substr(7)))
                return fail(
                    FillIn(TrPrintPdf("bad banner name in %s (letters, digits, '-', '_' and '.')"), {Quoted(item)}));
            return set(m_s->banner, lower.substr(7), item);
        }
        if (lower.starts_with("hold=")) {
            const std::string when = lower.substr(5);
            if (OneOf(when, HoldKeywords))
                return set(m_s->holdUntil, when, item);
            const int hour = when.size() == 5 && when[2] == ':' ? Number(std::string_view(when).substr(0, 2)) : -1;
            const int minute = hour >= 0 ? Number(std::string_view(when).substr(3)) : -1;
            if (hour < 0 || hour > 23 || minute < 0 || minute > 59)
                return fail(FillIn(TrPrintPdf("unknown time in %s (HH:MM, night, evening, weekend, day-time, "
                                              "second-shift, third-shift, indefinite)"),
                                   {Quoted(item)}));
            return set(m_s->holdUntil, when, item);
        }
        if (lower.starts_with("separator=")) {
            const std::string kind = lower.substr(10);
            if (kind != "blank" && kind != "title")
                return fail(FillIn(TrPrintPdf("a separator page is separator=blank or separator=title, not %s"),
                                   {Quoted(item)}));
            return set(m_s->separator, kind, item);
        }
        if (lower.starts_with("priority=")) {
            const int priority = Number(std::string_view(lower).substr(9));
            if (priority < 1 || priority > MaxPriority)
                return fail(FillIn(TrPrintPdf("the priority must be priority=1 to priority=%d, not %s"),
                                   {std::to_string(MaxPriority), Quoted(item)}));
            return setNumber(m_s->priority, priority, item, m_priorityItem);
        }
        if (lower.size() > 1 && lower.back() == 'x' && AllDigits(std::string_view(lower).substr(0, lower.size() - 1))) {
            const int copies = Number(std::string_view(lower).substr(0, lower.size() - 1));
            if (copies < 1 || copies > MaxCopies)
                return fail(
                    FillIn(TrPrintPdf("copies must be 1x to %dx, not %s"), {std::to_string(MaxCopies), Quoted(item)}));
            return setNumber(m_s->copies, copies, item, m_copiesItem);
        }
        return range(lower, item);
    }

    // Checks between items, once the whole list is read.
    bool finish()
    {
        // N jobs of M printer copies each would be a puzzle to anyone reading the list.
        if (m_s->copies != 0 && m_s->jobCopies != 0)
            return contradiction(m_jobCopiesItem, m_copiesItem);
        if (m_s->numberUp == 0 && !m_s->layout.empty())
            return fail(FillIn(TrPrintPdf("%s needs 2up, 4up, 6up, 9up or 16up"), {Quoted(m_layoutItem)}));
        if (m_s->numberUp == 0 && !m_s->border.empty())
            return fail(FillIn(TrPrintPdf("%s needs 2up, 4up, 6up, 9up or 16up"), {Quoted(m_borderItem)}));
        return true;
    }

    std::string m_error;

private:
    bool range(const std::string& lower, std::string_view item)
    {
        const std::size_t dash = lower.find('-');
        const std::string_view text(lower);
        const std::string_view a = text.substr(0, dash);
        const std::string_view b = dash == std::string::npos ? a : text.substr(dash + 1);
        if (!AllDigits(a) || !AllDigits(b))
            return fail(FillIn(TrPrintPdf("unknown print setting %s"), {Quoted(item)}));
        const int first = Number(a), last = Number(b);
        if (first == 0 || last == 0)
            return fail(FillIn(TrPrintPdf("pages are numbered from 1: %s"), {Quoted(item)}));
        if (first < 0 || last < 0)
            return fail(FillIn(TrPrintPdf("page number too large in %s"), {Quoted(item)}));
        m_s->ranges.push_back({first, last});
        return true;
    }

    // Repeating an item is harmless; a different value for the same setting is not.
    bool set(std::string& field, const std::string& value, std::string_view item)
    {
        std::string& seen = m_seen[&field];
        if (!field.empty() && field != value)
            return contradiction(item, seen);
        field = value;
        seen = item;
        return true;
    }

    bool setNumber(int& field, int value, std::string_view item, std::string& seen)
    {
        if (field != 0 && field != value)
            return contradiction(item, seen);
        field = value;
        seen = item;
        return true;
    }

    bool contradiction(std::string_view item, std::string_view earlier)
    {
        return fail(FillIn(TrPrintPdf("%s contradicts %s"), {Quoted(item), Quoted(earlier)}));
    }

    bool fail(std::string message)
    {
        m_error = std::move(message);
        return false;
    }

    // The item that set a field, for the contradiction message; few fields, so a small list.
    struct Seen
    {
        std::vector<std::pair<const std::string*, std::string>> items;
        std::string& operator[](const std::string* field)
        {
            for (auto& [f, text] : items)
                if (f == field)
                    return text;
            return items.emplace_back(field, std::string()).second;
        }
    };

    Settings* m_s;
    Seen m_seen;
    std::string m_copiesItem, m_jobCopiesItem, m_numberUpItem, m_priorityItem, m_layoutItem, m_borderItem;
};

} // namespace

bool Parse(std::string_view list, Settings* settings, std::string* error)
{
    Settings parsed;
    Parser parser(&parsed);
    if (Trimmed(list).empty()) {
        *error = TrPrintPdf("the print settings list is empty");
        return false;
    }
    for (std::size_t start = 0;;) {
        const std::size_t comma = list.find(',', start);
        const std::string_view item =
            Trimmed(list.substr(start, comma == std::string_view::npos ? comma : comma - start));
        if (item.empty()) {
            *error = FillIn(TrPrintPdf("empty item in the print settings %s"), {Quoted(list)});
            return false;
        }
        if (!parser.item(item)) {
            *error = parser.m_error;
            return false;
        }
        if (comma == std::string_view::npos)
            break;
        start = comma + 1;
    }
    if (!parser.finish()) {
        *error = parser.m_error;
        return false;
    }
    *settings = std::move(parsed);
    return true;
}

namespace {

// The pages in the order asked for, clipped to the document, odd/even applied
// to the page numbers (as the spooler's filters do).
std::vector<int> SelectedPages(const Settings& s, int pageCount)
{
    std::vector<int> pages;
    const auto keep = [&s](int page) { return s.pageSet.empty() || (page % 2 == 1) == (s.pageSet == "odd"); };
    if (s.ranges.empty()) {
        for (int p = 1; p <= pageCount; ++p)
            if (keep(p))
                pages.push_back(p);
    } else {
        for (const PageRange& r : s.ranges) {
            const int low = std::max(std::min(r.first, r.last), 1);
            const int high = std::min(std::max(r.first, r.last), pageCount);
            for (int i = 0; i <= high - low; ++i) {
                const int page = r.first <= r.last ? low + i : high - i;
                if (keep(page))
                    pages.push_back(page);
            }
        }
    }
    return pages;
}

} // namespace

bool LeavesNoPage(const Settings& settings, int pageCount)
{
    return SelectedPages(settings, pageCount).empty();
}

int SelectedPageCount(const Settings& settings, int pageCount)
{
    return static_cast<int>(SelectedPages(settings, pageCount).size());
}

std::vector<std::pair<std::string, std::string>> PaperSizeNames()
{
    std::vector<std::pair<std::string, std::string>> names;
    for (const auto& [name, media] : PaperSizes) {
        // "A4", "Letter": the parser takes any case.
        std::string shown = name;
        shown[0] = static_cast<char>(shown[0] - 'a' + 'A');
        names.emplace_back(shown, media);
    }
    return names;
}

bool JobOptions(const Settings& s, int pageCount, Options* options, std::string* error)
{
    options->clear();
    const std::vector<int> pages = SelectedPages(s, pageCount);
    if (pages.empty()) {
        *error = FillIn(TrPrintPdfN("no page is left to print of %d page", "no page is left to print of %d pages",
                                    static_cast<unsigned long>(std::max(pageCount, 0))),
                        {std::to_string(pageCount)});
        return false;
    }

    if (!s.ranges.empty()) {
        // The spooler prints a set of pages, in document order or reversed as a whole.
        const bool ascending = std::adjacent_find(pages.begin(), pages.end(), std::greater_equal<>()) == pages.end();
        const bool descending = std::adjacent_find(pages.begin(), pages.end(), std::less_equal<>()) == pages.end();
        if (!ascending && !descending) {
            *error =
                TrPrintPdf("the spooler can print the pages only in ascending or in descending order, without repeats");
            return false;
        }
        std::vector<int> sorted = pages;
        if (!ascending)
            std::reverse(sorted.begin(), sorted.end());
        std::string ranges;
        for (std::size_t i = 0; i < sorted.size();) {
            std::size_t j = i;
            while (j + 1 < sorted.size() && sorted[j + 1] == sorted[j] + 1)
                ++j;
            ranges += (ranges.empty() ? "" : ",") + std::to_string(sorted[i]);
            if (j > i)
                ranges += '-' + std::to_string(sorted[j]);
            i = j + 1;
        }
        options->emplace_back("page-ranges", ranges);
        if (!ascending)
            options->emplace_back("outputorder", "reverse");
    }
    const std::pair<const char*, const std::string*> fields[] = {
        {"page-set", &s.pageSet},
        {"orientation-requested", &s.orientation},
        {"print-scaling", &s.scaling},
        {"print-color-mode", &s.colorMode},
        {"sides", &s.sides},
        {"media", &s.media},
        {"media-source", &s.mediaSource},
    };
    for (const auto& [name, value] : fields)
        if (!value->empty())
            options->emplace_back(name, *value);
    // Nx is sent as N jobs of one copy each (Settings::copies): printers that ignore the
    // copies attribute, cups-pdf among them, still deliver every copy. The 1 overrides
    // a saved default of the queue.
    if (s.copies > 0)
        options->emplace_back("copies", "1");
    if (s.jobCopies > 0) {
        options->emplace_back("copies", std::to_string(s.jobCopies));
        options->emplace_back("multiple-document-handling", "separate-documents-collated-copies");
    }
    if (s.numberUp > 0)
        options->emplace_back("number-up", std::to_string(s.numberUp));
    if (!s.layout.empty())
        options->emplace_back("number-up-layout", s.layout);
    if (!s.border.empty())
        options->emplace_back("page-border", s.border);
    if (!s.banner.empty())
        options->emplace_back("job-sheets", s.banner);
    if (!s.holdUntil.empty()) {
        // The spooler takes a time of day in UTC; the list gives the local time.
        const bool time = s.holdUntil.size() == 5 && s.holdUntil[2] == ':';
        options->emplace_back("job-hold-until", time ? UtcTimeOfDay(Number(std::string_view(s.holdUntil).substr(0, 2)),
                                                                    Number(std::string_view(s.holdUntil).substr(3)))
                                                     : s.holdUntil);
    }
    if (s.priority > 0)
        options->emplace_back("job-priority", std::to_string(s.priority));
    return true;
}

bool NeedsPrinterSupport(const std::string& option, const std::string& value)
{
    if (option == "copies")
        return value != "1";
    return option == "multiple-document-handling" || option == "number-up" || option == "job-sheets" ||
           option == "job-hold-until" || option == "job-priority";
}

std::string UtcTimeOfDay(int hour, int minute)
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = 0;
    local.tm_isdst = -1;
    const std::time_t then = std::mktime(&local);
    std::tm utc{};
    gmtime_r(&then, &utc);
    char text[8];
    std::snprintf(text, sizeof text, "%02d:%02d", utc.tm_hour, utc.tm_min);
    return text;
}

} // namespace PrintSettings
