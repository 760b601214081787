// The loopback AcoustID stand-in (tests/servers/acoustid_server.py), pointed to by
// TUNORA_ACOUSTID_URL while it lives, and the sound files and fixtures its tests make.
#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QPair>
#include <QProcess>
#include <QStringList>

namespace tunora::test {

// Pink noise of a seed over a tone, so that every file sounds (and fingerprints) apart; brown
// noise alone (rough: its fingerprint is long) without the tone. output: ffmpeg's options
// before the path (a codec, a rate).
bool MakeAudio(const QString& path, int seed, int seconds, const QStringList& output = {}, bool tone = true);

// fpcalc's duration and fingerprint of a file.
QPair<int, QByteArray> Fpcalc(const QString& path);

// A release in the service's shape: one CD medium of trackCount tracks, holding the
// recording at position.
QJsonObject AcoustIdRelease(const QString& id, const QString& title, const QString& artist, int trackCount,
                            int position, const QJsonValue& date = {});

class AcoustIdServer {
public:
    // scratch: folder of the request log and of the fingerprints the stand-in knows
    // (scratch/acoustid). extraArgs: --busy N, --stall.
    explicit AcoustIdServer(const QString& scratch, const QStringList& extraArgs = {});
    ~AcoustIdServer();
    bool running() const { return m_running; }
    QString extra() const { return m_extra; }
    // Teaches the stand-in the file's fingerprint (fpcalc's), answered with results.
    bool know(const QString& path, const QJsonArray& results) const;
    // The logged requests ({t, method, target, client, fingerprint, known, violation}).
    QList<QJsonObject> requests() const;
    QStringList violations() const;

private:
    QProcess m_process;
    QString m_log, m_extra;
    QByteArray m_old;
    bool m_running = false;
};

} // namespace tunora::test
