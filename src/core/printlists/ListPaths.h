#pragma once

#include "util/StrUtils.h"

#include <QString>

#include <functional>

// Path computations of the list editor: the entry under which a file is
// stored in a print list, and the common path shortened for its label.

// The entry for fileName in a list whose entries are relative to commonPath
// (a folder, with or without its trailing delimiter). Both paths are compared
// folder by folder from the front; common folders are dropped, every other
// folder of commonPath becomes a "..", and the file's remaining folders and
// its name follow. The full fileName is kept when commonPath is empty or when
// the two share no root: in the Windows style another drive ("C:", or
// "\\server\share" for network names, compared without regard to case), in
// the POSIX style no common first folder. Windows folders compare without
// regard to case, POSIX folders with it. "." and empty steps are ignored, and
// ".." cancels the folder before it.
QString RelativeListEntry(const QString& commonPath, const QString& fileName, PathStyle style = NativePathStyle);

// An entry relative to fromDir, made relative to toDir instead: a list is
// printed from its own folder, which need not be the common path it was
// edited with. Empty entries and full names stay as they are, and so does
// every entry when both folders are the same.
QString RebaseListEntry(const QString& entry, const QString& fromDir, const QString& toDir,
                        PathStyle style = NativePathStyle);

// The path made to fit maxWidth (as measured by textWidth) by leaving out
// folders from the front: "\a\b\c\" becomes "\...\b\c\", then "\...\c\",
// then "\...\", then "...\"; a drive goes once no folder is left to drop. The
// last part after the final delimiter always stays. A first folder that
// begins with a dot is read like an earlier "...": its first four characters
// go before a folder is cut, so "\.a\x\y\" becomes "\...\y\" at once.
QString ShortenPathToWidth(const QString& path, int maxWidth, const std::function<int(const QString&)>& textWidth,
                           PathStyle style = NativePathStyle);
