#include "updater/UpdateCore.h"

#include "dorvane/Dorvanectrl.h"
#include "shell/core/Product.h"
#include "shell/core/Settings.h"
#include "shell/core/Shared.h"
#include "shell/core/Texts.h"

#include <QFile>
#include <QLocale>
#include <QRegularExpression>
#include <cmath>
#include <openssl/evp.h>

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
    return WritableFolder() + QStringLiteral("/upd");
}

QString DescriptionPath()
{
    return UpdateFolder() + '/' + QString::fromLatin1(kDescriptionName);
}

QString SignaturePath()
{
    return UpdateFolder() + '/' + QString::fromLatin1(kSignatureName);
}

QByteArray UpdatePublicKey()
{
#ifdef TUNORA_TEST_HOOKS
    const QByteArray fromTest = qgetenv("TUNORA_UPDATE_PUBKEY").trimmed();
    if (!fromTest.isEmpty())
        return QByteArray::fromHex(fromTest);
#endif
    return QByteArray::fromHex(kUpdatePublicKeyHex);
}

bool VerifyEd25519(const QByteArray& data, const QByteArray& signature, const QByteArray& publicKey)
{
    if (signature.size() != 64 || publicKey.size() != 32)
        return false;
    EVP_PKEY* key = EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr,
                                                reinterpret_cast<const unsigned char*>(publicKey.constData()), 32);
    if (!key)
        return false;
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    // Ed25519 signs the message itself: no digest is named.
    const bool ok = ctx && EVP_DigestVerifyInit(ctx, nullptr, nullptr, nullptr, key) == 1 &&
                    EVP_DigestVerify(ctx, reinterpret_cast<const unsigned char*>(signature.constData()), 64,
                                     reinterpret_cast<const unsigned char*>(data.constData()),
                                     static_cast<size_t>(data.size())) == 1;
    EVP_MD_CTX_free(ctx);
    EVP_PKEY_free(key);
    return ok;
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

bool IsSha256Hex(const QString& text)
{
    static const QRegularExpression hex(QStringLiteral("^[0-9A-Fa-f]{64}$"));
    return hex.match(text.trimmed()).hasMatch();
}

bool FileMatchesSha256(const QString& path, const QString& hex)
{
    if (!IsSha256Hex(hex))
        return false;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return false;
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    bool ok = ctx && EVP_DigestInit_ex(ctx, EVP_sha256(), nullptr) == 1;
    QByteArray chunk(1 << 16, Qt::Uninitialized);
    while (ok) {
        const qint64 n = f.read(chunk.data(), chunk.size());
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        ok = EVP_DigestUpdate(ctx, chunk.constData(), static_cast<size_t>(n)) == 1;
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    ok = ok && EVP_DigestFinal_ex(ctx, digest, &len) == 1;
    EVP_MD_CTX_free(ctx);
    return ok && QByteArray(reinterpret_cast<const char*>(digest), static_cast<int>(len)) ==
                     QByteArray::fromHex(hex.trimmed().toLatin1());
}

QString DisplaySize(qint64 bytes)
{
    auto scaled = [](qint64 b, qint64 unit, int text) {
        // Hundredths cut, not rounded; divided first, so that no size a server announces overflows.
        const qint64 hundredths = b / unit * 100 + b % unit * 100 / unit;
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
        return (QString::number(bytes) + ' ' + text::Bytes()).trimmed();
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
    return text::Progress() + ' ' + DisplaySize(BytesDone(percent, totalBytes)) + QStringLiteral(" of ") +
           DisplaySize(std::llround(totalBytes)) + QStringLiteral(" [") + QString::number(percent) +
           QStringLiteral("%]");
}

QString SpeedText(int percent, double totalBytes, qint64 elapsedMs)
{
    return text::Speed() + ' ' + DisplaySize(AverageSpeed(percent, totalBytes, elapsedMs)) + QStringLiteral("/s");
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
