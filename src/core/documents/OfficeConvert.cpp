#include "OfficeConvert.h"

#include "printing/PrintPdfTexts.h"

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <ftw.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace DocumentType {

namespace {

constexpr char Program[] = "morvane-printpdf";

int Fail(const std::string& message)
{
    std::fprintf(stderr, "%s: %s\n", Program, message.c_str());
    return CannotLoad;
}

std::string Quoted(const std::string& s)
{
    return '"' + s + '"';
}

std::string FindInPath(const char* name)
{
    const char* path = std::getenv("PATH");
    std::string_view rest = path ? path : "/usr/local/bin:/usr/bin:/bin";
    while (true) {
        const std::size_t colon = rest.find(':');
        const std::string dir(rest.substr(0, colon));
        const std::string candidate = (dir.empty() ? std::string(".") : dir) + '/' + name;
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        if (colon == std::string_view::npos)
            return {};
        rest.remove_prefix(colon + 1);
    }
}

// The temporary folder and everything in it goes when the conversion ends.
class TempDir
{
public:
    TempDir()
    {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/morvane-office-XXXXXX";
        if (::mkdtemp(pattern.data()))
            FPath = pattern;
    }
    ~TempDir()
    {
        if (!FPath.empty())
            ::nftw(
                FPath.c_str(), [](const char* p, const struct stat*, int, FTW*) { return ::remove(p); }, 16,
                FTW_DEPTH | FTW_PHYS);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return FPath; }

private:
    std::string FPath;
};

// A file: URL of an absolute path, for LibreOffice's -env:UserInstallation.
std::string FileUrl(const std::string& path)
{
    std::string url = "file://";
    for (const unsigned char c : path) {
        if (std::isalnum(c) || std::strchr("/._-~", c)) {
            url += static_cast<char>(c);
        } else {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", c);
            url += hex;
        }
    }
    return url;
}

std::string LowerExtension(const std::string& file)
{
    const std::size_t dot = file.find_last_of("./");
    if (dot == std::string::npos || file[dot] != '.')
        return {};
    std::string ext = file.substr(dot);
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext.size() <= 5 ? ext : std::string();
}

// LibreOffice's own reason from its messages ("Error: source file could not be loaded").
std::string LibreOfficeError(const std::string& log)
{
    std::ifstream in(log);
    std::string line, error;
    while (std::getline(in, line))
        if (line.starts_with("Error"))
            error = line;
    return error;
}

struct BlockedSignals
{
    sigset_t set{}, old{};
    BlockedSignals()
    {
        sigemptyset(&set);
        for (int s : {SIGCHLD, SIGTERM, SIGINT, SIGHUP})
            sigaddset(&set, s);
        sigprocmask(SIG_BLOCK, &set, &old);
    }
    ~BlockedSignals() { sigprocmask(SIG_SETMASK, &old, nullptr); }
};

// Runs soffice with args, its output in log and its TMPDIR tmpDir (made
// here), until it ends, a stop signal comes (kept in *stopSignal) or limitS
// seconds have passed; LibreOffice and its helpers are ended then. Returns 0,
// or the error of starting it.
int RunLibreOffice(std::vector<std::string> args, const std::string& log, const std::string& tmpDir, int limitS,
                   const BlockedSignals& blocked, int* stopSignal, bool* timedOut)
{
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string soffice = args.front();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, defaults;
    sigemptyset(&none);
    sigfillset(&defaults);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    // A group of its own: LibreOffice starts helpers that are ended with it.
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
    pid_t pid = 0;
    // LibreOffice's own temporary files in the folder too: a stop ends it
    // before it can remove them.
    std::vector<std::string> env = {"TMPDIR=" + tmpDir};
    for (char** e = environ; *e; ++e)
        if (std::strncmp(*e, "TMPDIR=", 7) != 0)
            env.emplace_back(*e);
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    const int spawned = ::mkdir(tmpDir.c_str(), 0700) != 0
                            ? errno
                            : posix_spawn(&pid, soffice.c_str(), &actions, &attr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (spawned != 0)
        return spawned;

    // Waits for LibreOffice, a stop or the time limit, whichever comes first.
    timespec now{}, deadline{};
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += limitS;
    int status = 0;
    bool ended = false;
    *timedOut = false;
    while (!ended && !*stopSignal && !*timedOut) {
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            ended = true;
            break;
        }
        clock_gettime(CLOCK_MONOTONIC, &now);
        long long leftNs = (deadline.tv_sec - now.tv_sec) * 1000000000LL + (deadline.tv_nsec - now.tv_nsec);
        if (leftNs <= 0) {
            *timedOut = true;
            break;
        }
        const timespec wait{static_cast<time_t>(leftNs / 1000000000LL), static_cast<long>(leftNs % 1000000000LL)};
        const int sig = sigtimedwait(&blocked.set, nullptr, &wait);
        if (sig == SIGTERM || sig == SIGINT || sig == SIGHUP)
            *stopSignal = sig;
    }
    ::kill(-pid, SIGKILL); // helpers that outlive it, or all of it after a stop or the limit
    if (!ended)
        ::waitpid(pid, &status, 0);
    return 0;
}

} // namespace

std::string SofficePath()
{
    return FindInPath("soffice");
}

std::string OfficeMissingText(const std::string& file)
{
    return FillIn(TrPrintPdf("LibreOffice is needed to print %s, an office document (soffice was not found in PATH)"),
                  {Quoted(file)});
}

int OfficeTimeoutS()
{
    const char* value = std::getenv("MORVANE_OFFICE_TIMEOUT");
    const int seconds = value ? std::atoi(value) : 0;
    return seconds > 0 ? seconds : 120;
}

int ConvertOfficeDocument(const std::string& file, Document* doc)
{
    const std::string soffice = SofficePath();
    if (soffice.empty())
        return Fail(OfficeMissingText(file));
    char* absolute = ::realpath(file.c_str(), nullptr);
    if (!absolute)
        return Fail(FillIn(TrPrintPdf("cannot open %s: %s"), {Quoted(file), std::strerror(errno)}));
    const std::string source(absolute);
    std::free(absolute);

    int stopSignal = 0;
    int pdf = -1;
    std::string failure;
    {
        BlockedSignals blocked;
        TempDir tmp;
        if (tmp.path().empty())
            return Fail(
                FillIn(TrPrintPdf("cannot make a temporary folder for %s: %s"), {Quoted(file), std::strerror(errno)}));
        // Under a plain name: LibreOffice makes the output's name from it, and
        // a name that begins with '-' or is no valid UTF-8 cannot confuse it.
        const std::string in = tmp.path() + "/in", out = tmp.path() + "/out", log = tmp.path() + "/log";
        const std::string link = in + "/document" + LowerExtension(file);
        if (::mkdir(in.c_str(), 0700) != 0 || ::symlink(source.c_str(), link.c_str()) != 0)
            return Fail(
                FillIn(TrPrintPdf("cannot prepare the conversion of %s: %s"), {Quoted(file), std::strerror(errno)}));

        const std::string profile = "-env:UserInstallation=" + FileUrl(tmp.path() + "/profile");
        std::vector<std::string> args = {soffice,        profile, "--headless", "--norestore", "--nologo",
                                         "--convert-to", "pdf",   "--outdir",   out,           link};
        bool timedOut = false;
        const int spawned =
            RunLibreOffice(args, log, tmp.path() + "/tmp", OfficeTimeoutS(), blocked, &stopSignal, &timedOut);
        if (spawned != 0)
            return Fail(
                FillIn(TrPrintPdf("cannot start LibreOffice for %s: %s"), {Quoted(file), std::strerror(spawned)}));
        const int limitS = OfficeTimeoutS();

        if (timedOut) {
            failure = FillIn(TrPrintPdf("%s: LibreOffice did not convert it within %s s (MORVANE_OFFICE_TIMEOUT)"),
                             {Quoted(file), std::to_string(limitS)});
        } else if (!stopSignal) {
            pdf = ::open((out + "/document.pdf").c_str(), O_RDONLY | O_CLOEXEC);
            if (pdf < 0) {
                const std::string reason = LibreOfficeError(log);
                failure = reason.empty()
                              ? FillIn(TrPrintPdf("LibreOffice cannot open %s (it made no PDF of it)"), {Quoted(file)})
                              : FillIn(TrPrintPdf("LibreOffice cannot open %s (%s)"), {Quoted(file), reason});
            }
        }
    } // the folder is removed here, before signals are taken again
    if (stopSignal) {
        std::signal(stopSignal, SIG_DFL);
        std::raise(stopSignal);
        return 1;
    }
    if (!failure.empty())
        return Fail(failure);
    doc->kind = Kind::Office;
    doc->format = "application/pdf";
    doc->spoolFd = pdf;
    doc->spoolFile = "/dev/fd/" + std::to_string(pdf);
    return 0;
}

OfficeBatch ConvertOfficeDocuments(const std::vector<std::string>& files, const std::string& folder)
{
    OfficeBatch result;
    result.pdfs.assign(files.size(), {});
    result.problems.assign(files.size(), {});
    // Without a reason: LibreOffice is missing.
    const auto failAll = [&](const std::string& reason) {
        for (std::size_t i = 0; i < files.size(); ++i)
            result.problems[i] = reason.empty() ? OfficeMissingText(files[i])
                                                : FillIn(TrPrintPdf("%s: cannot prepare the conversion: %s"),
                                                         {Quoted(files[i]), reason});
        return result;
    };
    const std::string soffice = SofficePath();
    if (soffice.empty())
        return failAll({});
    // Numbered links: LibreOffice names each PDF after its input, and two
    // documents of one name in different folders must not meet.
    const std::string in = folder + "/in", out = folder + "/out", log = folder + "/log";
    if (::mkdir(in.c_str(), 0700) != 0)
        return failAll(std::strerror(errno));
    std::vector<std::string> args = {soffice,      "-env:UserInstallation=" + FileUrl(folder + "/profile"),
                                     "--headless", "--norestore",
                                     "--nologo",   "--convert-to",
                                     "pdf",        "--outdir",
                                     out};
    for (std::size_t i = 0; i < files.size(); ++i) {
        char* absolute = ::realpath(files[i].c_str(), nullptr);
        const std::string link = in + '/' + std::to_string(i) + LowerExtension(files[i]);
        if (!absolute || ::symlink(absolute, link.c_str()) != 0)
            result.problems[i] = FillIn(TrPrintPdf("cannot open %s: %s"), {Quoted(files[i]), std::strerror(errno)});
        else
            args.push_back(link);
        std::free(absolute);
    }
    const int limitS = OfficeTimeoutS() * static_cast<int>(files.size());
    bool timedOut = false;
    int spawned = 0;
    {
        BlockedSignals blocked;
        spawned = RunLibreOffice(args, log, folder + "/tmp", limitS, blocked, &result.stopSignal, &timedOut);
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (!result.problems[i].empty())
            continue;
        const std::string pdf = out + '/' + std::to_string(i) + ".pdf";
        if (spawned == 0 && ::access(pdf.c_str(), R_OK) == 0)
            result.pdfs[i] = pdf;
        else if (spawned != 0)
            result.problems[i] =
                FillIn(TrPrintPdf("cannot start LibreOffice for %s: %s"), {Quoted(files[i]), std::strerror(spawned)});
        else if (timedOut)
            result.problems[i] = FillIn(
                TrPrintPdf("%s: LibreOffice did not convert it within %s s (MORVANE_OFFICE_TIMEOUT for each document)"),
                {Quoted(files[i]), std::to_string(limitS)});
        else if (result.stopSignal)
            result.problems[i] = FillIn(TrPrintPdf("%s: the conversion was stopped"), {Quoted(files[i])});
        else
            result.problems[i] =
                FillIn(TrPrintPdf("LibreOffice cannot open %s (it made no PDF of it)"), {Quoted(files[i])});
    }
    return result;
}

} // namespace DocumentType
