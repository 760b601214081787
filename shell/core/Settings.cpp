#include "shell/core/Settings.h"

#include "dorvane/Dorvanectrl.h"
#include "shell/core/Shared.h"
#include "shell/core/Ui.h"

#include <QStringList>

namespace tunora {

namespace {
// What the user is told about the settings file. No language text carries these yet, and the
// first of them can come before any language is loaded, so they are English and kept here.
QString storeNoticeText(const dorvane::StoreNotice& n)
{
    switch (n.kind) {
    case dorvane::StoreNotice::Unreadable:
        return QStringLiteral("The settings file %1 cannot be read (%2). Tunora runs with its default settings "
                              "and leaves the file as it is until a setting is changed.")
            .arg(n.path, n.detail);
    case dorvane::StoreNotice::MovedAside:
        return QStringLiteral("The unreadable settings file %1 was kept as %2; new settings start afresh.")
            .arg(n.path, n.detail);
    case dorvane::StoreNotice::WriteFailed:
        break;
    }
    return QStringLiteral("A setting could not be stored in %1 (%2).").arg(n.path, n.detail);
}

} // namespace

dorvane::Dorvanectrl& toolctl()
{
    static dorvane::Dorvanectrl* ctl = new dorvane::Dorvanectrl;
    return *ctl;
}

void RouteControlMessages()
{
    dorvane::Dorvanectrl::SetMessageHandler([](const QString& text) { ShowMessage(text); });
    dorvane::Dorvanectrl::SetStoreNoticeHandler(
        [](const dorvane::StoreNotice& n) { ShowMessage(storeNoticeText(n)); });
}

bool SettingsUnreadable()
{
    return dorvane::Dorvanectrl::StoreUnreadable();
}

QString Setting(SettingKey key)
{
    return toolctl().RegistryRead(kSettingsRoot, QString::fromLatin1(kSettingsPath), QString::fromLatin1(key.name));
}

void SetSetting(SettingKey key, const QString& value)
{
    toolctl().RegistryWrite(kSettingsRoot, QString::fromLatin1(kSettingsPath), QString::fromLatin1(key.name), value);
}

QString NamingPatternSetting()
{
    const QString stored = Setting(setting::kNamingPattern);
    return stored.isEmpty() ? QString::fromLatin1(kDefaultNamingPattern) : stored;
}

QString PlaylistPatternSetting()
{
    const QString stored = Setting(setting::kPlaylistPattern);
    return stored.isEmpty() ? QString::fromLatin1(kDefaultPlaylistPattern) : stored;
}

namespace {
struct Server {
    const char* host;
    const char* location;
};
// Servers that answer the CDDB protocol today; the first is the default.
const Server kServers[] = {
    {"gnudb.gnudb.org", "default server"},
    {"freedb.dbpoweramp.com", "second server"},
};
} // namespace

QString FreeDBServerList(bool descriptive)
{
    QStringList lines;
    for (const Server& s : kServers)
        lines << (descriptive ? QString::fromLatin1(s.host) + " (" + QString::fromLatin1(s.location) + ")"
                              : QString::fromLatin1(s.host));
    return lines.join(QLatin1String("\r\n"));
}

quint16 PortFromSetting(const QString& text)
{
    const qint64 port = NumericValue(text.trimmed());
    return (port >= 1 && port <= 65535) ? static_cast<quint16>(port) : 80;
}

} // namespace tunora
