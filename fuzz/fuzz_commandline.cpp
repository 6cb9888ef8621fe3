// The runner's command-line splitter and console output decoding.
#include "FuzzInput.h"

#include "printing/ExecProcess.h"
#include "printing/JobList.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = fuzz_input::Bytes(data, size);
    const QString text = QString::fromUtf8(bytes);
    const QStringList args = SplitCommandLine(text);
    // Arguments quoted the way the print run quotes them split back unchanged.
    QStringList quoted;
    for (const QString& a : args)
        quoted << QuoteArgument(a);
    if (SplitCommandLine(quoted.join(u' ')) != args)
        fuzz_input::Fail("quoted arguments do not split back");
    for (const int page : {0, 850, 65001, 1252})
        DecodeConsoleOutput(bytes, page);
    return 0;
}
