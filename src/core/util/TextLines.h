#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QByteArrayView>
#include <QList>
#include <QStringList>
#include <QStringView>

#include <cstdint>
#include <functional>

// Splitting a text into lines, by one of the two rules the program's formats
// follow. Nothing is trimmed; empty lines inside the text are kept.
enum class TLineEnds : std::uint8_t
{
    // CR LF, LF and a lone CR each end a line; a final line end adds no empty
    // line. Settings files and a process's output.
    CrLfLfOrCr,
    // Only LF ends a line and every CR is dropped wherever it stands; anything
    // after the last LF, even a lone CR, makes a last line. Print lists.
    LfDroppingCr,
};

// Calls lineFn with each line in order. The view lives until lineFn returns;
// lines are not copied unless a CR has to be dropped from one.
void ForEachLine(QStringView text, TLineEnds ends, const std::function<void(QStringView)>& lineFn);
void ForEachLine(QByteArrayView text, TLineEnds ends, const std::function<void(QByteArrayView)>& lineFn);

QStringList SplitLines(QStringView text, TLineEnds ends);
QByteArrayList SplitLines(QByteArrayView text, TLineEnds ends);
