#pragma once

#include <QByteArray>
#include <QString>

class QIODevice;

// The one way the program writes and reads whole files. Writes go through a
// temporary file beside the target that replaces it only when every byte has
// been written, so the file on disk is always either the old or the new one.

// Largest file that LoadFromFile accepts; anything bigger is refused with an
// error instead of exhausting memory.
inline constexpr qint64 MaxLoadFileSize = 256 * 1024 * 1024;

// Replaces fileName by data. On failure the old file is untouched, false is
// returned and *errorText (if given) holds "Cannot create file "<name>".
// <system error text>".
bool SaveToFile(const QString& fileName, const QByteArray& data, QString* errorText = nullptr);

// Reads the whole file. On failure (missing, unreadable, a directory, larger
// than maxSize) false is returned, data is empty and *errorText holds
// "Cannot open file "<name>". <system error text>".
bool LoadFromFile(const QString& fileName, QByteArray& data, QString* errorText = nullptr,
                  qint64 maxSize = MaxLoadFileSize);

// Writes all of data to an open device; on a short or failed write false and
// the device's error text in *systemError.
bool WriteAll(QIODevice& device, const QByteArray& data, QString* systemError = nullptr);

// The two file error texts, translated, with the name and system text filled in.
QString CannotCreateFileText(const QString& fileName, const QString& systemError);
QString CannotOpenFileText(const QString& fileName, const QString& systemError);
