// The print-to program's command line: any argument list (NUL-separated).
#include "FuzzInput.h"

#include "morvane-printpdf/PrintPdfArgs.h"
#include "platform/Utf8Bytes.h"

#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::vector<std::string> args = fuzz_input::Arguments(data, size);
    const PrintPdfArgs parsed = ParsePrintPdfArgs(args);
    if (parsed.action == PrintPdfArgs::Action::Print && args.empty())
        fuzz_input::Fail("printing without arguments");
    // Titles and messages made from any bytes are valid UTF-8.
    const std::string readable = ReadableUtf8(std::string_view(reinterpret_cast<const char*>(data), size));
    for (std::string_view rest = readable; !rest.empty();) {
        const std::size_t n = Utf8SequenceLength(rest);
        if (n == 0)
            fuzz_input::Fail("readable text is not UTF-8");
        rest.remove_prefix(n);
    }
    return 0;
}
