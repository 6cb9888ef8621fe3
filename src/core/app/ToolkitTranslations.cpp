#include "app/ToolkitTranslations.h"

#include "util/Translate.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QRegularExpression>
#include <QThread>
#include <QTranslator>

namespace {

// Answers the toolkit's lookups from our catalogs; an empty answer lets Qt
// ask the next translator.
class TCatalogTranslator : public QTranslator
{
public:
    using QTranslator::QTranslator;

    QString translate(const char* context, const char* sourceText, const char* disambiguation, int n) const override
    {
        Q_UNUSED(context);
        Q_UNUSED(disambiguation);
        Q_UNUSED(n);
        // Qt looks texts up from worker threads too (file types in the
        // file system model); the catalog library is ours to use on the
        // application's thread only.
        if (!sourceText || !*sourceText || QThread::currentThread() != QCoreApplication::instance()->thread())
            return {};
        const QString key = QString::fromUtf8(sourceText);
        QString text = TrToolkit(key);
        // The lookup gives CR LF line breaks; Qt's texts use LF.
        if (!key.contains(u'\r'))
            text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        return text == key ? QString() : text;
    }

    bool isEmpty() const override { return false; }
};

} // namespace

bool InstallToolkitTranslations(const QString& language)
{
    auto* app = QCoreApplication::instance();
    if (!app)
        return false;
    // Only a plain code names a file; "C" and the like have no translation.
    static const QRegularExpression code(QStringLiteral("^[A-Za-z]{2,3}(_[A-Za-z0-9]+)?$"));
    bool found = false;
    if (code.match(language).hasMatch()) {
        auto* qt = new QTranslator(app);
        found = qt->load(QStringLiteral("qtbase_") + language, QLibraryInfo::path(QLibraryInfo::TranslationsPath));
        if (found)
            QCoreApplication::installTranslator(qt);
        else
            delete qt;
    }
    // Resolves the toolkit domains now, on this thread, so that later
    // lookups only read what is settled.
    TrToolkit("OK");
    // Installed last, asked first: our texts win where both translate.
    QCoreApplication::installTranslator(new TCatalogTranslator(app));
    return found;
}
