// The JSON answers of AcoustID and MusicBrainz come from the network: whatever they hold,
// reading them never faults, lists stay within their bounds, and the ranking of an album's
// answers keeps its counts consistent.
#include "acoustid/AcoustId.h"
#include "musicbrainz/MusicBrainz.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray json = QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    tunora::AidAnswer answer;
    if (tunora::ParseAcoustIdAnswer(json, answer)) {
        if (answer.results.size() > 50 || (!answer.ok && !answer.results.isEmpty()))
            __builtin_trap();
        for (const tunora::AidResult& r : answer.results)
            if (!(r.score >= 0 && r.score <= 1) || r.recordings.size() > 100)
                __builtin_trap();
        // The same answer for three files of an album.
        const QList<QList<tunora::AidResult>> perFile{answer.results, {}, answer.results};
        for (const tunora::RankedRelease& ranked : tunora::RankReleases(perFile))
            if (ranked.matched < 0 || ranked.matched > ranked.held || ranked.held > 3 || !(ranked.score <= 3) ||
                ranked.release.mediums.size() > 50 * 100 * 500)
                __builtin_trap();
    }

    QList<tunora::MbRelease> releases;
    if (tunora::ParseReleaseList(json, releases))
        for (const tunora::MbRelease& r : releases)
            if (tunora::ChooseMedium(r, 2) < 0 || tunora::ChooseMedium(r, 2) > qMax<qsizetype>(0, r.media.size() - 1))
                __builtin_trap();
    tunora::MbRelease release;
    if (tunora::ParseRelease(json, release))
        for (const tunora::MbMedium& m : release.media)
            for (const tunora::MbTrack& t : m.tracks)
                if (t.lengthMs < 0)
                    __builtin_trap();
    return 0;
}
