// hchat-catalogue: turns the plain catalogue source (strings2.txt, one
// "label,text" line per entry) into the stored "chat.dll" the program loads.
// Used by the build; also handy for checking a hand-edited source.

#include "catalogue/cataloguecodec.h"
#include "protocol/atomicfile.h"

#include <QFile>

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: hchat-catalogue SOURCE.txt TARGET.dll\n");
        return 2;
    }
    QFile source(QString::fromLocal8Bit(argv[1]));
    if (!source.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "hchat-catalogue: cannot read %s\n", argv[1]);
        return 1;
    }
    const QStringList lines = hchat::CatalogueCodec::splitPlain(source.readAll());
    QString error;
    if (!hchat::AtomicFile::save(QString::fromLocal8Bit(argv[2]), hchat::CatalogueCodec::encodeFile(lines),
                                 &error)) {
        std::fprintf(stderr, "hchat-catalogue: cannot write %s: %s\n", argv[2], qPrintable(error));
        return 1;
    }
    return 0;
}
