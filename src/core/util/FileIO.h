#pragma once

#include <QByteArray>
#include <QString>

// The one way the program writes and reads whole files. A write replaces the
// file only once every byte is on disk, so a failure leaves the old file.
// Errors come as "Cannot create file "<name>". <system text>" or "Cannot
// open file "<name>". <system text>".

// Larger files are refused rather than exhausting memory.
inline constexpr qint64 MaxLoadFileSize = 256 * 1024 * 1024;

bool SaveToFile(const QString& fileName, const QByteArray& data, QString* errorText = nullptr);
// Replaces the file as a whole like SaveToFile, but does not wait for the
// disk: safe when the program is killed, while a power failure may cost the
// latest version. For files rewritten many times a second.
bool SaveToFileQuickly(const QString& fileName, const QByteArray& data, QString* errorText = nullptr);
// Appends a short record to an existing file in one write, without waiting
// for the disk: a kill cannot leave half of it, only a crash of the system.
// On failure any part of it that was written stays.
bool AppendToFileQuickly(const QString& fileName, const QByteArray& data, QString* errorText = nullptr);
bool LoadFromFile(const QString& fileName, QByteArray& data, QString* errorText = nullptr,
                  qint64 maxSize = MaxLoadFileSize);

// Counters of DeleteTree; they add up over the calls.
struct TDeleteTreeCounts
{
    int Dirs = 0;
    int Files = 0;
    int Errors = 0;
};

// Deletes the folder base + sub below base with everything in it, depth
// first, read-only entries included; base itself goes only when deleteBase.
// A link is removed as a link, never followed. A folder that kept an entry
// stays (an error was counted for the entry).
void DeleteTree(const QString& base, const QString& sub, bool deleteBase, TDeleteTreeCounts& counts);

QString CannotCreateFileText(const QString& fileName, const QString& systemError);
QString CannotOpenFileText(const QString& fileName, const QString& systemError);
