#pragma once

#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

// Shared helpers for the test suites.
namespace testing_support {

// Writes bytes to a file, creating its folders; returns false on failure.
bool WriteFile(const QString& fileName, const QByteArray& bytes);
QByteArray ReadFile(const QString& fileName);

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

} // namespace testing_support
