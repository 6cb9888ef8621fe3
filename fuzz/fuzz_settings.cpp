// The settings file reader: any bytes (UTF-16 with either byte order, UTF-8
// with or without byte-order mark) load, answer lookups, and write back as
// text that reads the same.
#include "FuzzInput.h"

#include "app/Histories.h"
#include "app/IniFileUtils.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TMemIniFile ini(QStringLiteral("/nonexistent/fuzz.ini"));
    ini.SetBytes(fuzz_input::Bytes(data, size));
    for (const QString& section : ini.ReadSections()) {
        for (const QString& key : ini.ReadSection(section)) {
            ini.ReadString(section, key, QString());
            ini.ReadInteger(section, key, 0);
            ini.ReadBool(section, key, false);
        }
    }
    QStringList history;
    ReadHistory(ini, QStringLiteral("History"), history, QStringLiteral("History"), MaxHistory, true);
    // What is written reads back as the same sections and keys.
    TMemIniFile again(QStringLiteral("/nonexistent/fuzz2.ini"));
    again.SetBytes(ini.GetBytes());
    if (again.ReadSections() != ini.ReadSections())
        fuzz_input::Fail("sections change when written and read again");
    return 0;
}
