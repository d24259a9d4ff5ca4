#pragma once

#include <QByteArray>
#include <QString>

namespace hchat {

/// Text of one received line: UTF-8 when the bytes are valid UTF-8, Latin-1
/// otherwise, so that lines from older peers still read.
QString decodeWireLine(const char *data, qsizetype size);
inline QString decodeWireLine(const QByteArray &bytes)
{
    return decodeWireLine(bytes.constData(), bytes.size());
}

/// True when the bytes are well-formed UTF-8 (no overlongs, no surrogates,
/// nothing above U+10FFFF).
bool isValidUtf8(const char *data, qsizetype size);

} // namespace hchat
