// morvane-printpdf: hands one PDF file to a CUPS queue and ends as soon as the
// spooler has accepted the job. Morvane starts it once per file and copy with
//   morvane-printpdf -print-to "printer" "file.pdf"
// It never reads from its input and never waits for an answer.

#include <cups/cups.h>
#include <poppler/cpp/poppler-document.h>
#include <poppler/cpp/poppler-global.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

enum ExitCode
{
    ExitAccepted = 0,
    ExitUsage = 1,
    ExitCannotLoad = 2,
    ExitPrintingNotAllowed = 3,
    ExitNoSuchPrinter = 4,
    ExitSpoolerRefused = 5,
};

constexpr char Program[] = "morvane-printpdf";

void PrintUsage(FILE* out)
{
    std::fprintf(out,
                 "Usage: %s -print-to PRINTER FILE\n"
                 "       %s -print-to-default FILE\n"
                 "Hands the PDF FILE to the CUPS queue PRINTER (or the default queue) with the\n"
                 "file's name as job title, and ends once the spooler has accepted the job.\n"
                 "\n"
                 "Exit codes:\n"
                 "  0  the job was accepted\n"
                 "  1  wrong usage or another error\n"
                 "  2  the file cannot be loaded (missing, unreadable, a directory, not a PDF,\n"
                 "     damaged, protected by a password, no pages)\n"
                 "  3  the document does not allow printing\n"
                 "  4  the printer does not exist, or there is no default printer\n"
                 "  5  the spooler cannot be reached or refused the job\n",
                 Program, Program);
}

int Fail(int code, const std::string& message)
{
    std::fprintf(stderr, "%s: %s\n", Program, message.c_str());
    return code;
}

std::string Quoted(const std::string& s)
{
    return '"' + s + '"';
}

// Nobody is there to type a password: CUPS gets none instead of a prompt on the terminal.
const char* NoPassword(const char*, http_t*, const char*, const char*, void*)
{
    return nullptr;
}

void IgnorePopplerMessage(const std::string&, void*) {}

// Checks that the file is a loadable PDF that may be printed; 0 or an exit code.
int CheckDocument(const std::string& file)
{
    struct stat st
    {
    };
    if (::stat(file.c_str(), &st) != 0)
        return Fail(ExitCannotLoad, "cannot open " + Quoted(file) + ": " + std::strerror(errno));
    if (S_ISDIR(st.st_mode))
        return Fail(ExitCannotLoad, "cannot open " + Quoted(file) + ": it is a directory");
    // A pipe or device would block the reader or never end.
    if (!S_ISREG(st.st_mode))
        return Fail(ExitCannotLoad, "cannot open " + Quoted(file) + ": it is not a regular file");
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return Fail(ExitCannotLoad, "cannot open " + Quoted(file) + ": " + std::strerror(errno));
    ::close(fd);

    // Poppler writes its parser complaints to stderr; the single line below is the message.
    poppler::set_debug_error_function(IgnorePopplerMessage, nullptr);
    std::unique_ptr<poppler::document> doc(poppler::document::load_from_file(file));
    if (!doc)
        return Fail(ExitCannotLoad, Quoted(file) + " is not a PDF file or is damaged");
    if (doc->is_locked())
        return Fail(ExitCannotLoad, Quoted(file) + " is protected by a password");
    if (doc->pages() < 1)
        return Fail(ExitCannotLoad, Quoted(file) + " has no pages");
    if (!doc->has_permission(poppler::perm_print))
        return Fail(ExitPrintingNotAllowed, Quoted(file) + " does not allow printing");
    return 0;
}

std::string BaseName(const std::string& file)
{
    const std::string::size_type slash = file.find_last_of('/');
    return slash == std::string::npos ? file : file.substr(slash + 1);
}

// Submits the file; printer empty means the default queue.
int Submit(const std::string& printer, const std::string& file)
{
    cupsSetPasswordCB2(NoPassword, nullptr);
    http_t* http = httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, 30000, nullptr);
    if (!http)
        return Fail(ExitSpoolerRefused,
                    std::string("cannot reach the print spooler at ") + cupsServer() + ": " + cupsLastErrorString());
    std::unique_ptr<http_t, void (*)(http_t*)> connection(http, httpClose);

    // "queue/instance" names an instance of a queue.
    std::string name = printer, instance;
    if (const std::string::size_type slash = name.find('/'); slash != std::string::npos) {
        instance = name.substr(slash + 1);
        name.resize(slash);
    }
    cups_dest_t* dest =
        cupsGetNamedDest(http, name.empty() ? nullptr : name.c_str(), instance.empty() ? nullptr : instance.c_str());
    if (!dest) {
        const ipp_status_t status = cupsLastError();
        if (status == IPP_STATUS_ERROR_SERVICE_UNAVAILABLE || status == IPP_STATUS_ERROR_INTERNAL)
            return Fail(ExitSpoolerRefused, std::string("cannot reach the print spooler: ") + cupsLastErrorString());
        return Fail(ExitNoSuchPrinter,
                    printer.empty() ? std::string("there is no default printer") : "no printer " + Quoted(printer));
    }
    std::unique_ptr<cups_dest_t, void (*)(cups_dest_t*)> destination(dest, [](cups_dest_t* d) { cupsFreeDests(1, d); });

    const std::string title = BaseName(file);
    const int job = cupsPrintFile2(http, dest->name, file.c_str(), title.c_str(), dest->num_options, dest->options);
    if (job <= 0)
        return Fail(ExitSpoolerRefused,
                    "the spooler refused the job for " + Quoted(dest->name) + ": " + cupsLastErrorString());
    std::printf("request id is %s-%d (1 file(s))\n", dest->name, job);
    return ExitAccepted;
}

} // namespace

int main(int argc, char** argv)
{
    std::string printer, file;
    bool printerGiven = false, useDefault = false, fileGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-help" || arg == "-h") {
            PrintUsage(stdout);
            return ExitAccepted;
        }
        if (arg == "-print-to") {
            if (i + 1 >= argc || printerGiven || useDefault)
                return PrintUsage(stderr), ExitUsage;
            printer = argv[++i];
            printerGiven = true;
        } else if (arg == "-print-to-default") {
            if (printerGiven || useDefault)
                return PrintUsage(stderr), ExitUsage;
            useDefault = true;
        } else if (!fileGiven && (arg.empty() || arg[0] != '-' || arg == "-")) {
            file = arg;
            fileGiven = true;
        } else {
            std::fprintf(stderr, "%s: unexpected argument %s\n", Program, Quoted(arg).c_str());
            return PrintUsage(stderr), ExitUsage;
        }
    }
    if (!fileGiven || (!printerGiven && !useDefault))
        return PrintUsage(stderr), ExitUsage;
    if (printerGiven && printer.empty())
        return Fail(ExitNoSuchPrinter, "no printer name given");

    if (const int refused = CheckDocument(file))
        return refused;
    return Submit(useDefault ? std::string() : printer, file);
}
