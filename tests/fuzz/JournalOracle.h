// The property the journal's fuzz target checks, shared with the replay test: recovery over
// any journal neither crashes nor touches a file of its sandbox that the journal does not
// name (or such a file's temporary from the file-safety layer).
#pragma once

#include "tags/Journal.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QHash>

namespace tunora::test {

inline QString JournalSandbox()
{
    return QStringLiteral("/tmp/tunora-fuzz-journal");
}

// The fuzzer's bytes as a journal: "R" and raw bytes, else each line a record framed as the
// journal frames it (magic, length, checksum), the last cut to the length its first byte says.
inline QByteArray JournalFromInput(const QByteArray& input)
{
    if (input.startsWith('R'))
        return input.mid(1);
    QByteArray out;
    const QList<QByteArray> lines = input.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray& payload = lines[i];
        QByteArray rec("\x1ETJR", 4);
        const auto n = static_cast<quint32>(payload.size());
        for (int b = 0; b < 4; ++b)
            rec.append(static_cast<char>((n >> (8 * b)) & 0xFF));
        rec += QCryptographicHash::hash(payload, QCryptographicHash::Sha256).left(8) + payload;
        if (i + 1 == lines.size() && !input.isEmpty() && (static_cast<quint8>(input[0]) & 1))
            rec.truncate(rec.size() / 2); // torn
        out += rec;
    }
    return out;
}

inline QHash<QString, QByteArray> SandboxFiles()
{
    QHash<QString, QByteArray> files;
    QDirIterator it(JournalSandbox(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (path.startsWith(JournalSandbox() + QStringLiteral("/j/")))
            continue;
        QFile f(path);
        files.insert(path, f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("?"));
    }
    return files;
}

// False (why says which file) when recovery touched a file the journal does not name.
inline bool RecoveryStaysInside(const QByteArray& journal, QString* why)
{
    const QString box = JournalSandbox();
    QDir(box).removeRecursively();
    QDir().mkpath(box + QStringLiteral("/j"));
    QDir().mkpath(box + QStringLiteral("/sub"));
    for (const QString& name : {QStringLiteral("a.mp3"), QStringLiteral("sub/b.mp3"), QStringLiteral(".a.mp3.tmp-abcdef")}) {
        QFile f(box + '/' + name);
        if (!f.open(QIODevice::WriteOnly) || f.write(QByteArray("ID3\3\0\0\0\0\0\20") + QByteArray(64, 'x')) < 0)
            return false;
    }
    const QString path = box + QStringLiteral("/j/write.journal");
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(journal) != journal.size())
            return false;
    }
    const QHash<QString, QByteArray> before = SandboxFiles();
    tags::SetJournalPath(path);
    tags::Recover();
    tags::SetJournalPath(path);
    (void)tags::ListRuns();
    tags::SetJournalPath({});
    QStringList named;
    for (const tags::RunInfo& r : tags::RunsFromBytes(journal))
        for (const tags::RunFile& f : r.files)
            named << QFileInfo(f.path).absoluteFilePath() << QFileInfo(f.from).absoluteFilePath();
    auto mayChange = [&](const QString& file) {
        const QFileInfo info(file);
        for (const QString& n : named) {
            const QFileInfo ni(n);
            if (file == n || (info.absolutePath() == ni.absolutePath() &&
                              info.fileName().startsWith('.' + ni.fileName() + QStringLiteral(".tmp-"))))
                return true;
        }
        return false;
    };
    const QHash<QString, QByteArray> after = SandboxFiles();
    QString bad;
    for (auto it = before.begin(); it != before.end() && bad.isEmpty(); ++it)
        if (after.value(it.key()) != it.value() && !mayChange(it.key()))
            bad = it.key();
    for (auto it = after.begin(); it != after.end() && bad.isEmpty(); ++it)
        if (!before.contains(it.key()))
            bad = QStringLiteral("new: ") + it.key();
    if (why)
        *why = bad;
    return bad.isEmpty();
}

} // namespace tunora::test
