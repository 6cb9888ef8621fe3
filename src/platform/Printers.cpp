#include "platform/Printers.h"

#include <QPrinterInfo>

QStringList PrinterNames()
{
    return QPrinterInfo::availablePrinterNames();
}

QString DefaultPrinterName()
{
    return QPrinterInfo::defaultPrinterName();
}
