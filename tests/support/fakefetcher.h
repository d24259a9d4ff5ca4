#pragma once

#include "catalogue/fetcher.h"

#include <QFile>
#include <QList>
#include <QStringList>

namespace hchat::test {

/// Records requests; the test decides when and how they end. A success
/// with a target file writes the body there, as the real fetcher does.
class FakeFetcher : public Fetcher
{
public:
    void get(const QUrl &url, const QString &target) override
    {
        urls << url;
        targets << target;
        limits << bodyLimit();
        busy = true;
    }
    void abort() override
    {
        if (busy)
            ++aborts;
        busy = false;
    }
    bool isBusy() const override { return busy; }

    void succeed(const QByteArray &body)
    {
        busy = false;
        if (!targets.isEmpty() && !targets.constLast().isEmpty()) {
            QFile f(targets.constLast());
            if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(body) != body.size()) {
                emit failed(QStringLiteral("cannot write"));
                return;
            }
            f.close();
            emit finished(QByteArray());
            return;
        }
        emit finished(body);
    }
    void fail(const QString &why)
    {
        busy = false;
        emit failed(why);
    }
    void report(qint64 received, qint64 total) { emit progress(received, total); }

    QList<QUrl> urls;
    QStringList targets;
    QList<qint64> limits; ///< the body limit of each request
    bool busy = false;
    int aborts = 0;
};

} // namespace hchat::test
