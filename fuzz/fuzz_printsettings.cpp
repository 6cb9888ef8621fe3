// The print-to program's print-settings list: any text parses or is refused
// with a message, and what parses gives job options for any page count.
#include "FuzzInput.h"

#include "printing/PrintSettings.h"

#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    // The first byte picks the document's page count.
    const int pages = data[0];
    const std::string_view list(reinterpret_cast<const char*>(data + 1), size - 1);
    PrintSettings::Settings settings;
    std::string error;
    if (!PrintSettings::Parse(list, &settings, &error)) {
        if (error.empty())
            fuzz_input::Fail("a refused list without a message");
        return 0;
    }
    PrintSettings::Options options;
    PrintSettings::JobOptions(settings, pages, &options, &error);
    return 0;
}
