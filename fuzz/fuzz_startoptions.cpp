// The start-up option parser: any argument list (NUL-separated).
#include "FuzzInput.h"

#include "app/LangUtils.h"

#include <QProcessEnvironment>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Every run starts from the same configuration name.
    CfgName = QStringLiteral("/nonexistent/morvane.cfg");
    const QStringList arguments = fuzz_input::ArgumentList(data, size);
    const QString language = ReadStartOptions(arguments);
    if (language.size() > 2)
        fuzz_input::Fail("a language code longer than two characters");
    GetLanguage(arguments, QProcessEnvironment());
    return 0;
}
