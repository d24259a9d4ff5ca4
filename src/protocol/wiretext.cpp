#include "protocol/wiretext.h"

namespace hchat {

bool isValidUtf8(const char *data, qsizetype size)
{
    const auto *p = reinterpret_cast<const unsigned char *>(data);
    const unsigned char *end = p + size;
    while (p < end) {
        const unsigned char c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        int extra;
        unsigned min;
        unsigned cp;
        if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
            min = 0x80;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            min = 0x800;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            min = 0x10000;
            cp = c & 0x07;
        } else {
            return false;
        }
        if (end - p <= extra)
            return false;
        for (int i = 1; i <= extra; ++i) {
            const unsigned char cc = p[i];
            if ((cc & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (cc & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        p += extra + 1;
    }
    return true;
}

QString decodeWireLine(const char *data, qsizetype size)
{
    // Nearly every line is plain ASCII: skip the validation for those.
    const auto *p = reinterpret_cast<const unsigned char *>(data);
    qsizetype i = 0;
    while (i < size && p[i] < 0x80)
        ++i;
    if (i == size)
        return QString::fromLatin1(data, size);
    if (isValidUtf8(data + i, size - i))
        return QString::fromUtf8(data, size);
    return QString::fromLatin1(data, size);
}

} // namespace hchat
