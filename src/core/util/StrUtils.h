#pragma once

#include <QChar>
#include <QString>
#include <QStringList>

// Small stateless string and path functions shared by the whole program.
// Paths come in two styles: the Windows style (backslash, drive colon) in
// which stored files and the original behaviour are described, and the
// native POSIX style used on this platform (slash; a colon is ordinary).

enum class PathStyle { Windows, Posix };

constexpr PathStyle NativePathStyle = PathStyle::Posix;

// The directory delimiter of a style: '\' or '/'.
QChar PathDelimiter(PathStyle style = NativePathStyle);

QString RemoveBlanks(const QString& s);
QString ReplaceChar(const QString& s, QChar oldChar, QChar newChar);

// Cuts the next token off s (up to the separator); s loses token and separator.
QString ReadNextString(QString& s, QChar separator);

bool IsOptionAbbreviation(const QString& abbreviation, const QString& optionName);
// On success s holds the value after "name:".
bool ReadOptionValue(QString& s, const QString& optionName);

QString DirectoryWithDelimiter(const QString& dir, PathStyle style = NativePathStyle);
QString FileExtension(const QString& name, PathStyle style = NativePathStyle);
QString BuildFileName(const QString& dir, QString name, const QString& defaultExt,
                      PathStyle style = NativePathStyle);
QString ShortenPath(const QString& path, int maxLen, PathStyle style = NativePathStyle);
QString ParentDirectory(const QString& path, PathStyle style = NativePathStyle);
// The two sides of the last delimiter: the folder part keeps the delimiter
// ("" for a bare name), the name part is what follows it.
QString FolderPart(const QString& path, PathStyle style = NativePathStyle);
QString FileNamePart(const QString& path, PathStyle style = NativePathStyle);
// "/a/b/" -> "/a/b"; a path of delimiters alone keeps one.
QString WithoutTrailingDelimiter(QString path, PathStyle style = NativePathStyle);
// False for "." and ".." and for names that begin with a character of `excluded`.
bool IsValidEntryName(const QString& name, const QString& excluded = {});
