#pragma once

#include <QString>
#include <QStringList>

// The installed printers as the spooler lists them, in its order.
QStringList PrinterNames();
// The system's default printer; empty when there is none.
QString DefaultPrinterName();
