#include "printing/PrintSettings.h"

#include <algorithm>
#include <cstddef>
#include <functional>

namespace PrintSettings {

const char HelpText[] = "Print settings (-print-settings LIST): comma-separated items, case and blanks\n"
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
                        "  Nx              N copies of the file, each sent as its own job (1x to 999x)\n"
                        "An unknown item, an empty list or two contradicting items are refused with exit\n"
                        "code 1, a list that leaves no page of the file with exit code 6; nothing is\n"
                        "printed then.\n";

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
            return fail("unknown paper size in " + Quoted(item) + " (A2 to A6, letter, legal, tabloid, statement)");
        }
        if (lower.starts_with("bin=")) {
            if (!ValidTrayName(item.substr(4)))
                return fail("bad tray name in " + Quoted(item) + " (letters, digits, '-', '_' and '.')");
            return set(m_s->mediaSource, std::string(item.substr(4)), item);
        }
        if (lower.size() > 1 && lower.back() == 'x' && AllDigits(std::string_view(lower).substr(0, lower.size() - 1))) {
            const int copies = Number(std::string_view(lower).substr(0, lower.size() - 1));
            if (copies < 1 || copies > MaxCopies)
                return fail("copies must be 1x to " + std::to_string(MaxCopies) + "x, not " + Quoted(item));
            if (m_s->copies != 0 && m_s->copies != copies)
                return contradiction(item, m_copiesItem);
            m_s->copies = copies;
            m_copiesItem = item;
            return true;
        }
        return range(lower, item);
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
            return fail("unknown print setting " + Quoted(item));
        const int first = Number(a), last = Number(b);
        if (first == 0 || last == 0)
            return fail("pages are numbered from 1: " + Quoted(item));
        if (first < 0 || last < 0)
            return fail("page number too large in " + Quoted(item));
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

    bool contradiction(std::string_view item, std::string_view earlier)
    {
        return fail(Quoted(item) + " contradicts " + Quoted(earlier));
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
    std::string m_copiesItem;
};

} // namespace

bool Parse(std::string_view list, Settings* settings, std::string* error)
{
    Settings parsed;
    Parser parser(&parsed);
    if (Trimmed(list).empty()) {
        *error = "the print settings list is empty";
        return false;
    }
    for (std::size_t start = 0;;) {
        const std::size_t comma = list.find(',', start);
        const std::string_view item =
            Trimmed(list.substr(start, comma == std::string_view::npos ? comma : comma - start));
        if (item.empty()) {
            *error = "empty item in the print settings " + Quoted(list);
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

bool JobOptions(const Settings& s, int pageCount, Options* options, std::string* error)
{
    options->clear();
    const std::vector<int> pages = SelectedPages(s, pageCount);
    if (pages.empty()) {
        *error = "no page is left to print of " + std::to_string(pageCount) + (pageCount == 1 ? " page" : " pages");
        return false;
    }

    if (!s.ranges.empty()) {
        // The spooler prints a set of pages, in document order or reversed as a whole.
        const bool ascending = std::adjacent_find(pages.begin(), pages.end(), std::greater_equal<>()) == pages.end();
        const bool descending = std::adjacent_find(pages.begin(), pages.end(), std::less_equal<>()) == pages.end();
        if (!ascending && !descending) {
            *error = "the spooler can print the pages only in ascending or in descending order, without repeats";
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
    return true;
}

} // namespace PrintSettings
