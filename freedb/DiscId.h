// Finding a disc by its track lengths: the CDDB disc identifier that a row of playing
// times gives as consecutive tracks of a disc, and the "cddb query" that asks for it.
#pragma once

#include "freedb/CddbProtocol.h"
#include "shell/core/DiscLayout.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace tunora {

// The sum of the decimal digits of n.
int CddbSum(qint64 n);
// The CDDB disc identifier of a disc with these track offsets (frames) and length (seconds).
quint32 CddbDiscId(const QList<qint64>& offsets, qint64 totalSeconds);
// Eight lower-case hexadecimal digits.
QString DiscIdText(quint32 discid);

// The "cddb query" command for a layout (what follows "cmd=") and its whole request URL.
QString CddbQueryCommand(const DiscLayout& layout);
QString CddbQueryUrl(const DiscLayout& layout);

// The whole HTTP answer of a "cddb query": "200" (one exact match), "210"/"211" (a list
// up to the "." line) and "202" (no match: true, no matches). Anything else answers false
// with the server's own line in serverLine. *exact tells the one exact match ("200").
bool ParseCddbQueryResponse(const QString& response, QList<QueryMatch>& matches, QString* error = nullptr,
                            QString* serverLine = nullptr, bool* exact = nullptr);
// Sends the query to the configured server (blocking with the event loop running).
bool QueryCDDB(const DiscLayout& layout, QList<QueryMatch>& matches, QString* error = nullptr,
               QString* serverLine = nullptr, bool* exact = nullptr);

} // namespace tunora
