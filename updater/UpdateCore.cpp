#include "updater/UpdateCore.h"

#include "dorvane/Dorvanectrl.h"
#include "shell/core/Product.h"
#include "shell/core/Settings.h"
#include "shell/core/Shared.h"

#include <QCryptographicHash>
#include <QFile>
#include <QLocale>
#include <cmath>

namespace tunora {

UpdateServer UpdateServerAddress()
{
    UpdateServer s;
    s.host = qEnvironmentVariable("TUNORA_UPDATE_HOST").trimmed();
    if (s.host.isEmpty())
        s.host = QString::fromLatin1(kUpdateHost);
    bool ok = false;
    const int port = qEnvironmentVariable("TUNORA_UPDATE_PORT").trimmed().toInt(&ok);
    s.port = ok && port > 0 && port < 65536 ? port : kUpdatePort;
    return s;
}

QString UpdateFolder()
{
    return AppFile(QStringLiteral("upd"));
}

QString DescriptionPath()
{
    return AppFile(QStringLiteral("upd/") + QString::fromLatin1(kDescriptionName));
}

double BuildNumberValue(const QString& text)
{
    const QString t = text.trimmed();
    int i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-'))
        ++i;
    const int digitsStart = i;
    while (i < t.size() && t[i].isDigit() && t[i].unicode() < 128)
        ++i;
    if (i < t.size() && t[i] == '.') {
        ++i;
        while (i < t.size() && t[i].isDigit() && t[i].unicode() < 128)
            ++i;
    }
    if (i == digitsStart)
        return 0;
    bool ok = false;
    const double v = t.left(i).toDouble(&ok);
    return ok ? v : 0;
}

UpdateDescription ReadUpdateDescription(const QString& descriptionPath)
{
    auto read = [&](const char* key) {
        return toolctl().LireINI(descriptionPath, QString::fromLatin1(product::kName), QString::fromLatin1(key)).trimmed();
    };
    UpdateDescription d;
    d.build = BuildNumberValue(read("build"));
    d.fileName = read("FileName");
    d.path = read("Path");
    d.sha256 = read("SHA256");
    return d;
}

static bool hasControlCharacter(const QString& s)
{
    for (QChar c : s)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return true;
    return false;
}

bool IsSafeInstallerName(const QString& fileName)
{
    return !fileName.isEmpty() && fileName != QLatin1String(".") && !fileName.contains('/') &&
           !fileName.contains(QLatin1String("..")) && !hasControlCharacter(fileName);
}

bool IsSafeServerFolder(const QString& folder)
{
    if (folder.isEmpty() || hasControlCharacter(folder))
        return false;
    const QStringList segments = folder.split('/');
    return !segments.contains(QStringLiteral(".."));
}

bool FileMatchesSha256(const QString& path, const QString& hex)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    QCryptographicHash h(QCryptographicHash::Sha256);
    if (!h.addData(&f))
        return false;
    return QString::fromLatin1(h.result().toHex()).compare(hex.trimmed(), Qt::CaseInsensitive) == 0;
}

QString DisplaySize(qint64 bytes)
{
    auto scaled = [](qint64 b, qint64 unit, int text) {
        // Hundredths cut, not rounded; 64-bit so that large files do not overflow.
        const qint64 hundredths = b * 100 / unit;
        QString s = QString::number(hundredths / 100);
        qint64 frac = hundredths % 100;
        if (frac != 0) {
            QString digits = QStringLiteral("%1").arg(frac, 2, 10, QLatin1Char('0'));
            while (digits.endsWith('0'))
                digits.chop(1);
            s += QLocale::system().decimalPoint() + digits;
        }
        return (s + ' ' + LanguageText(text)).trimmed();
    };
    if (bytes <= 1024)
        return (QString::number(bytes) + ' ' + LanguageText(162)).trimmed();
    if (bytes <= 1048576)
        return scaled(bytes, 1024, 163);
    return scaled(bytes, 1048576, 164);
}

qint64 BytesDone(int percent, double totalBytes)
{
    return std::llround(static_cast<double>(std::llround(totalBytes)) * percent / 100.0);
}

qint64 AverageSpeed(int percent, double totalBytes, qint64 elapsedMs)
{
    if (elapsedMs <= 0)
        elapsedMs = 1;
    return std::llround(static_cast<double>(std::llround(totalBytes)) * percent / 100.0 * 1000.0 /
                        static_cast<double>(elapsedMs));
}

QString ProgressText(int percent, double totalBytes)
{
    return LanguageText(27) + ' ' + DisplaySize(BytesDone(percent, totalBytes)) + QStringLiteral(" of ") +
           DisplaySize(std::llround(totalBytes)) + QStringLiteral(" [") + QString::number(percent) +
           QStringLiteral("%]");
}

QString SpeedText(int percent, double totalBytes, qint64 elapsedMs)
{
    return LanguageText(161) + ' ' + DisplaySize(AverageSpeed(percent, totalBytes, elapsedMs)) + QStringLiteral("/s");
}

QString UpToDateText()
{
    QString s = LanguageText(59);
    s.replace(QLatin1String("%%1%%"), QString::fromLatin1(product::kName));
    s.replace(QLatin1String("%%2%%"), QString::number(product::kMajor));
    s.replace(QLatin1String("%%3%%"), QString::number(product::kMinor));
    s.replace(QLatin1String("%%4%%"), QString::number(product::kRevision));
    return s;
}

QString ProductText(int n)
{
    return LanguageText(n).replace(QLatin1String("%%1%%"), QString::fromLatin1(product::kName));
}

} // namespace tunora
