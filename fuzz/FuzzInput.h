#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Helpers for the fuzz targets: the input as bytes, text or an argument list.
namespace fuzz_input {

inline QByteArray Bytes(const uint8_t* data, size_t size)
{
    return QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

// Arguments are separated by NUL bytes, as in /proc/PID/cmdline.
inline std::vector<std::string> Arguments(const uint8_t* data, size_t size)
{
    std::vector<std::string> args;
    std::string current;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            args.push_back(current);
            current.clear();
        } else {
            current += static_cast<char>(data[i]);
        }
    }
    if (!current.empty())
        args.push_back(current);
    return args;
}

inline QStringList ArgumentList(const uint8_t* data, size_t size)
{
    QStringList list;
    for (const std::string& a : Arguments(data, size))
        list << QString::fromUtf8(a.data(), static_cast<qsizetype>(a.size()));
    return list;
}

// A failed property: ends the run so that the fuzzer keeps the input.
[[noreturn]] inline void Fail(const char* what)
{
    std::fprintf(stderr, "property failed: %s\n", what);
    std::abort();
}

} // namespace fuzz_input
