// The program's settings: named text values under one registry key, read at the moment of use.
#pragma once

#include "shell/core/SettingKeys.h"

#include <QString>

namespace dorvane { class Dorvanectrl; }

namespace tunora {

inline constexpr qint32 kSettingsRoot = 2; // LOCAL_MACHINE
inline const char* const kSettingsPath = "Software\\Veldmark Corp.\\Tunora";

// The program's one instance of the utility control (toolctl).
dorvane::Dorvanectrl& toolctl();
// Sends the control's messages and its settings-file notices (unreadable, kept aside, not
// written) to the program's message boxes; without this they go to standard error.
void RouteControlMessages();

// True while the settings file exists but cannot be read; settings then read as empty (the
// user is told once) and the file is left alone until a value is written.
bool SettingsUnreadable();

QString Setting(SettingKey key);
void SetSetting(SettingKey key, const QString& value);

// The naming and playlist patterns of the album page. The setup page offers these first and
// shows them while none is stored; the album page applies them then too.
inline const char* const kDefaultNamingPattern = "%1 - %3 - %6 - %2";
inline const char* const kDefaultPlaylistPattern = "%3";
QString NamingPatternSetting();
QString PlaylistPatternSetting();

// A port setting's value (the proxy's, the HTTP port): its leading decimal number when from
// 1 to 65535, else 80.
quint16 PortFromSetting(const QString& text);

// Descriptive form (true): "host (location)" lines; host-only form (false). Lines joined by CR LF.
QString FreeDBServerList(bool descriptive);

} // namespace tunora
