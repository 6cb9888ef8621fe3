// The numeric text parsers: the edit control's text in every mode and the
// radix parsers behind it. The first byte picks the control's settings.
#include "FuzzInput.h"

#include "util/NumberEd.h"
#include "util/NumberUtils.h"

#include <QApplication>

#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static QApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const uint8_t settings = data[0];
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));
    qint64 value = 0;
    TryHexToInt64(text, value);
    TryOctToInt64(text, value);
    TryBinToInt64(text, value);

    static TNumberEdit* edit = new TNumberEdit;
    edit->SetPrefix(settings & 1);
    edit->SetBytes(settings & 2);
    edit->SetNumMode(static_cast<TNumMode>((settings >> 2) % 5));
    edit->SetBits(static_cast<quint16>(((settings >> 4) % 4 + 1) * 16));
    edit->setText(text);
    const qint64 parsed = edit->GetValue();
    // A value the control formats itself reads back the same. Hexadecimal,
    // octal and binary show only the low 32 bits of a value outside the byte
    // view, so only values of that range can come back unchanged there.
    const TNumMode mode = static_cast<TNumMode>((settings >> 2) % 5);
    const bool radixView = !(settings & 2) && (mode == nmHex || mode == nmOctal || mode == nmBin);
    if (!edit->CheckError() && (!radixView || (parsed >= 0 && parsed <= 0xFFFFFFFFLL))) {
        edit->SetValue(parsed);
        const qint64 again = edit->GetValue();
        if (!edit->CheckError() && again != parsed && edit->Bits() == 64)
            fuzz_input::Fail("a formatted value reads back differently");
    }
    return 0;
}
