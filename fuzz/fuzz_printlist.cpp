// The print-list reader: any bytes split into entries, and a list written
// from them is the same bytes up to line ends.
#include "FuzzInput.h"

#include "printlists/PrintList.h"
#include "util/FileNameBytes.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes = fuzz_input::Bytes(data, size);
    const QString text = FileNameFromBytes(bytes);
    if (FileNameToBytes(text) != bytes)
        fuzz_input::Fail("file name bytes change on the way through text");
    const QStringList entries = DecodePrintList(bytes);
    const QByteArray written = EncodePrintList(entries);
    if (DecodePrintList(written) != entries)
        fuzz_input::Fail("a written list reads back differently");
    ListToCommaText(entries);
    CommaTextToList(FileNameFromBytes(bytes));
    return 0;
}
