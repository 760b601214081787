// Network state and the computer's own addresses.
#pragma once

#include "dorvane/Dorvanectrl.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace dorvane::net {

// Whether the kernel's routing tables (the text of /proc/net/route and /proc/net/ipv6_route) hold
// a working default route on an interface other than loopback.
DORVANE_EXPORT bool HasDefaultRoute(const QByteArray& ipv4Routes, const QByteArray& ipv6Routes);

// An address in dotted decimal: each byte in decimal, joined by ".".
DORVANE_EXPORT QString DottedDecimal(const QByteArray& address);

// The guess from the host's own addresses, in the order they resolve: the internal address is
// the last one when there is one only, else the one before the last; the external address is the
// last one when there are two or more, else empty.
DORVANE_EXPORT QString InternalAddress(const QStringList& addresses);
DORVANE_EXPORT QString ExternalAddress(const QStringList& addresses);

// The host's name and its IPv4 addresses. Either step may be replaced (tests do, so that no
// query leaves the machine); a replacement answers nullopt for a failure, with *error set by the
// name step.
using HostNameLookup = std::function<std::optional<QString>(int* error)>;
using AddressLookup = std::function<std::optional<QStringList>(const QString& host)>;
DORVANE_EXPORT HostNameLookup SetHostNameLookup(HostNameLookup lookup);
DORVANE_EXPORT AddressLookup SetAddressLookup(AddressLookup lookup);

} // namespace dorvane::net
