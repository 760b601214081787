// Language files written by the shell tests: numbered texts with a recognisable prefix.
#pragma once

#include "shell/core/Language.h"

#include <QByteArray>
#include <QMap>
#include <QString>

namespace tunora::test {

// A language file of count texts "<prefix> <n>" (n from 0), one "NNN text" line each, CR LF;
// overrides replace single texts.
inline QByteArray LanguageFileBytes(const QString& prefix, int count = kLanguageTextCount,
                                    const QMap<int, QString>& overrides = {})
{
    QByteArray out;
    for (int i = 0; i < count; ++i) {
        const QString text = overrides.contains(i) ? overrides.value(i) : QStringLiteral("%1 %2").arg(prefix).arg(i);
        out += QStringLiteral("%1 %2\r\n").arg(i, 3, 10, QChar('0')).arg(text).toUtf8();
    }
    return out;
}

} // namespace tunora::test
