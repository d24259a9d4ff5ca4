#include "upgrade/executablecheck.h"

#include <QFile>
#include <QProcess>

#include <limits>

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

// An unsigned field of `width` bytes; -1 when it lies outside `b` or past
// what a file size can be.
qint64 readField(const QByteArray &b, qint64 at, int width, bool bigEndian)
{
    if (at < 0 || at + width > b.size())
        return -1;
    quint64 v = 0;
    for (int i = 0; i < width; ++i)
        v |= quint64(quint8(b.at(at + (bigEndian ? width - 1 - i : i)))) << (8 * i);
    return v > quint64(std::numeric_limits<qint64>::max() / 2) ? -1 : qint64(v);
}

int read16(const QByteArray &b, qsizetype at, bool bigEndian)
{
    return int(readField(b, at, 2, bigEndian));
}

bool inside(qint64 offset, qint64 length, qint64 size)
{
    return offset >= 0 && length >= 0 && offset <= size && length <= size - offset;
}

// Whether the ELF file's own tables lie inside it: the header, every
// program header's part of the file and the section header table. A cut
// download or a header with garbage behind it fails here.
bool elfTablesFit(const QByteArray &file, bool wide, bool big)
{
    const qint64 size = file.size();
    const int word = wide ? 8 : 4;
    const qint64 phoff = readField(file, wide ? 32 : 28, word, big);
    const qint64 shoff = readField(file, wide ? 40 : 32, word, big);
    const int base = wide ? 52 : 40;
    const qint64 ehsize = readField(file, base, 2, big), phentsize = readField(file, base + 2, 2, big),
                 phnum = readField(file, base + 4, 2, big), shentsize = readField(file, base + 6, 2, big),
                 shnum = readField(file, base + 8, 2, big);
    const qint64 minPh = wide ? 56 : 32, minSh = wide ? 64 : 40;
    // A file without sections (shnum 0) is still a program; one that names a
    // table must hold it.
    const bool sectionsFit =
        shnum == 0 ? shoff == 0 : shentsize >= minSh && inside(shoff, shentsize * shnum, size);
    if (ehsize < base + 12 || ehsize > size || phnum <= 0 || phentsize < minPh || !sectionsFit ||
        !inside(phoff, phentsize * phnum, size))
        return false;
    for (qint64 i = 0; i < phnum; ++i) {
        const qint64 at = phoff + i * phentsize;
        const qint64 offset = readField(file, at + (wide ? 8 : 4), word, big);
        const qint64 length = readField(file, at + (wide ? 32 : 16), word, big);
        if (!inside(offset, length, size))
            return false;
    }
    return true;
}

Format formatOf(const QString &path)
{
    Format f;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return f;
    // Downloads are bounded well below this; a larger file is no program of ours.
    const QByteArray head = file.read(256 * 1024 * 1024);
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
                  (type == 2 || type == 3) && elfTablesFit(head, f.wordSize == 2, big);
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

QString ExecutableCheck::versionProblem(const QString &program, int timeoutMs)
{
    QProcess p;
    p.setProgram(program);
    p.setArguments({QStringLiteral("--version")});
    p.setStandardInputFile(QProcess::nullDevice());
    p.start();
    if (!p.waitForStarted(timeoutMs))
        return QStringLiteral("the new program does not start");
    const bool finished = p.waitForFinished(timeoutMs);
    if (!finished) {
        p.kill();
        p.waitForFinished(1000);
    }
    if (!finished || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0 ||
        !p.readAllStandardOutput().startsWith("Halvex Chat "))
        return QStringLiteral("the new program does not answer --version");
    return QString();
}

} // namespace hchat
