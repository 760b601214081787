#include "lookup/LookupSource.h"

#include <QEventLoop>

namespace tunora {

LookupOutcome AwaitLookup(LookupSource& source, const std::function<void()>& start)
{
    LookupOutcome o;
    QEventLoop loop;
    QObject::connect(&source, &LookupSource::hitsReady, &loop, [&](const QList<LookupHit>& hits) {
        o.ok = true;
        o.hits = hits;
        loop.quit();
    });
    QObject::connect(&source, &LookupSource::discReady, &loop, [&](const LookupDisc& disc) {
        o.ok = true;
        o.disc = disc;
        loop.quit();
    });
    QObject::connect(&source, &LookupSource::failed, &loop, [&](const QString& why) {
        o.failure = why;
        loop.quit();
    });
    // A cancel tells nothing but the end of the request.
    QObject::connect(&source, &LookupSource::runningChanged, &loop, [&](bool running) {
        if (!running)
            loop.quit();
    });
    start();
    if (source.isRunning() && !o.ok && o.failure.isEmpty())
        loop.exec();
    return o;
}

bool ReadLookupDisc(LookupSource& source, const LookupHit& hit, LookupDisc& disc, QString* error)
{
    const LookupOutcome o = AwaitLookup(source, [&] { source.read(hit); });
    if (o.ok)
        disc = o.disc;
    else if (error)
        *error = source.lastError();
    return o.ok;
}

} // namespace tunora
