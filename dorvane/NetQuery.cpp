#include "dorvane/NetQuery.h"

#include "dorvane/ControlPrivate.h"
#include "dorvane/FileIo.h"

#include <cerrno>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace dorvane::net {

namespace {

constexpr unsigned kRouteUp = 0x0001;
constexpr unsigned kRouteReject = 0x0200;

std::optional<QString> systemHostName(int* error)
{
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0) {
        *error = errno;
        return std::nullopt;
    }
    return QString::fromLocal8Bit(name);
}

std::optional<QStringList> systemAddresses(const QString& host)
{
    addrinfo hints {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM; // one entry per address
    addrinfo* list = nullptr;
    if (::getaddrinfo(host.toLocal8Bit().constData(), nullptr, &hints, &list) != 0 || !list)
        return std::nullopt;
    QStringList out;
    for (const addrinfo* a = list; a; a = a->ai_next) {
        if (a->ai_family != AF_INET || a->ai_addrlen < sizeof(sockaddr_in))
            continue;
        const auto* in = reinterpret_cast<const sockaddr_in*>(a->ai_addr);
        out << DottedDecimal(QByteArray(reinterpret_cast<const char*>(&in->sin_addr), 4));
    }
    ::freeaddrinfo(list);
    if (out.isEmpty())
        return std::nullopt;
    return out;
}

HostNameLookup& hostNameLookup()
{
    static HostNameLookup l = systemHostName;
    return l;
}

AddressLookup& addressLookup()
{
    static AddressLookup l = systemAddresses;
    return l;
}

QByteArray readProc(const char* path)
{
    QByteArray bytes;
    bool missing = false;
    bool tooBig = false;
    int err = 0;
    io::ReadSmallFile(QString::fromLatin1(path), 4 * 1024 * 1024, &bytes, &missing, &tooBig, &err);
    return bytes;
}

// Looks the host's addresses up, telling the user of a failure as the control always has.
std::optional<QStringList> ownAddresses()
{
    int error = 0;
    const HostNameLookup names = hostNameLookup();
    const std::optional<QString> host = names ? names(&error) : std::nullopt;
    if (!host) {
        detail::ShowMessage(QStringLiteral("Windows Socket Error ") + QString::number(error));
        return std::nullopt;
    }
    const AddressLookup addresses = addressLookup();
    const std::optional<QStringList> list = addresses ? addresses(host->trimmed()) : std::nullopt;
    if (!list || list->isEmpty()) {
        detail::ShowMessage(QStringLiteral("Winsock.dll error."));
        return std::nullopt;
    }
    return list;
}

} // namespace

bool HasDefaultRoute(const QByteArray& ipv4Routes, const QByteArray& ipv6Routes)
{
    // Iface Destination Gateway Flags RefCnt Use Metric Mask ...
    const QList<QByteArray> v4 = ipv4Routes.split('\n');
    for (qsizetype i = 1; i < v4.size(); ++i) {
        const QList<QByteArray> f = v4.at(i).simplified().split(' ');
        if (f.size() < 8 || f.at(0) == "lo")
            continue;
        bool ok = false;
        const unsigned flags = f.at(3).toUInt(&ok, 16);
        if (ok && f.at(1) == "00000000" && f.at(7) == "00000000" && (flags & kRouteUp) && !(flags & kRouteReject))
            return true;
    }
    // Destination PrefixLength Source SourcePrefix NextHop Metric RefCnt Use Flags Iface
    for (const QByteArray& line : ipv6Routes.split('\n')) {
        const QList<QByteArray> f = line.simplified().split(' ');
        if (f.size() < 10 || f.at(9) == "lo")
            continue;
        bool ok = false;
        const unsigned flags = f.at(8).toUInt(&ok, 16);
        if (ok && f.at(0) == QByteArray(32, '0') && f.at(1) == "00" && (flags & kRouteUp) && !(flags & kRouteReject))
            return true;
    }
    return false;
}

QString DottedDecimal(const QByteArray& address)
{
    QStringList parts;
    for (const char b : address)
        parts << QString::number(static_cast<unsigned char>(b));
    return parts.join(QChar('.'));
}

QString InternalAddress(const QStringList& addresses)
{
    if (addresses.isEmpty())
        return QString();
    return addresses.size() == 1 ? addresses.last() : addresses.at(addresses.size() - 2);
}

QString ExternalAddress(const QStringList& addresses)
{
    return addresses.size() < 2 ? QString() : addresses.last();
}

HostNameLookup SetHostNameLookup(HostNameLookup lookup)
{
    HostNameLookup old = std::move(hostNameLookup());
    hostNameLookup() = std::move(lookup);
    return old;
}

AddressLookup SetAddressLookup(AddressLookup lookup)
{
    AddressLookup old = std::move(addressLookup());
    addressLookup() = std::move(lookup);
    return old;
}

} // namespace dorvane::net

namespace dorvane {

bool Dorvanectrl::IsConnected()
{
    return net::HasDefaultRoute(net::readProc("/proc/net/route"), net::readProc("/proc/net/ipv6_route"));
}

QString Dorvanectrl::GetInternalIp()
{
    const std::optional<QStringList> list = net::ownAddresses();
    return list ? net::InternalAddress(*list) : QString();
}

QVariant Dorvanectrl::GetExternalIp()
{
    const std::optional<QStringList> list = net::ownAddresses();
    return list ? net::ExternalAddress(*list) : QString();
}

} // namespace dorvane
