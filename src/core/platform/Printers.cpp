#include "platform/Printers.h"

#include <cups/cups.h>

#include <optional>

namespace {

struct TPrinterList
{
    QStringList Names;
    QString Default;
};

std::optional<TPrinterList>& FixedPrinters()
{
    static std::optional<TPrinterList> fixed;
    return fixed;
}

TPrinterList SpoolerPrinters()
{
    if (const auto& fixed = FixedPrinters())
        return *fixed;
    TPrinterList list;
    cups_dest_t* dests = nullptr;
    const int count = cupsGetDests2(CUPS_HTTP_DEFAULT, &dests);
    for (int i = 0; i < count; ++i) {
        QString name = QString::fromUtf8(dests[i].name);
        if (dests[i].instance)
            name += u'/' + QString::fromUtf8(dests[i].instance);
        list.Names << name;
        if (dests[i].is_default)
            list.Default = name;
    }
    cupsFreeDests(count, dests);
    return list;
}

} // namespace

QStringList PrinterNames()
{
    return SpoolerPrinters().Names;
}

QString DefaultPrinterName()
{
    return SpoolerPrinters().Default;
}

QStringList QueueNames(QString* defaultName)
{
    const TPrinterList all = SpoolerPrinters();
    QStringList queues;
    for (const QString& name : all.Names)
        if (!name.contains(u'/'))
            queues << name;
    if (defaultName)
        *defaultName = queues.contains(all.Default) ? all.Default : QString();
    return queues;
}

namespace PrinterTestSeam {

void Install(const QStringList& names, const QString& defaultName)
{
    FixedPrinters() = TPrinterList{names, defaultName};
}

void Clear()
{
    FixedPrinters().reset();
}

} // namespace PrinterTestSeam
