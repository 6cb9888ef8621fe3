// The print-to program's reading of a file before spooling: its type by
// content, the structure checks of JPEG, PNG, GIF, BMP, TIFF and PostScript, a
// TIFF's pages made into a PDF, and the text checks and conversion. Any bytes
// are prepared or refused, within the file's bounds. Office documents stop at
// the search for LibreOffice: the fuzzer's PATH has none.
#include "documents/DocumentType.h"

#include <cstdint>
#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool once = [] {
        setenv("PATH", "/nonexistent", 1);
        return true;
    }();
    (void)once;
    const int fd = memfd_create("fuzz-document", MFD_CLOEXEC);
    if (fd < 0)
        return 0;
    for (size_t done = 0; done < size;) {
        const ssize_t w = write(fd, data + done, size - done);
        if (w <= 0)
            break;
        done += static_cast<size_t>(w);
    }
    // The refusals' lines would drown the fuzzer's own output; a crash keeps its input all the same.
    const int saved = dup(2);
    const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
    dup2(null, 2);
    {
        DocumentType::Document doc;
        DocumentType::Prepare("/proc/self/fd/" + std::to_string(fd), &doc);
    }
    dup2(saved, 2);
    close(saved);
    close(null);
    close(fd);
    return 0;
}
