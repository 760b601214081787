// Sound fingerprints of audio files, as the AcoustID service takes them: every format FFmpeg
// decodes, brought to Chromaprint's rate and channel count, fingerprinted by its default
// algorithm over the first 120 seconds. The same values as `fpcalc -plain` and the duration
// fpcalc prints.
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>

namespace tunora {

// Seconds of audio a fingerprint covers, from the start of the file.
inline constexpr int kFingerprintSeconds = 120;

struct FileFingerprint {
    QString path;
    int seconds = 0;        // the whole file's duration in whole seconds (truncated), 0 when unknown
    QByteArray fingerprint; // compressed and base64-encoded (URL-safe, unpadded)
    QString error;          // why there is none; empty when fingerprint holds one
    bool ok() const { return error.isEmpty(); }
};

// Decodes one file (on the calling thread) and fingerprints it. cancel, when set, stops the
// decoding early with the error "cancelled".
FileFingerprint FingerprintFile(const QString& path, const std::atomic_bool* cancel = nullptr);

// Called after each file: how many are done out of how many. Called from a worker thread,
// one call at a time.
using FingerprintProgress = std::function<void(qsizetype done, qsizetype total)>;

// Fingerprints the files on `threads` worker threads (0: one per core), one decode per file,
// and waits for them; the answers come in the order of paths.
QList<FileFingerprint> FingerprintFiles(const QStringList& paths, const FingerprintProgress& progress = {},
                                        const std::atomic_bool* cancel = nullptr, int threads = 0);

} // namespace tunora
