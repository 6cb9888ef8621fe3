#include "platform/Printers.h"

#include <cups/cups.h>

#include <map>
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

std::map<QString, TPrinterCapabilities>& FixedCapabilities()
{
    static std::map<QString, TPrinterCapabilities> fixed;
    return fixed;
}

QStringList AttributeValues(ipp_attribute_t* attribute)
{
    QStringList values;
    for (int i = 0; attribute && i < ippGetCount(attribute); ++i) {
        const ipp_tag_t tag = ippGetValueTag(attribute);
        if (tag == IPP_TAG_ENUM || tag == IPP_TAG_INTEGER)
            values << QString::number(ippGetInteger(attribute, i));
        else if (const char* text = ippGetString(attribute, i, nullptr))
            values << QString::fromUtf8(text);
    }
    return values;
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

TPrinterCapabilities PrinterCapabilities(const QString& name)
{
    if (FixedPrinters()) {
        const auto found = FixedCapabilities().find(name);
        return found == FixedCapabilities().end() ? TPrinterCapabilities() : found->second;
    }
    TPrinterCapabilities caps;
    const qsizetype slash = name.indexOf(u'/');
    const QByteArray queue = name.left(slash).toUtf8();
    const QByteArray instance = slash < 0 ? QByteArray() : name.mid(slash + 1).toUtf8();
    cups_dest_t* dest =
        cupsGetNamedDest(CUPS_HTTP_DEFAULT, queue.constData(), instance.isEmpty() ? nullptr : instance.constData());
    if (!dest)
        return caps;
    if (cups_dinfo_t* info = cupsCopyDestInfo(CUPS_HTTP_DEFAULT, dest)) {
        const auto values = [&](const char* option) {
            return AttributeValues(cupsFindDestSupported(CUPS_HTTP_DEFAULT, dest, info, option));
        };
        caps.Sides = values(CUPS_SIDES);
        caps.Media = values(CUPS_MEDIA);
        caps.ColorModes = values(CUPS_PRINT_COLOR_MODE);
        caps.Sources = values(CUPS_MEDIA_SOURCE);
        caps.Scaling = values("print-scaling");
        caps.Orientations = values(CUPS_ORIENTATION);
        cupsFreeDestInfo(info);
    }
    cupsFreeDests(1, dest);
    return caps;
}

namespace PrinterTestSeam {

void Install(const QStringList& names, const QString& defaultName)
{
    FixedPrinters() = TPrinterList{names, defaultName};
}

void InstallCapabilities(const QString& name, const TPrinterCapabilities& capabilities)
{
    FixedCapabilities()[name] = capabilities;
}

void Clear()
{
    FixedPrinters().reset();
    FixedCapabilities().clear();
}

} // namespace PrinterTestSeam
