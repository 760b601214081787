// The loopback MusicBrainz and Cover Art stand-in (tests/servers/musicbrainz_server.py),
// pointed to by TUNORA_MUSICBRAINZ_URL and TUNORA_COVERART_URL while it lives.
#pragma once

#include <QJsonObject>
#include <QList>
#include <QProcess>
#include <QStringList>

namespace tunora::test {

class MusicBrainzServer {
public:
    // scratch: folder of the request log and of fixtures a test adds (scratch/extra, the
    // layout of fixtures/musicbrainz). extraArgs: --busy N, --tls CERT KEY, --no-pace.
    explicit MusicBrainzServer(const QString& scratch, const QStringList& extraArgs = {});
    ~MusicBrainzServer();
    bool running() const { return m_port != 0; }
    QString root() const; // scheme, host and port, ending in "/"
    QString extra() const { return m_extra; }

    // The logged requests ({t, target, ua, violation}), oldest first.
    QList<QJsonObject> requests() const;
    QStringList targets() const;
    // Every broken rule (pace, User-Agent, table of contents) so far.
    QStringList violations() const;

private:
    QProcess m_process;
    QString m_log, m_extra;
    bool m_tls = false;
    quint16 m_port = 0;
    QByteArray m_oldMb, m_oldCover;
};

// One track of a release a test adds to the stand-in.
struct StandInTrack {
    QString title;
    double seconds;
};
// A release as the web service answers it (id, title, one artist credit, "2004"), each medium
// with its tracks unless withTracks is false (a search answer).
QJsonObject MbReleaseJson(const QString& id, const QString& artist, const QString& title,
                          const QList<QList<StandInTrack>>& media, bool withTracks = true);

} // namespace tunora::test
