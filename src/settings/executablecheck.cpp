#include "settings/executablecheck.h"

#include <QFile>

namespace hchat {

namespace {
// The fields of an executable's header that tie it to a kind of computer.
struct Format {
    bool valid = false;
    QByteArray kind; // "ELF" or "PE"
    int wordSize = 0;
    int byteOrder = 0;
    int machine = 0;

    bool operator==(const Format &o) const
    {
        return valid && o.valid && kind == o.kind && wordSize == o.wordSize && byteOrder == o.byteOrder &&
               machine == o.machine;
    }
};

int read16(const QByteArray &b, qsizetype at, bool bigEndian)
{
    if (at < 0 || at + 2 > b.size())
        return -1;
    const int lo = quint8(b.at(at)), hi = quint8(b.at(at + 1));
    return bigEndian ? (lo << 8) | hi : (hi << 8) | lo;
}

Format formatOf(const QString &path)
{
    Format f;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return f;
    const QByteArray head = file.read(4096);
    if (head.startsWith("\x7f"
                        "ELF") &&
        head.size() >= 20) {
        f.kind = "ELF";
        f.wordSize = quint8(head.at(4));  // 1: 32 bits, 2: 64 bits
        f.byteOrder = quint8(head.at(5)); // 1: little, 2: big endian
        const bool big = f.byteOrder == 2;
        const int type = read16(head, 16, big);
        f.machine = read16(head, 18, big);
        // Executables and position-independent executables; not objects or cores.
        f.valid = (f.wordSize == 1 || f.wordSize == 2) && (f.byteOrder == 1 || f.byteOrder == 2) &&
                  (type == 2 || type == 3);
    } else if (head.startsWith("MZ") && head.size() >= 0x40) {
        const qsizetype pe = read16(head, 0x3C, false) | (read16(head, 0x3E, false) << 16);
        if (pe > 0 && pe + 6 <= head.size() && head.mid(pe, 4) == QByteArray("PE\0\0", 4)) {
            f.kind = "PE";
            f.machine = read16(head, pe + 4, false);
            f.valid = true;
        }
    }
    return f;
}
} // namespace

QString ExecutableCheck::problem(const QString &candidate, const QString &reference)
{
    const Format got = formatOf(candidate);
    if (!got.valid)
        return QStringLiteral("the download is not a program");
    if (!(got == formatOf(reference)))
        return QStringLiteral("the download is a program for another kind of computer");
    return QString();
}

} // namespace hchat
