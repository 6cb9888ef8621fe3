#include "util/TextLines.h"

namespace {

// One implementation for text and bytes: CR and LF are single units in both.
template <class View, class Owned, class Fn>
void Lines(View text, TLineEnds ends, const Fn& lineFn)
{
    using Char = typename View::value_type;
    const Char cr = static_cast<Char>(u'\r');
    const Char lf = static_cast<Char>(u'\n');
    const qsizetype n = text.size();
    qsizetype start = 0;
    if (ends == TLineEnds::CrLfLfOrCr) {
        for (qsizetype i = 0; i < n; ++i) {
            const auto c = text[i];
            if (c != lf && c != cr)
                continue;
            lineFn(text.sliced(start, i - start));
            if (c == cr && i + 1 < n && text[i + 1] == lf)
                ++i;
            start = i + 1;
        }
        if (start < n)
            lineFn(text.sliced(start));
        return;
    }
    Owned withoutCr;
    const auto emit = [&](View line) {
        if (!line.contains(cr)) {
            lineFn(line);
            return;
        }
        withoutCr.clear();
        for (const auto c : line) {
            if (c != cr)
                withoutCr.append(c);
        }
        lineFn(View(withoutCr));
    };
    for (qsizetype i = 0; i < n; ++i) {
        if (text[i] == lf) {
            emit(text.sliced(start, i - start));
            start = i + 1;
        }
    }
    // Whatever follows the last LF, a lone CR included, is a last line.
    if (start < n)
        emit(text.sliced(start));
}

} // namespace

void ForEachLine(QStringView text, TLineEnds ends, const std::function<void(QStringView)>& lineFn)
{
    Lines<QStringView, QString>(text, ends, lineFn);
}

void ForEachLine(QByteArrayView text, TLineEnds ends, const std::function<void(QByteArrayView)>& lineFn)
{
    Lines<QByteArrayView, QByteArray>(text, ends, lineFn);
}

QStringList SplitLines(QStringView text, TLineEnds ends)
{
    QStringList lines;
    ForEachLine(text, ends, [&lines](QStringView line) { lines.append(line.toString()); });
    return lines;
}

QByteArrayList SplitLines(QByteArrayView text, TLineEnds ends)
{
    QByteArrayList lines;
    ForEachLine(text, ends, [&lines](QByteArrayView line) { lines.append(line.toByteArray()); });
    return lines;
}
