#pragma once

#include "platform/Printers.h"

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// Shared helpers for the test suites.
namespace testing_support {

// Text of a UTF-8 literal; the sources are built without implicit casts.
inline QString S(const char* text)
{
    return QString::fromUtf8(text);
}

// Writes bytes to a file, creating its folders; returns false on failure.
bool WriteFile(const QString& fileName, const QByteArray& bytes);
QByteArray ReadFile(const QString& fileName);
// Writes a shell script (a stand-in for a program the code under test runs)
// and makes it executable by its owner.
bool WriteScript(const QString& fileName, const QByteArray& text);

// The item texts of a combo box, in order.
template <typename Box>
QStringList Items(const Box& box)
{
    QStringList items;
    for (int i = 0; i < box.count(); ++i)
        items << box.itemText(i);
    return items;
}

// Runs a command-line tool (lpadmin, lpstat, ...) to its end within a minute;
// true when it exited with 0. *output gets its standard output and error.
bool RunTool(const QString& program, const QStringList& args, QString* output = nullptr);

// An environment with HOME and the XDG variables pointing into `root`.
QProcessEnvironment HomeEnvironment(const QString& root);

// Sets an environment variable for the life of the object, then restores it.
class ScopedEnv
{
public:
    ScopedEnv(const char* name, const QByteArray& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    QByteArray m_name;
    QByteArray m_old;
    bool m_had;
};

// A fixed printer list for the life of the object: the windows under test see
// these printers and this default whether a spooler runs or not.
class ScopedPrinters
{
public:
    ScopedPrinters(const QStringList& names, const QString& defaultName)
    {
        PrinterTestSeam::Install(names, defaultName);
    }
    ~ScopedPrinters() { PrinterTestSeam::Clear(); }
    ScopedPrinters(const ScopedPrinters&) = delete;
    ScopedPrinters& operator=(const ScopedPrinters&) = delete;
};

} // namespace testing_support
