#pragma once

#include "catalogue/catalogue.h"
#include "catalogue/cataloguecodec.h"

#include <QFile>
#include <QStringList>

namespace hchat::test {

/// The plain lines of the catalogue we ship (data/strings2.txt); empty when
/// the test runs without HCHAT_TEST_DATA.
inline QStringList shippedLines()
{
    QFile f(qEnvironmentVariable("HCHAT_TEST_DATA") + QStringLiteral("/strings2.txt"));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return CatalogueCodec::splitPlain(f.readAll());
}

/// The shipped catalogue, its paths under `programFolder`.
inline Catalogue shippedCatalogue(const QString &programFolder = QString())
{
    Catalogue c(shippedLines());
    c.setProgramFolder(programFolder);
    return c;
}

} // namespace hchat::test
