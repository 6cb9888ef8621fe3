// morvane-printpdf -batch: one process takes call after call, so that a batch
// pays for starting and loading once. Each call is what one start with the
// same arguments would do; its output is collected apart and sent back framed
// by length, so a file name with a newline or a quote cannot be taken for a
// line of the protocol. The protocol is in morvane-printpdf(1).

#include "PrintPdf.h"

#include "Messages.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char Greeting[] = "morvane-printpdf batch 1\n";
// Beyond these a call is taken for garbage: the stream is out of step.
constexpr std::size_t MaxArguments = 4096;
constexpr std::size_t MaxArgumentBytes = 1 << 20;

class TCallReader
{
public:
    explicit TCallReader(int fd) : FFd(fd) {}

    // False at the end of the input or on a read error.
    bool Byte(char* c)
    {
        if (FPos == FBuf.size()) {
            FBuf.resize(65536);
            ssize_t n;
            do
                n = ::read(FFd, FBuf.data(), FBuf.size());
            while (n < 0 && errno == EINTR);
            if (n <= 0)
                return false;
            FBuf.resize(static_cast<std::size_t>(n));
            FPos = 0;
        }
        *c = FBuf[FPos++];
        return true;
    }
    // Decimal digits up to the terminator; false for anything else.
    bool Number(char terminator, std::size_t limit, std::size_t* value)
    {
        *value = 0;
        char c = 0;
        int digits = 0;
        while (Byte(&c) && c >= '0' && c <= '9') {
            *value = *value * 10 + static_cast<std::size_t>(c - '0');
            if (++digits > 9 || *value > limit)
                return false;
        }
        return digits > 0 && c == terminator;
    }
    bool Bytes(std::size_t n, std::string* out)
    {
        out->clear();
        char c = 0;
        while (out->size() < n && Byte(&c))
            out->push_back(c);
        return out->size() == n;
    }
    bool AtEnd()
    {
        char c = 0;
        if (!Byte(&c))
            return true;
        --FPos;
        return false;
    }

private:
    int FFd;
    std::vector<char> FBuf;
    std::size_t FPos = 0;
};

bool WriteAll(int fd, const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// "call N\n", then N times "LEN:BYTES\n". False when the input ended or is out of step.
bool ReadCall(TCallReader& in, std::vector<std::string>* args)
{
    std::string word;
    if (!in.Bytes(5, &word) || word != "call ")
        return false;
    std::size_t count = 0;
    if (!in.Number('\n', MaxArguments, &count))
        return false;
    args->assign(count, std::string());
    for (std::string& arg : *args) {
        std::size_t length = 0;
        std::string end;
        if (!in.Number(':', MaxArgumentBytes, &length) || !in.Bytes(length, &arg) || !in.Bytes(1, &end) || end != "\n")
            return false;
        // No argument of a single call can hold a NUL byte.
        if (arg.find('\0') != std::string::npos)
            return false;
    }
    return true;
}

// A message on one line of the protocol: control characters become '?'.
std::string OneLine(const std::string& text)
{
    std::string line = text;
    for (char& c : line)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
            c = '?';
    return line;
}

std::string BaseName(const std::string& file)
{
    const std::string::size_type slash = file.find_last_of('/');
    return slash == std::string::npos ? file : file.substr(slash + 1);
}

// What the call wrote to standard output and error, in the order written.
// The capture is emptied for the next call; should that fail, the next call's
// output is read from where this one's ended.
std::string TakeOutput(int capture)
{
    static off_t taken = 0;
    std::fflush(stdout);
    std::fflush(stderr);
    std::string bytes;
    struct stat st
    {
    };
    if (::fstat(capture, &st) == 0 && st.st_size > taken) {
        bytes.resize(static_cast<std::size_t>(st.st_size - taken));
        const ssize_t n = ::pread(capture, bytes.data(), bytes.size(), taken);
        bytes.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    }
    if (::ftruncate(capture, 0) == 0) {
        taken = 0;
        ::lseek(capture, 0, SEEK_SET);
    } else {
        taken += static_cast<off_t>(bytes.size());
    }
    return bytes;
}

} // namespace

int RunBatchMode()
{
    std::fflush(stdout);
    const int in = ::fcntl(STDIN_FILENO, F_DUPFD_CLOEXEC, 3);
    const int out = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    const int capture = ::memfd_create("morvane-printpdf-output", MFD_CLOEXEC);
    const int null = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (in < 0 || out < 0 || capture < 0 || null < 0) {
        const std::string message = FillIn(TrPrintPdf("cannot set up the batch mode: %s"), {std::strerror(errno)});
        std::fprintf(stderr, "morvane-printpdf: %s\n", message.c_str());
        return 1;
    }
    // A program the call starts (LibreOffice) must neither read the calls nor
    // write into the answers; anything written outside a call goes nowhere.
    ::dup2(null, STDIN_FILENO);
    ::close(null);
    ::dup2(capture, STDOUT_FILENO);
    ::dup2(capture, STDERR_FILENO);
    if (!WriteAll(out, Greeting))
        return 1;

    // A test hook: the program stops itself when it takes a call for a file
    // of this name, so that a test can kill it there as a crash of the PDF
    // library would.
    const char* stopBefore = std::getenv("MORVANE_PRINTPDF_STOP_BEFORE");

    TCallReader reader(in);
    std::vector<std::string> args;
    for (unsigned long number = 1;; ++number) {
        if (reader.AtEnd())
            return 0;
        if (!ReadCall(reader, &args)) {
            WriteAll(out, "result " + std::to_string(number) + " 1 " + TrPrintPdf("the call could not be read") + "\n");
            return 1;
        }
        const std::string seq = std::to_string(number);
        if (!WriteAll(out, "taken " + seq + "\n"))
            return 1;
        if (stopBefore && *stopBefore && !args.empty() && BaseName(args.back()) == stopBefore)
            ::raise(SIGSTOP);
        const int code = PrintFromArguments(args);
        const std::string output = TakeOutput(capture);
        std::string reason = LastFailureMessage();
        if (reason.empty() && code != 0)
            reason = output.substr(0, output.find('\n'));
        if (!WriteAll(out, "output " + seq + " " + std::to_string(output.size()) + "\n" + output + "result " + seq +
                               " " + std::to_string(code) + (reason.empty() ? "" : " " + OneLine(reason)) + "\n"))
            return 1;
    }
}
