#include "util/SafeFormat.h"

#include "util/Translate.h"

QString FillPlaceholders(const QString& format, std::initializer_list<QVariant> args, TPlaceholderRule rule, bool* fits)
{
    if (fits)
        *fits = true;
    QString result;
    auto arg = args.begin();
    for (qsizetype i = 0; i < format.size(); ++i) {
        if (format[i] != u'%') {
            result += format[i];
            continue;
        }
        const QChar next = i + 1 < format.size() ? format[i + 1] : QChar();
        if (rule == TPlaceholderRule::Lenient) {
            // A '%' that starts no filled placeholder is ordinary text; the
            // character after it is looked at afresh.
            if ((next == u's' || next == u'd' || next == u'u') && arg != args.end()) {
                result += arg->toString();
                ++arg;
                ++i;
            } else {
                result += u'%';
            }
            continue;
        }
        const QChar conversion = next.toLower();
        ++i;
        if (conversion == u'%') {
            result += u'%';
            continue;
        }
        bool ok = arg != args.end();
        if (ok && conversion == u's' && arg->metaType().id() == QMetaType::QString) {
            result += arg->toString();
        } else if (ok && (conversion == u'd' || conversion == u'u')) {
            const int type = arg->metaType().id();
            ok = type == QMetaType::Int || type == QMetaType::UInt || type == QMetaType::LongLong ||
                 type == QMetaType::ULongLong;
            result += conversion == u'd' ? QString::number(arg->toLongLong()) : QString::number(arg->toULongLong());
        } else {
            ok = false;
        }
        if (!ok) {
            if (fits)
                *fits = false;
            return {};
        }
        ++arg;
    }
    return result;
}

QString SafeFormat(const QString& format, std::initializer_list<QVariant> args)
{
    bool fits = false;
    QString result = FillPlaceholders(format, args, TPlaceholderRule::Strict, &fits);
    return fits ? result : TrToolkit("Format error: ") + format;
}
