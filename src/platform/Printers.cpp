#include "platform/Printers.h"

#include <QPrinterInfo>

#include <optional>

namespace {

struct TFixedPrinters
{
    QStringList Names;
    QString Default;
};

std::optional<TFixedPrinters>& FixedPrinters()
{
    static std::optional<TFixedPrinters> fixed;
    return fixed;
}

} // namespace

QStringList PrinterNames()
{
    if (const auto& fixed = FixedPrinters())
        return fixed->Names;
    return QPrinterInfo::availablePrinterNames();
}

QString DefaultPrinterName()
{
    if (const auto& fixed = FixedPrinters())
        return fixed->Default;
    return QPrinterInfo::defaultPrinterName();
}

namespace PrinterTestSeam {

void Install(const QStringList& names, const QString& defaultName)
{
    FixedPrinters() = TFixedPrinters{names, defaultName};
}

void Clear()
{
    FixedPrinters().reset();
}

} // namespace PrinterTestSeam
