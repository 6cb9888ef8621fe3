#pragma once

// The print settings list of the print-to program ("1-3,odd,duplex,paper=A4,2x"):
// parsing and the CUPS job options it stands for. Plain C++ without Qt or CUPS,
// so the print-to program stays light and other clients can check a list early.

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace PrintSettings {

// Pages first..last as the user wrote them; first > last asks for reverse order.
struct PageRange
{
    int first = 0;
    int last = 0;
    bool operator==(const PageRange&) const = default;
};

// One parsed list. Empty strings (and copies 0) mean "not given"; the other
// values are already the CUPS option values.
struct Settings
{
    std::vector<PageRange> ranges;
    std::string pageSet;     // page-set: odd, even
    std::string orientation; // orientation-requested: 3 (portrait), 4 (landscape)
    std::string scaling;     // print-scaling: none, auto, fit
    std::string colorMode;   // print-color-mode: color, monochrome
    std::string sides;       // sides: one-sided, two-sided-long-edge, two-sided-short-edge
    std::string media;       // media: a PWG size name
    std::string mediaSource; // media-source: the tray name as written
    int copies = 0;          // Nx: the number of jobs to send
    int jobCopies = 0;       // copies=N: copies made by the printer, collated, in one job
    int numberUp = 0;        // number-up: 2, 4, 6, 9, 16 pages per sheet
    std::string layout;      // number-up-layout: lrtb, ... (with numberUp only)
    std::string border;      // page-border: none, single, single-thick, double, double-thick
    std::string banner;      // job-sheets: a banner of the spooler before the job
    std::string holdUntil;   // job-hold-until: a keyword, or HH:MM in local time
    int priority = 0;        // job-priority: 1 to 100
    // A page between the documents of a job of several files: "blank", or
    // "title" (the next file's name); no job option, the print program adds it.
    std::string separator;
    bool operator==(const Settings&) const = default;
};

inline constexpr int MaxCopies = 999;
inline constexpr int MaxPriority = 100;

// Parses the comma-separated list. On a refusal returns false and sets *error to
// one line naming the offending item.
bool Parse(std::string_view list, Settings* settings, std::string* error);

using Options = std::vector<std::pair<std::string, std::string>>;

// The CUPS job options for a document of pageCount pages, page ranges clipped to
// it. Returns false with *error set when no page remains or when CUPS cannot
// keep the order the ranges ask for.
bool JobOptions(const Settings& settings, int pageCount, Options* options, std::string* error);

// The job options the printer must say it supports (its NAME-supported
// attribute) before the job is sent: the job attributes beyond the page
// handling, which a printer may lack or refuse silently.
bool NeedsPrinterSupport(const std::string& option, const std::string& value);

// A local time of day "HH:MM" as the UTC time "HH:MM" the spooler expects for
// job-hold-until, for today's date and the local time zone (TZ).
std::string UtcTimeOfDay(int hour, int minute);

// Whether the list leaves no page of a document of pageCount pages to print
// (its ranges lie beyond the end, or odd/even leaves none of them).
bool LeavesNoPage(const Settings& settings, int pageCount);

// How many pages of a document of pageCount pages the list prints (one copy).
int SelectedPageCount(const Settings& settings, int pageCount);

// The sizes paper=SIZE takes, in the list's order: the name as an item writes
// it ("A4", "Letter") and the PWG media name the spooler knows it by.
std::vector<std::pair<std::string, std::string>> PaperSizeNames();


// The description of the list for --help, lines ending in '\n'.
extern const char HelpText[];

} // namespace PrintSettings
