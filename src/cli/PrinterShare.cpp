#include "PrinterShare.h"

#include "Console.h"

#include <cups/cups.h>

#include <memory>

using namespace Qt::StringLiterals;

bool TPrinterShare::Ask(const QString& printer, TState* state)
{
    const bool isUri =
        printer.startsWith(u"ipp://"_s, Qt::CaseInsensitive) || printer.startsWith(u"ipps://"_s, Qt::CaseInsensitive);
    QByteArray uri, resource = "/";
    std::unique_ptr<http_t, void (*)(http_t*)> own(nullptr, httpClose);
    http_t* http = CUPS_HTTP_DEFAULT;
    if (isUri) {
        uri = printer.toUtf8();
        char scheme[32], user[256], host[256], path[1024];
        int port = 0;
        if (httpSeparateURI(HTTP_URI_CODING_ALL, uri.constData(), scheme, sizeof scheme, user, sizeof user, host,
                            sizeof host, &port, path, sizeof path) < HTTP_URI_STATUS_OK)
            return false;
        own.reset(httpConnect2(host, port, nullptr, AF_UNSPEC,
                               qstricmp(scheme, "ipps") == 0 ? HTTP_ENCRYPTION_ALWAYS : HTTP_ENCRYPTION_IF_REQUESTED, 1,
                               10000, nullptr));
        if (!own)
            return false;
        http = own.get();
        resource = path;
    } else {
        // An instance shares its queue's jobs.
        uri = "ipp://localhost/printers/" + printer.section(u'/', 0, 0).toUtf8();
    }
    const char* const requested[] = {"printer-state", "printer-is-accepting-jobs", "queued-job-count"};
    ipp_t* request = ippNewRequest(IPP_OP_GET_PRINTER_ATTRIBUTES);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "printer-uri", nullptr, uri.constData());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    ippAddStrings(request, IPP_TAG_OPERATION, IPP_TAG_KEYWORD, "requested-attributes", 3, nullptr, requested);
    std::unique_ptr<ipp_t, void (*)(ipp_t*)> response(cupsDoRequest(http, request, resource.constData()), ippDelete);
    if (!response || cupsLastError() > IPP_STATUS_OK_CONFLICTING)
        return false;
    ipp_attribute_t* printerState = ippFindAttribute(response.get(), "printer-state", IPP_TAG_ENUM);
    ipp_attribute_t* accepting = ippFindAttribute(response.get(), "printer-is-accepting-jobs", IPP_TAG_BOOLEAN);
    ipp_attribute_t* queued = ippFindAttribute(response.get(), "queued-job-count", IPP_TAG_INTEGER);
    state->Takes = (!printerState || ippGetInteger(printerState, 0) != IPP_PSTATE_STOPPED) &&
                   (!accepting || ippGetBoolean(accepting, 0));
    state->Waiting = queued ? ippGetInteger(queued, 0) : 0;
    return true;
}

QString TPrinterShare::Next(QString* problem)
{
    qsizetype best = -1;
    int fewest = 0;
    for (qsizetype k = 0; k < FPrinters.size(); ++k) {
        const qsizetype i = (FTurn + k) % FPrinters.size();
        TState state;
        if (!Ask(FPrinters[i], &state) || !state.Takes)
            continue;
        if (best < 0 || state.Waiting < fewest) {
            best = i;
            fewest = state.Waiting;
        }
    }
    if (best < 0) {
        *problem = Tr("none of the printers %s takes jobs now (stopped, rejecting jobs or not reachable)",
                      FPrinters.join(u", "_s));
        return {};
    }
    FTurn = best + 1;
    return FPrinters[best];
}
