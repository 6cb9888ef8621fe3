// morvane-printpdf: hands one document (a PDF, or a type DocumentType knows) to
// a CUPS queue, a printer class or an IPP printer and ends as soon as the
// spooler has accepted the job. Morvane starts it once per file and copy with
//   morvane-printpdf -print-to "printer" [-print-settings "LIST"] "file.pdf"
// It never reads from its input and never waits for an answer, except with
// -batch (BatchMode.cpp), where it takes such calls one after the other.

#include "PrintPdf.h"

#include "Messages.h"
#include "Modules.h"
#include "PdfCheck.h"
#include "PlainPdf.h"
#include "documents/DocumentType.h"
#include "printing/PrintProgramExit.h"
#include "printing/PrintSettings.h"
#include "util/BuildVersion.h"
#include "util/Utf8Bytes.h"

#include <cups/cups.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The exit codes, as the callers read them.
constexpr int ExitAccepted = PrintProgramExit::Accepted;
constexpr int ExitUsage = PrintProgramExit::Usage;
constexpr int ExitCannotLoad = PrintProgramExit::CannotLoad;
constexpr int ExitPrintingNotAllowed = PrintProgramExit::PrintingNotAllowed;
constexpr int ExitNoSuchPrinter = PrintProgramExit::NoSuchPrinter;
constexpr int ExitSpoolerRefused = PrintProgramExit::SpoolerRefused;
constexpr int ExitNoPageLeft = PrintProgramExit::NoPageLeft;
constexpr int ExitSomeLeftOut = PrintProgramExit::SomeLeftOut;

constexpr char Program[] = "morvane-printpdf";

void PrintUsage(FILE* out)
{
    std::fprintf(out,
                 "%s %s -print-to PRINTER [-print-settings LIST] [-job-name TITLE] FILE\n"
                 "       %s -print-to-default [-print-settings LIST] [-job-name TITLE] FILE\n"
                 "       %s -check [-print-settings LIST] FILE\n"
                 "       %s -print-to PRINTER [-print-settings LIST] [-job-name TITLE] -one-job FILE...\n"
                 "       %s -batch\n",
                 TrPrintPdf("Usage:"), Program, Program, Program, Program, Program);
    // The option names, the upper-case words and the quoted output lines are the same in every language.
    const std::string text =
        std::string(TrPrintPdf("Hands FILE to PRINTER (or the default queue) with the file's name (or TITLE)\n"
                               "as job title, and ends once the spooler has accepted the job; then writes\n"
                               "\"request id is PRINTER-ID (1 file(s))\" per job and \"document pages: N\" (for a\n"
                               "text an estimate) on standard output.\n"
                               "-check makes every check of printing, spools nothing and writes the file's type\n"
                               "and pages on standard output: \"FILE\": TYPE, N pages (about N for a text).\n")) +
        "\n" +
        TrPrintPdf("With -one-job the FILEs (PDF files) go as the documents of one job, in order,\n"
                   "so that no other job comes between them; the print settings apply to the whole\n"
                   "job (with separator=blank or separator=title a page between the files). Each\n"
                   "file is checked first; one that fails is left out and the job goes without it.\n"
                   "One line per file on standard output:\n") +
        "  file N: document D of request DEST-ID\n"
        "  file N: left out (CODE): MESSAGE\n" +
        TrPrintPdf("then \"request id is DEST-ID (K file(s))\" (CODE: the exit code the file would have\n"
                   "had). A queue whose backend prints only the first document of a job (cups-pdf)\n"
                   "or a printer that takes no job of several documents is refused with exit code 1\n"
                   "before anything is spooled. A document the spooler refuses cancels the job (exit\n"
                   "code 5).\n") +
        "\n" +
        TrPrintPdf("With -batch the program stays and takes one call after the other on standard\n"
                   "input, each with the arguments above, and answers each with its output and its\n"
                   "exit code (the protocol is in morvane-printpdf(1)).\n") +
        "\n" +
        TrPrintPdf("PRINTER is a queue or class of the CUPS server (QUEUE/INSTANCE for an\n"
                   "instance), or an IPP URI printed to without a local queue:\n"
                   "ipp://HOST[:PORT]/printers/NAME, ipp://HOST/classes/NAME, ipps://...\n"
                   "The CUPS server is the one CUPS_SERVER or client.conf names, else the local one.\n"
                   "A server that takes the job but does not answer within 60 s (MORVANE_ANSWER_TIMEOUT\n"
                   "seconds) is given up.\n") +
        "\n" +
        FillIn(TrPrintPdf("A file without the header %s in its first 1,024 bytes or without the mark\n"
                          "%s in its last 1,024 bytes is incomplete (still being written, or a piece\n"
                          "of a file) and is refused before anything is spooled.\n"),
               {"%PDF-", "%%EOF"}) +
        "\n" + TrPrintPdf(DocumentType::HelpText) + "\n" + TrPrintPdf(PrintSettings::HelpText) + "\n" +
        TrPrintPdf("Exit codes:\n"
                   "  0  the job was accepted\n"
                   "  1  wrong usage, a refused print settings list, or another error\n"
                   "  2  the file cannot be loaded (missing, unreadable, a directory, of a type\n"
                   "     not printed, not a PDF although named so, incomplete, damaged, a page tree\n"
                   "     that does not lead to its pages, protected by a password, no pages, an\n"
                   "     office document without LibreOffice, that it cannot open or convert in time)\n"
                   "  3  the document does not allow printing\n"
                   "  4  the printer does not exist, or there is no default printer\n"
                   "  5  the spooler is not running, cannot be reached, did not answer or refused\n"
                   "     the job\n"
                   "  6  the print settings leave no page of the file (a page range beyond its end)\n"
                   "  7  with -one-job: the job was accepted, but some files were left out\n"
                   "  With -one-job and every file left out, the first file's code.\n");
    std::fputs(text.c_str(), out);
}

// The last refusal's message, for the per-file lines of a job of several files.
std::string LastFailure;

// Where a thread's refusal is kept instead of written, so that it comes out
// only when nothing that ranks before it has failed meanwhile.
thread_local std::string* DeferredFailure = nullptr;

int Fail(int code, const std::string& message)
{
    if (DeferredFailure) {
        *DeferredFailure = message;
        return code;
    }
    std::fprintf(stderr, "%s: %s\n", Program, message.c_str());
    LastFailure = message;
    return code;
}

std::string Quoted(const std::string& s)
{
    return '"' + s + '"';
}

void UnexpectedArgument(const std::string& arg)
{
    const std::string message = FillIn(TrPrintPdf("unexpected argument %s"), {Quoted(arg)});
    std::fprintf(stderr, "%s: %s\n", Program, message.c_str());
}

// Nobody is there to type a password: CUPS gets none instead of a prompt on the terminal.
const char* NoPassword(const char*, http_t*, const char*, const char*, void*)
{
    return nullptr;
}

// A file still being written, or a piece of one, lacks its header or its
// end-of-file mark. The PDF library would rebuild such a fragment silently
// and print what it could guess, so both marks are looked for first, reading
// only the first and the last kilobyte: a huge file that is no PDF is refused
// at once. Returns what is missing, or nullptr.
const char* MissingMark(int fd, off_t size)
{
    constexpr off_t Window = 1024;
    char head[Window];
    const ssize_t gotHead = ::pread(fd, head, static_cast<size_t>(std::min(size, Window)), 0);
    if (gotHead <= 0 || !memmem(head, static_cast<size_t>(gotHead), "%PDF-", 5))
        return MarkPrintPdf("no PDF header");
    char tail[Window];
    const off_t from = std::max<off_t>(0, size - Window);
    const ssize_t gotTail = ::pread(fd, tail, static_cast<size_t>(size - from), from);
    if (gotTail <= 0 || !memmem(tail, static_cast<size_t>(gotTail), "%%EOF", 5))
        return MarkPrintPdf("no end-of-file mark");
    return nullptr;
}

// The cheap part of the PDF check: a regular file with both marks. Returns 0 or an exit code.
int CheckWhole(const std::string& file)
{
    struct stat st
    {
    };
    if (::stat(file.c_str(), &st) != 0)
        return Fail(ExitCannotLoad, FillIn(TrPrintPdf("cannot open %s: %s"), {Quoted(file), std::strerror(errno)}));
    if (S_ISDIR(st.st_mode))
        return Fail(ExitCannotLoad, FillIn(TrPrintPdf("cannot open %s: it is a directory"), {Quoted(file)}));
    // A pipe or device would block the reader or never end.
    if (!S_ISREG(st.st_mode))
        return Fail(ExitCannotLoad, FillIn(TrPrintPdf("cannot open %s: it is not a regular file"), {Quoted(file)}));
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return Fail(ExitCannotLoad, FillIn(TrPrintPdf("cannot open %s: %s"), {Quoted(file), std::strerror(errno)}));
    const char* missing = MissingMark(fd, st.st_size);
    ::close(fd);
    if (missing)
        return Fail(ExitCannotLoad, FillIn(TrPrintPdf("%s is incomplete: %s"), {Quoted(file), TrPrintPdf(missing)}));
    return 0;
}

// The PDF library's part of the check, through the module that holds the
// library: it opens the file, counts the pages, asks for a password and the
// print permission and follows the page tree. Returns 0 and sets *pages, or
// returns an exit code. Without the module nothing is printed unchecked. A
// plain file, whose answer is certain from its structure, needs no library.
int CheckPdf(const std::string& file, int* pages)
{
    if (const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK); fd >= 0) {
        const bool plain = PlainPdfPages(fd, pages);
        ::close(fd);
        if (plain)
            return 0;
    }
    std::string error;
    const auto check =
        reinterpret_cast<MorvanePdfCheckFn>(ModuleSymbol("morvane-pdfcheck.so", MORVANE_PDF_CHECK_SYMBOL, &error));
    if (!check)
        return Fail(ExitCannotLoad, FillIn(TrPrintPdf("cannot check %s: %s"), {Quoted(file), error}));
    int badPage = 0;
    switch (check(file.c_str(), pages, &badPage)) {
    case MorvanePdfOk:
        return 0;
    case MorvanePdfLocked:
        return Fail(ExitCannotLoad, FillIn(TrPrintPdf("%s is protected by a password"), {Quoted(file)}));
    case MorvanePdfNoPages:
        return Fail(ExitCannotLoad, FillIn(TrPrintPdf("%s has no pages"), {Quoted(file)}));
    case MorvanePdfNoPrint:
        return Fail(ExitPrintingNotAllowed, FillIn(TrPrintPdf("%s does not allow printing"), {Quoted(file)}));
    case MorvanePdfBadTree:
        return Fail(ExitCannotLoad, FillIn(TrPrintPdf("%s is damaged: its page tree does not lead to page %d of %d"),
                                           {Quoted(file), std::to_string(badPage), std::to_string(*pages)}));
    default:
        return Fail(ExitCannotLoad, FillIn(TrPrintPdf("%s is not a PDF file or is damaged"), {Quoted(file)}));
    }
}

// Checks that the file is a loadable PDF that may be printed. Returns 0 and
// sets *pages, or returns an exit code.
int CheckDocument(const std::string& file, int* pages)
{
    if (const int refused = CheckWhole(file))
        return refused;
    return CheckPdf(file, pages);
}

std::string BaseName(const std::string& file)
{
    const std::string::size_type slash = file.find_last_of('/');
    return slash == std::string::npos ? file : file.substr(slash + 1);
}

using HttpPtr = std::unique_ptr<http_t, void (*)(http_t*)>;

// How long a server that took the connection may take to answer a request;
// MORVANE_ANSWER_TIMEOUT (seconds) sets another limit.
int AnswerTimeoutS()
{
    const char* value = std::getenv("MORVANE_ANSWER_TIMEOUT");
    const int seconds = value ? std::atoi(value) : 0;
    return seconds > 0 ? seconds : 60;
}

// Called when the server has been silent for the answer time: the request is given up.
int GiveUpWaiting(http_t*, void* timedOut)
{
    *static_cast<bool*>(timedOut) = true;
    return 0;
}

// Why nothing could connect to server:port, as an errno value: ECONNREFUSED
// and ENOENT mean that nobody listens there. Each address is tried for 2 s.
int ConnectError(const char* server, int port)
{
    http_addrlist_t* list = httpAddrGetList(server, AF_UNSPEC, std::to_string(port).c_str());
    if (!list)
        return EHOSTUNREACH;
    int error = ECONNREFUSED;
    for (http_addrlist_t* a = list; a; a = a->next) {
        const int fd = ::socket(httpAddrFamily(&a->addr), SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        if (fd < 0) {
            error = errno;
            continue;
        }
        error = ::connect(fd, &a->addr.addr, static_cast<socklen_t>(httpAddrLength(&a->addr))) == 0 ? 0 : errno;
        if (error == EINPROGRESS) {
            pollfd p{fd, POLLOUT, 0};
            socklen_t size = sizeof error;
            error = ::poll(&p, 1, 2000) == 1 && ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 ? error
                                                                                                           : ETIMEDOUT;
        }
        ::close(fd);
        if (error == 0)
            break;
    }
    httpAddrFreeList(list);
    return error;
}

// The message for a spooler that could not be connected to.
std::string CannotReachSpooler(const char* server, int port)
{
    const int error = ConnectError(server, port);
    const std::string where = server[0] == '/' ? std::string(server) : server + (":" + std::to_string(port));
    if (error == ECONNREFUSED || error == ENOENT)
        return FillIn(TrPrintPdf("the print spooler is not running at %s"), {where});
    return FillIn(TrPrintPdf("cannot reach the print spooler at %s: %s"),
                  {where, error ? std::strerror(error) : cupsLastErrorString()});
}

bool IsPrinterUri(const std::string& printer)
{
    return strncasecmp(printer.c_str(), "ipp://", 6) == 0 || strncasecmp(printer.c_str(), "ipps://", 7) == 0;
}

// Where one job goes: the connection, the printer URI and the HTTP resource to post to.
struct Target
{
    HttpPtr http{nullptr, httpClose};
    std::string uri, resource, name;
    int numOptions = 0;
    cups_option_t* options = nullptr;
    int answerTimeoutS = 0;
    bool timedOut = false; // the server took the request and never answered
    ~Target() { cupsFreeOptions(numOptions, options); }
};

std::string DidNotAnswer(const Target& target)
{
    return FillIn(TrPrintPdf("%s did not answer within %d s"),
                  {Quoted(target.name), std::to_string(target.answerTimeoutS)});
}

// An IPP URI: straight to that server, no local queue and no lpoptions.
int ConnectUri(const std::string& printer, Target* target)
{
    char scheme[32], user[256], host[256], resource[1024];
    int port = 0;
    if (httpSeparateURI(HTTP_URI_CODING_ALL, printer.c_str(), scheme, sizeof scheme, user, sizeof user, host,
                        sizeof host, &port, resource, sizeof resource) < HTTP_URI_STATUS_OK ||
        !*host)
        return Fail(ExitUsage, FillIn(TrPrintPdf("not a printer URI: %s"), {Quoted(printer)}));
    const bool tls = strcasecmp(scheme, "ipps") == 0;
    target->http.reset(httpConnect2(host, port, nullptr, AF_UNSPEC,
                                    tls ? HTTP_ENCRYPTION_ALWAYS : HTTP_ENCRYPTION_IF_REQUESTED, 1, 30000, nullptr));
    if (!target->http)
        return Fail(ExitSpoolerRefused, FillIn(TrPrintPdf("cannot reach %s: %s"),
                                               {Quoted(printer), std::strerror(ConnectError(host, port))}));
    target->answerTimeoutS = AnswerTimeoutS();
    httpSetTimeout(target->http.get(), target->answerTimeoutS, GiveUpWaiting, &target->timedOut);
    target->uri = printer;
    target->resource = resource;
    target->name = printer;
    return 0;
}

// A queue or class of the CUPS server; printer empty means the default destination.
int ConnectQueue(const std::string& printer, Target* target)
{
    target->http.reset(httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, 30000, nullptr));
    if (!target->http)
        return Fail(ExitSpoolerRefused, CannotReachSpooler(cupsServer(), ippPort()));
    target->answerTimeoutS = AnswerTimeoutS();
    httpSetTimeout(target->http.get(), target->answerTimeoutS, GiveUpWaiting, &target->timedOut);

    // "queue/instance" names an instance of a queue.
    std::string name = printer, instance;
    if (const std::string::size_type slash = name.find('/'); slash != std::string::npos) {
        instance = name.substr(slash + 1);
        name.resize(slash);
    }
    // One round trip: the destination exists, and its saved options (lpoptions) come along, as for lp.
    cups_dest_t* dest = cupsGetNamedDest(target->http.get(), name.empty() ? nullptr : name.c_str(),
                                         instance.empty() ? nullptr : instance.c_str());
    if (!dest && target->timedOut)
        return Fail(ExitSpoolerRefused, FillIn(TrPrintPdf("the print spooler at %s did not answer within %d s"),
                                               {cupsServer(), std::to_string(target->answerTimeoutS)}));
    if (!dest) {
        const ipp_status_t status = cupsLastError();
        if (status == IPP_STATUS_ERROR_SERVICE_UNAVAILABLE || status == IPP_STATUS_ERROR_INTERNAL)
            return Fail(ExitSpoolerRefused,
                        FillIn(TrPrintPdf("cannot reach the print spooler: %s"), {cupsLastErrorString()}));
        return Fail(ExitNoSuchPrinter, printer.empty() ? std::string(TrPrintPdf("there is no default printer"))
                                                       : FillIn(TrPrintPdf("no printer %s"), {Quoted(printer)}));
    }
    target->name = dest->name;
    // The spooler looks at the resource only; "localhost" is what CUPS clients send.
    target->resource = "/printers/" + target->name;
    char uri[1024];
    httpAssembleURI(HTTP_URI_CODING_ALL, uri, sizeof uri, "ipp", nullptr, "localhost", ippPort(),
                    target->resource.c_str());
    target->uri = uri;
    for (int i = 0; i < dest->num_options; ++i)
        target->numOptions =
            cupsAddOption(dest->options[i].name, dest->options[i].value, target->numOptions, &target->options);
    cupsFreeDests(1, dest);
    return 0;
}

// The connection to the printer's server and, for a queue, its look-up.
int Connect(const std::string& printer, bool useDefault, Target* target)
{
    return useDefault || !IsPrinterUri(printer) ? ConnectQueue(useDefault ? std::string() : printer, target)
                                                : ConnectUri(printer, target);
}

// The connection and the look-up on a thread of their own, while the PDF
// check loads its library and reads the file: the two take about as long,
// and the spooler's answer is waited for meanwhile. A refusal of the look-up
// is written only once the file has passed, so the file's comes first as
// before; nothing is spooled before both are done.
class Lookup
{
public:
    void Start(const std::string& printer, bool useDefault)
    {
        m_state = std::make_shared<State>();
        m_thread = std::thread([state = m_state, printer, useDefault] {
            DeferredFailure = &state->message;
            // CUPS keeps its settings per thread.
            cupsSetPasswordCB2(NoPassword, nullptr);
            state->code = Connect(printer, useDefault, &state->target);
        });
    }

    // Waits for the look-up; returns 0 and sets *target, or its exit code
    // after writing its refusal.
    int Finish(Target** target)
    {
        m_thread.join();
        if (m_state->code)
            return Fail(m_state->code, m_state->message);
        *target = &m_state->target;
        return 0;
    }

    // A file refused while the spooler has not answered yet: the program
    // ends without waiting, and the thread with it.
    ~Lookup()
    {
        if (m_thread.joinable())
            m_thread.detach();
    }

private:
    struct State
    {
        Target target;
        int code = 0;
        std::string message;
    };
    std::shared_ptr<State> m_state;
    std::thread m_thread;
};

// Whether the printer's NAME-supported attribute admits the value.
bool Supports(ipp_attribute_t* supported, const std::string& option, const std::string& value)
{
    if (ippGetValueTag(supported) == IPP_TAG_RANGE || ippGetValueTag(supported) == IPP_TAG_INTEGER) {
        const int n = std::atoi(value.c_str());
        // job-priority-supported is the number of levels the printer tells apart, not a limit.
        if (option == "job-priority")
            return true;
        for (int i = 0; i < ippGetCount(supported); ++i) {
            int upper = 0;
            const int lower = ippGetValueTag(supported) == IPP_TAG_RANGE ? ippGetRange(supported, i, &upper)
                                                                         : (upper = ippGetInteger(supported, i));
            if (n >= lower && n <= upper)
                return true;
        }
        return false;
    }
    // A time of day is no keyword; a printer that holds jobs at all takes it.
    if (option == "job-hold-until" && value.find(':') != std::string::npos)
        return true;
    for (int i = 0; i < ippGetCount(supported); ++i)
        if (const char* s = ippGetString(supported, i, nullptr); s && value == s)
            return true;
    return false;
}

// The job attributes beyond the page handling must be ones the printer says it
// supports: a printer that does not know one might print without it, silently.
// One Get-Printer-Attributes round trip, only when the list asks for such an attribute.
int CheckPrinterSupport(Target& target, const PrintSettings::Options& settings)
{
    std::vector<std::string> names;
    for (const auto& [name, value] : settings)
        if (PrintSettings::NeedsPrinterSupport(name, value))
            names.push_back(name + "-supported");
    if (names.empty())
        return 0;
    std::vector<const char*> requested;
    for (const std::string& n : names)
        requested.push_back(n.c_str());
    ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, target.uri.c_str());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes",
                  static_cast<int>(requested.size()), nullptr, requested.data());
    std::unique_ptr<ipp_t, void (*)(ipp_t*)> response(
        cupsDoRequest(target.http.get(), request, target.resource.c_str()), ippDelete);
    if (target.timedOut)
        return Fail(ExitSpoolerRefused, DidNotAnswer(target));
    if (!response || cupsLastError() > IPP_STATUS_OK_CONFLICTING)
        return Fail(ExitSpoolerRefused, FillIn(TrPrintPdf("cannot ask %s what it supports: %s"),
                                               {Quoted(target.name), cupsLastErrorString()}));
    for (const auto& [name, value] : settings) {
        if (!PrintSettings::NeedsPrinterSupport(name, value))
            continue;
        ipp_attribute_t* supported = ippFindAttribute(response.get(), (name + "-supported").c_str(), IPP_TAG_ZERO);
        if (!supported || !Supports(supported, name, value))
            return Fail(ExitUsage,
                        supported ? FillIn(TrPrintPdf("%s cannot print with %s=%s (it does not support that value)"),
                                           {Quoted(target.name), name, value})
                                  : FillIn(TrPrintPdf("%s cannot print with %s=%s (it does not support %s)"),
                                           {Quoted(target.name), name, value, name}));
    }
    return 0;
}

// One Print-Job request carries the options and the document: a single round
// trip per job. Each copy asked for with Nx is a job of its own.
int Submit(Target& target, const std::string& file, const DocumentType::Document& doc, const std::string& jobName,
           const PrintSettings::Options& settings, int jobs)
{
    for (const auto& [name, value] : settings)
        target.numOptions = cupsAddOption(name.c_str(), value.c_str(), target.numOptions, &target.options);

    for (int copy = 0; copy < jobs; ++copy) {
        ipp_t* request = ippNewRequest(IPP_OP_PRINT_JOB);
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, target.uri.c_str());
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
        // The spooler takes only valid UTF-8 without control characters as a
        // title; the file itself is opened by its original bytes.
        const std::string title = ReadableUtf8(jobName.empty() ? BaseName(file) : jobName);
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr, title.c_str());
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_MIMETYPE, "document-format", nullptr, doc.format.c_str());
        cupsEncodeOptions2(request, target.numOptions, target.options, IPP_TAG_OPERATION);
        cupsEncodeOptions2(request, target.numOptions, target.options, IPP_TAG_JOB);

        std::unique_ptr<ipp_t, void (*)(ipp_t*)> response(
            cupsDoFileRequest(target.http.get(), request, target.resource.c_str(), doc.spoolFile.c_str()), ippDelete);
        const ipp_status_t status = cupsLastError();
        const std::string accepted = copy > 0 ? " " + FillIn(TrPrintPdf("(%d of %d copies were accepted)"),
                                                             {std::to_string(copy), std::to_string(jobs)})
                                              : std::string();
        if (target.timedOut)
            return Fail(ExitSpoolerRefused, DidNotAnswer(target) + accepted);
        if (status == IPP_STATUS_ERROR_NOT_FOUND)
            return Fail(ExitNoSuchPrinter,
                        FillIn(TrPrintPdf("no printer %s: %s"), {Quoted(target.name), cupsLastErrorString()}) +
                            accepted);
        ipp_attribute_t* id = response ? ippFindAttribute(response.get(), "job-id", IPP_TAG_INTEGER) : nullptr;
        if (status > IPP_STATUS_OK_CONFLICTING || !id)
            return Fail(ExitSpoolerRefused, FillIn(TrPrintPdf("the spooler refused the job for %s: %s"),
                                                   {Quoted(target.name), cupsLastErrorString()}) +
                                                accepted);
        std::printf("request id is %s-%d (1 file(s))\n", target.name.c_str(), ippGetInteger(id, 0));
    }
    return ExitAccepted;
}

// A job of several documents goes to the printer's backend as one stream.
// cups-pdf writes the first document and ends, and the spooler then waits
// for ever for the rest: the queue stays blocked. Such queues, and printers
// that say they take no job of several documents, are refused before a job
// exists. One Get-Printer-Attributes round trip.
int CheckSeveralDocuments(Target& target)
{
    const char* const requested[] = {"device-uri", "multiple-document-jobs-supported"};
    ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, target.uri.c_str());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 2, nullptr, requested);
    std::unique_ptr<ipp_t, void (*)(ipp_t*)> response(
        cupsDoRequest(target.http.get(), request, target.resource.c_str()), ippDelete);
    if (target.timedOut)
        return Fail(ExitSpoolerRefused, DidNotAnswer(target));
    if (!response || cupsLastError() > IPP_STATUS_OK_CONFLICTING)
        return Fail(ExitSpoolerRefused, FillIn(TrPrintPdf("cannot ask %s what it supports: %s"),
                                               {Quoted(target.name), cupsLastErrorString()}));
    if (ipp_attribute_t* uri = ippFindAttribute(response.get(), "device-uri", IPP_TAG_URI)) {
        if (const char* value = ippGetString(uri, 0, nullptr); value && strncasecmp(value, "cups-pdf:", 9) == 0)
            return Fail(ExitUsage, FillIn(TrPrintPdf("%s cannot print a job of several documents: its cups-pdf "
                                                     "backend writes only the first (print the files one by one)"),
                                          {Quoted(target.name)}));
    }
    ipp_attribute_t* several = ippFindAttribute(response.get(), "multiple-document-jobs-supported", IPP_TAG_BOOLEAN);
    if (several && !ippGetBoolean(several, 0))
        return Fail(ExitUsage, FillIn(TrPrintPdf("%s takes no job of several documents (print the files one by one)"),
                                      {Quoted(target.name)}));
    return 0;
}

// Text for a PDF string: printable ASCII, the three special characters escaped.
std::string PdfText(const std::string& text)
{
    std::string out;
    for (const unsigned char c : text) {
        if (c == '(' || c == ')' || c == '\\')
            out += '\\';
        out += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
    }
    return out;
}

// A separator page of A4 size: empty, or with a title near its top.
std::string SeparatorPdf(const std::string& title)
{
    const std::string content =
        title.empty() ? std::string() : "BT /F1 16 Tf 56 770 Td (" + PdfText(title.substr(0, 200)) + ") Tj ET\n";
    const std::string objects[] = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 595 842] /Contents 4 0 R"
        " /Resources << /Font << /F1 5 0 R >> >> >>",
        "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "endstream",
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>",
    };
    std::string pdf = "%PDF-1.4\n";
    std::vector<std::size_t> offsets;
    for (std::size_t i = 0; i < std::size(objects); ++i) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const std::size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(offsets.size() + 1) + "\n0000000000 65535 f \n";
    for (const std::size_t offset : offsets) {
        char line[32];
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
        pdf += line;
    }
    pdf += "trailer\n<< /Size " + std::to_string(offsets.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n";
    return pdf;
}

using IppPtr = std::unique_ptr<ipp_t, void (*)(ipp_t*)>;

// The operation attributes every request of a job carries.
ipp_t* JobRequest(ipp_op_t op, const Target& target, int jobId)
{
    ipp_t* request = ippNewRequest(op);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, target.uri.c_str());
    if (jobId > 0)
        ippAddInteger(request, IPP_TAG_OPERATION, IPP_TAG_INTEGER, "job-id", jobId);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    return request;
}

// One Send-Document with a file or (file empty) the bytes of data; true when accepted.
bool SendDocument(Target& target, int jobId, const std::string& name, const std::string& file, const std::string& data,
                  bool last)
{
    std::string path = file;
    if (file.empty()) {
        // The request body comes from a file: a temporary one that is gone at once.
        const char* dir = std::getenv("TMPDIR");
        path = std::string(dir && *dir ? dir : "/tmp") + "/morvane-separator-XXXXXX";
        const int fd = ::mkstemp(path.data());
        if (fd < 0)
            return false;
        const bool written = ::write(fd, data.data(), data.size()) == static_cast<ssize_t>(data.size());
        ::close(fd);
        if (!written) {
            ::unlink(path.c_str());
            return false;
        }
    }
    ipp_t* request = JobRequest(IPP_OP_SEND_DOCUMENT, target, jobId);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "document-name", nullptr, ReadableUtf8(name).c_str());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_MIMETYPE, "document-format", nullptr, "application/pdf");
    ippAddBoolean(request, IPP_TAG_OPERATION, "last-document", last ? 1 : 0);
    IppPtr response(cupsDoFileRequest(target.http.get(), request, target.resource.c_str(), path.c_str()), ippDelete);
    if (file.empty())
        ::unlink(path.c_str());
    return response && !target.timedOut && cupsLastError() <= IPP_STATUS_OK_CONFLICTING;
}

// A document the spooler did not take: the job is cancelled, so that no
// part of the batch is printed without the rest.
int CancelJob(Target& target, int jobId, const std::string& what, const std::string& accepted)
{
    const std::string reason =
        target.timedOut ? FillIn(TrPrintPdf("no answer within %d s"), {std::to_string(target.answerTimeoutS)})
                        : std::string(cupsLastErrorString());
    target.timedOut = false;
    IppPtr response(
        cupsDoRequest(target.http.get(), JobRequest(IPP_OP_CANCEL_JOB, target, jobId), target.resource.c_str()),
        ippDelete);
    return Fail(ExitSpoolerRefused,
                FillIn(TrPrintPdf("the spooler refused %s of request %s (%s); the job was cancelled"),
                       {what, target.name + "-" + std::to_string(jobId), reason}) +
                    accepted);
}

// The files as the documents of one job per copy: Create-Job with the job's
// attributes, then one Send-Document per file in order (and a separator page
// between them), the last one marked. files[i] is sent when its index is in
// sendable; each file's line tells what became of it.
int SubmitOneJob(Target& target, const std::vector<std::string>& files, const std::vector<std::size_t>& sendable,
                 const std::string& jobName, const std::string& separator, const PrintSettings::Options& settings,
                 int jobs)
{
    for (const auto& [name, value] : settings)
        target.numOptions = cupsAddOption(name.c_str(), value.c_str(), target.numOptions, &target.options);
    const std::string title = ReadableUtf8(jobName.empty() ? BaseName(files[sendable.front()]) : jobName);

    for (int copy = 0; copy < jobs; ++copy) {
        const std::string accepted = copy > 0 ? " " + FillIn(TrPrintPdf("(%d of %d copies were accepted)"),
                                                             {std::to_string(copy), std::to_string(jobs)})
                                              : std::string();
        ipp_t* request = JobRequest(IPP_OP_CREATE_JOB, target, 0);
        ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "job-name", nullptr, title.c_str());
        cupsEncodeOptions2(request, target.numOptions, target.options, IPP_TAG_OPERATION);
        cupsEncodeOptions2(request, target.numOptions, target.options, IPP_TAG_JOB);
        IppPtr response(cupsDoRequest(target.http.get(), request, target.resource.c_str()), ippDelete);
        const ipp_status_t status = cupsLastError();
        if (target.timedOut)
            return Fail(ExitSpoolerRefused, DidNotAnswer(target) + accepted);
        if (status == IPP_STATUS_ERROR_NOT_FOUND)
            return Fail(ExitNoSuchPrinter,
                        FillIn(TrPrintPdf("no printer %s: %s"), {Quoted(target.name), cupsLastErrorString()}) +
                            accepted);
        ipp_attribute_t* idAttr = response ? ippFindAttribute(response.get(), "job-id", IPP_TAG_INTEGER) : nullptr;
        if (status > IPP_STATUS_OK_CONFLICTING || !idAttr)
            return Fail(ExitSpoolerRefused, FillIn(TrPrintPdf("the spooler refused the job for %s: %s"),
                                                   {Quoted(target.name), cupsLastErrorString()}) +
                                                accepted);
        const int jobId = ippGetInteger(idAttr, 0);

        std::string lines;
        int document = 0;
        for (std::size_t k = 0; k < sendable.size(); ++k) {
            const std::string& file = files[sendable[k]];
            const bool last = k + 1 == sendable.size();
            if (k > 0 && !separator.empty()) {
                ++document;
                if (!SendDocument(target, jobId, "separator", std::string(),
                                  SeparatorPdf(separator == "title" ? BaseName(file) : std::string()), false))
                    return CancelJob(target, jobId, FillIn(TrPrintPdf("the separator page before %s"), {Quoted(file)}),
                                     accepted);
            }
            ++document;
            if (!SendDocument(target, jobId, BaseName(file), file, std::string(), last))
                return CancelJob(target, jobId, Quoted(file), accepted);
            lines += "file " + std::to_string(sendable[k] + 1) + ": document " + std::to_string(document) +
                     " of request " + target.name + "-" + std::to_string(jobId) + "\n";
        }
        // Only now: a job cancelled half way printed none of its files.
        std::fputs(lines.c_str(), stdout);
        std::printf("request id is %s-%d (%zu file(s))\n", target.name.c_str(), jobId, sendable.size());
    }
    return ExitAccepted;
}

// -one-job: every file checked as a single one would be, then one job of the
// files that passed. Returns the exit code.
int PrintOneJob(const std::string& printer, bool useDefault, const std::vector<std::string>& files,
                const PrintSettings::Settings& settings, const std::string& jobName)
{
    std::vector<std::size_t> sendable;
    int firstRefusal = 0, maxPages = 0;
    std::string lines;
    for (std::size_t i = 0; i < files.size(); ++i) {
        int pages = 0, refused = CheckDocument(files[i], &pages);
        PrintSettings::Options options;
        std::string error;
        if (!refused && !PrintSettings::JobOptions(settings, pages, &options, &error))
            refused = Fail(PrintSettings::LeavesNoPage(settings, pages) ? ExitNoPageLeft : ExitUsage,
                           Quoted(files[i]) + ": " + error);
        if (refused) {
            lines +=
                "file " + std::to_string(i + 1) + ": left out (" + std::to_string(refused) + "): " + LastFailure + "\n";
            if (!firstRefusal)
                firstRefusal = refused;
            continue;
        }
        sendable.push_back(i);
        maxPages = std::max(maxPages, pages);
    }
    std::fputs(lines.c_str(), stdout);
    if (sendable.empty())
        return firstRefusal;
    // The job's page ranges are the list's; the spooler clips them to each document.
    PrintSettings::Options options;
    std::string error;
    if (!PrintSettings::JobOptions(settings, maxPages, &options, &error))
        return Fail(ExitUsage, error);

    cupsSetPasswordCB2(NoPassword, nullptr);
    Target target;
    if (const int connected = Connect(printer, useDefault, &target))
        return connected;
    if (const int unsupported = CheckPrinterSupport(target, options))
        return unsupported;
    if (const int refused = CheckSeveralDocuments(target))
        return refused;
    const int code = SubmitOneJob(target, files, sendable, jobName, settings.separator, options,
                                  settings.copies > 0 ? settings.copies : 1);
    return code == ExitAccepted && firstRefusal ? ExitSomeLeftOut : code;
}

} // namespace

const std::string& LastFailureMessage()
{
    return LastFailure;
}

int PrintFromArguments(const std::vector<std::string>& args)
{
    LastFailure.clear();
    std::string printer, settingsList, jobName;
    std::vector<std::string> files;
    bool printerGiven = false, useDefault = false, settingsGiven = false, nameGiven = false, oneJob = false;
    bool checkOnly = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-help" || arg == "-h") {
            PrintUsage(stdout);
            return ExitAccepted;
        }
        if (arg == "--version") {
            std::printf("%s %s\n", Program, MORVANE_VERSION_STRING);
            return ExitAccepted;
        }
        if (arg == "-print-to") {
            if (i + 1 >= args.size() || printerGiven || useDefault)
                return PrintUsage(stderr), ExitUsage;
            printer = args[++i];
            printerGiven = true;
        } else if (arg == "-print-to-default") {
            if (printerGiven || useDefault)
                return PrintUsage(stderr), ExitUsage;
            useDefault = true;
        } else if (arg == "-print-settings") {
            if (i + 1 >= args.size() || settingsGiven)
                return PrintUsage(stderr), ExitUsage;
            settingsList = args[++i];
            settingsGiven = true;
        } else if (arg == "-job-name") {
            if (i + 1 >= args.size() || nameGiven)
                return PrintUsage(stderr), ExitUsage;
            jobName = args[++i];
            nameGiven = true;
            if (jobName.empty())
                return Fail(ExitUsage, TrPrintPdf("the job name is empty"));
        } else if (arg == "-check" && !checkOnly) {
            checkOnly = true;
        } else if (arg == "-one-job") {
            oneJob = true;
        } else if (arg.empty() || arg[0] != '-' || arg == "-") {
            files.push_back(arg);
        } else {
            UnexpectedArgument(arg);
            return PrintUsage(stderr), ExitUsage;
        }
    }
    if (!oneJob && files.size() > 1) {
        UnexpectedArgument(files[1]);
        return PrintUsage(stderr), ExitUsage;
    }
    if (oneJob && checkOnly)
        return Fail(ExitUsage, TrPrintPdf("-check takes one file, not -one-job"));
    if (files.empty() || (!printerGiven && !useDefault && !checkOnly))
        return PrintUsage(stderr), ExitUsage;
    if (printerGiven && printer.empty())
        return Fail(ExitNoSuchPrinter, TrPrintPdf("no printer name given"));

    // Every refusal comes before the spooler is contacted: nothing is spooled for a bad list or file.
    PrintSettings::Settings settings;
    std::string error;
    if (settingsGiven && !PrintSettings::Parse(settingsList, &settings, &error))
        return Fail(ExitUsage, error);
    if (oneJob)
        return PrintOneJob(printer, useDefault, files, settings, jobName);
    if (!settings.separator.empty())
        return Fail(ExitUsage,
                    FillIn(TrPrintPdf("separator=%s needs -one-job (a job of several files)"), {settings.separator}));
    const std::string& file = files.front();
    DocumentType::Document doc;
    if (const int refused = DocumentType::Prepare(file, &doc))
        return refused;
    int pages = doc.pages;
    Lookup lookup;
    if (doc.format == "application/pdf") {
        if (const int refused = CheckWhole(doc.spoolFile))
            return refused;
        if (!checkOnly)
            lookup.Start(printer, useDefault);
        if (const int refused = CheckPdf(doc.spoolFile, &pages))
            return refused;
    } else if (!checkOnly) {
        lookup.Start(printer, useDefault);
    }
    // An estimated count does not clip page ranges: the converter has the last word.
    const int clip = doc.pagesEstimated ? DocumentType::PagesForRanges(settings, pages) : pages;
    PrintSettings::Options options;
    if (!PrintSettings::JobOptions(settings, clip, &options, &error))
        return Fail(PrintSettings::LeavesNoPage(settings, clip) ? ExitNoPageLeft : ExitUsage,
                    Quoted(file) + ": " + error);
    if (checkOnly) {
        const unsigned long n = static_cast<unsigned long>(std::max(pages, 0));
        const std::string line =
            FillIn(doc.pagesEstimated ? TrPrintPdfN("%s: %s, about %d page", "%s: %s, about %d pages", n)
                                      : TrPrintPdfN("%s: %s, %d page", "%s: %s, %d pages", n),
                   {Quoted(file), doc.type, std::to_string(pages)});
        std::printf("%s\n", line.c_str());
        return ExitAccepted;
    }

    cupsSetPasswordCB2(NoPassword, nullptr);
    Target* found = nullptr;
    if (const int connected = lookup.Finish(&found))
        return connected;
    Target& target = *found;
    if (const int unsupported = CheckPrinterSupport(target, options))
        return unsupported;
    const int submitted = Submit(target, file, doc, jobName, options, settings.copies > 0 ? settings.copies : 1);
    // The count the checks made anyway, for the run's report.
    if (submitted == ExitAccepted)
        std::printf("document pages: %d\n", pages);
    return submitted;
}

int main(int argc, char** argv)
{
    InitMessages();
    if (argc == 2 && std::strcmp(argv[1], "-batch") == 0)
        return RunBatchMode();
    return PrintFromArguments(std::vector<std::string>(argv + 1, argv + argc));
}
