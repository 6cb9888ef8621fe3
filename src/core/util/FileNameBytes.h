#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// File names on Linux are bytes, mostly UTF-8; names copied from old archives
// hold other bytes (a Latin-1 0xE9 for "é"). The program carries every name
// as text: valid UTF-8 decodes as usual, and each byte that is not part of
// valid UTF-8 becomes the lone surrogate U+DC00 + byte (U+DC80..U+DCFF), which
// valid UTF-8 can never produce, so the mapping is lossless both ways. Such a
// name shows a replacement character on screen; the bytes passed on to the
// system are the original ones. Every name read from a directory or a print
// list, and every name handed to the system, passes through these two.

QString FileNameFromBytes(QByteArrayView bytes);

// The original bytes of a name from FileNameFromBytes. Other text encodes as
// UTF-8; a lone surrogate outside the reserved range becomes U+FFFD.
QByteArray FileNameToBytes(QStringView name);
