// The program's settings: named text values under one registry key, read at the moment of use.
#pragma once

#include <QString>

namespace dorvane { class Dorvanectrl; }

namespace tunora {

inline constexpr qint32 kSettingsRoot = 2; // LOCAL_MACHINE
inline const char* const kSettingsPath = "Software\\Veldmark Corp.\\Tunora";

// The program's one instance of the utility control (toolctl).
dorvane::Dorvanectrl& toolctl();

QString Setting(const QString& name);
void SetSetting(const QString& name, const QString& value);

// Descriptive form (true): "host (location)" lines; host-only form (false). Lines joined by CR LF.
QString FreeDBServerList(bool descriptive);

} // namespace tunora
