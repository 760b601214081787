#include "burn/BurnList.h"

#include "audio/Mp3Length.h"
#include "dorvane/FileIo.h"
#include "folders/AudioFormats.h"
#include "tags/Tags.h"
#include "dorvane/Dorvanectrl.h"
#include "shell/core/Settings.h"
#include "shell/core/Shared.h"
#include "shell/core/Texts.h"

#include <QFileInfo>
#include <QStandardPaths>
#include <cmath>

namespace tunora {

PlayingTimeReader DefaultPlayingTimeReader()
{
    return [](const QString& path, double& ms) {
        // A file named as MP3 (or by no format) is timed as it always was, to the fraction.
        const AudioFormat named = FormatOfName(path.mid(path.lastIndexOf(u'/') + 1));
        if (named == AudioFormat::Mp3 || named == AudioFormat::Unknown)
            return GetMp3Length(path, ms);
        qint64 whole = 0;
        if (!tags::ReadLength(path, &whole))
            return false;
        ms = double(whole);
        return true;
    };
}

QString BurnTimeText(double totalMs)
{
    if (totalMs < 0 || std::isnan(totalMs))
        return {};
    const qint64 total = std::llround(totalMs);
    qint64 minutes = total / 60000;
    const qint64 rest = total % 60000;
    qint64 seconds = rest / 1000;
    if (rest % 1000 != 0)
        ++seconds;
    // 59.5 s are shown as the next minute, not as "60sec".
    if (seconds == 60) {
        ++minutes;
        seconds = 0;
    }
    return text::TotalTime() + ' ' + QString::number(minutes) + QStringLiteral("min ") + QString::number(seconds) +
           QStringLiteral("sec ");
}

int BurnPercent(double totalMs)
{
    if (!(totalMs > 0))
        return 0;
    return static_cast<int>(std::lround(std::min(100.0, totalMs / kCdCapacityMs * 100.0)));
}

bool ExceedsCdCapacity(double totalMs)
{
    return totalMs > kCdCapacityMs;
}

QByteArray BurnListFileContents(const QStringList& entries)
{
    QByteArray out;
    for (const QString& e : entries)
        out += dorvane::io::EncodeName(e) + "\r\n"; // each name's own bytes
    return out;
}

QString BurnListPath()
{
    return WritableFolder() + QStringLiteral("/list.c2c");
}

QStringList BurnableEntries(const QStringList& entries, QStringList* leftOut)
{
    QStringList out;
    for (const QString& e : entries) {
        if (e.contains('\r') || e.contains('\n')) {
            if (leftOut)
                *leftOut << e;
        } else {
            out << e;
        }
    }
    return out;
}

QString BurnerFolder()
{
    return toolctl().RegistryRead(kBurnerRoot, QString::fromLatin1(kBurnerKey), QString::fromLatin1(kBurnerValue));
}

QString BurnerProgram(const QString& folder)
{
    if (folder.trimmed().isEmpty())
        return {};
    QString f = folder;
    if (!f.endsWith('/'))
        f += '/';
    return f + QString::fromLatin1(kBurnerExecutable);
}

Burner FindBurner()
{
    const QString copyToCd = BurnerProgram(BurnerFolder());
    if (!copyToCd.isEmpty() && dorvane::io::IsFile(copyToCd))
        return {BurnerKind::CopyToCd, copyToCd};
    for (const auto& [kind, name] : {std::pair {BurnerKind::K3b, "k3b"}, std::pair {BurnerKind::Brasero, "brasero"}}) {
        const QString found = QStandardPaths::findExecutable(QString::fromLatin1(name));
        if (!found.isEmpty())
            return {kind, found};
    }
    return {};
}

QString BurnerName(BurnerKind kind)
{
    switch (kind) {
    case BurnerKind::CopyToCd:
        return QStringLiteral("CopyToCD");
    case BurnerKind::K3b:
        return QStringLiteral("k3b");
    case BurnerKind::Brasero:
        return QStringLiteral("Brasero");
    case BurnerKind::None:
        break;
    }
    return {};
}

BurnerCommand BurnerCommandFor(const Burner& burner, const QString& listPath, const QStringList& files)
{
    BurnerCommand c;
    c.program = burner.program;
    switch (burner.kind) {
    case BurnerKind::CopyToCd:
        c.arguments << QStringLiteral("/fl=") + listPath << QStringLiteral("/cdaudio=") + listPath;
        break;
    case BurnerKind::K3b:
        c.arguments << QStringLiteral("--audiocd") << files;
        break;
    case BurnerKind::Brasero:
        c.arguments << QStringLiteral("--audio") << files;
        break;
    case BurnerKind::None:
        break;
    }
    return c;
}

static int singleSelected(const QList<bool>& selected)
{
    int row = -1;
    for (int i = 0; i < selected.size(); ++i) {
        if (!selected[i])
            continue;
        if (row >= 0)
            return -1;
        row = i;
    }
    return row;
}

int MoveUpRow(const QList<bool>& selected)
{
    const int row = singleSelected(selected);
    return row > 0 ? row : -1;
}

int MoveDownRow(const QList<bool>& selected)
{
    const int row = singleSelected(selected);
    return row >= 0 && row < selected.size() - 1 ? row : -1;
}

QStringList TakeChosenFiles(const QStringList& chosen, QString* lastDir)
{
    QStringList out;
    if (chosen.isEmpty())
        return out;
    if (chosen.size() == 1) {
        const QString path = chosen.first().trimmed();
        if (dorvane::io::IsFile(path)) {
            out << chosen.first();
            if (lastDir)
                *lastDir = path.left(path.lastIndexOf('/') + 1).trimmed();
        }
        return out;
    }
    for (const QString& p : chosen) {
        if (p.isEmpty())
            continue;
        const QString name = p.mid(p.lastIndexOf('/') + 1);
        if (name.contains(':') || dorvane::io::IsFile(p))
            out << p;
    }
    if (lastDir) {
        const QString first = chosen.first();
        QString folder = first.left(first.lastIndexOf('/'));
        if (folder.isEmpty())
            folder = QStringLiteral("/");
        *lastDir = folder.trimmed();
    }
    return out;
}

} // namespace tunora
