// Network state and the guess of the computer's internal and external addresses.
#include "dorvane/Dorvanectrl.h"
#include "dorvane/NetQuery.h"

#include <QFile>

#include <gtest/gtest.h>

using dorvane::Dorvanectrl;
namespace net = dorvane::net;

namespace {

const QByteArray kRouteHeader = "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n";

TEST(DefaultRoute, OnlyAWorkingRouteOffLoopbackCounts)
{
    const QByteArray withDefault = kRouteHeader + "eth0\t00000000\t0100A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
                                                  "eth0\t0000A8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0\n";
    const QByteArray localOnly = kRouteHeader + "eth0\t0000A8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0\n";
    const QByteArray loopDefault = kRouteHeader + "lo\t00000000\t00000000\t0001\t0\t0\t0\t00000000\t0\t0\t0\n";
    const QByteArray downDefault = kRouteHeader + "eth0\t00000000\t0100A8C0\t0002\t0\t0\t100\t00000000\t0\t0\t0\n";
    EXPECT_TRUE(net::HasDefaultRoute(withDefault, ""));
    EXPECT_FALSE(net::HasDefaultRoute(localOnly, ""));
    EXPECT_FALSE(net::HasDefaultRoute(loopDefault, ""));
    EXPECT_FALSE(net::HasDefaultRoute(downDefault, ""));
    EXPECT_FALSE(net::HasDefaultRoute("", ""));
    EXPECT_FALSE(net::HasDefaultRoute(kRouteHeader, "garbage\n\n"));

    const QByteArray zero(32, '0');
    const QByteArray v6Default = zero + " 00 " + zero + " 00 fe800000000000000000000000000001 00000400 00000001 00000000 00000003 wlan0\n";
    const QByteArray v6Unreachable = zero + " 00 " + zero + " 00 " + zero + " ffffffff 00000001 00000000 00200200 lo\n";
    const QByteArray v6Link = "fe800000000000000000000000000000 40 " + zero + " 00 " + zero + " 00000100 00000001 00000000 00000001 wlan0\n";
    EXPECT_TRUE(net::HasDefaultRoute(localOnly, v6Link + v6Default));
    EXPECT_FALSE(net::HasDefaultRoute(localOnly, v6Link + v6Unreachable));
}

TEST(DefaultRoute, IsConnectedReadsTheKernelTables)
{
    auto read = [](const char* p) {
        QFile f(p);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    Dorvanectrl ctl;
    EXPECT_EQ(ctl.IsConnected(), net::HasDefaultRoute(read("/proc/net/route"), read("/proc/net/ipv6_route")));
}

TEST(Addresses, ChoiceAmongTheHostsAddresses)
{
    EXPECT_EQ(net::InternalAddress({"192.168.0.2"}), "192.168.0.2");
    EXPECT_EQ(net::ExternalAddress({"192.168.0.2"}), "");
    EXPECT_EQ(net::InternalAddress({"192.168.0.2", "10.1.2.3"}), "192.168.0.2");
    EXPECT_EQ(net::ExternalAddress({"192.168.0.2", "10.1.2.3"}), "10.1.2.3");
    EXPECT_EQ(net::InternalAddress({"1.1.1.1", "2.2.2.2", "3.3.3.3"}), "2.2.2.2");
    EXPECT_EQ(net::ExternalAddress({"1.1.1.1", "2.2.2.2", "3.3.3.3"}), "3.3.3.3");
    EXPECT_EQ(net::InternalAddress({}), "");
    EXPECT_EQ(net::ExternalAddress({}), "");
    EXPECT_EQ(net::DottedDecimal(QByteArray("\xC0\xA8\x00\x02", 4)), "192.168.0.2");
    EXPECT_EQ(net::DottedDecimal(QByteArray("\x0A\xFF\x00\x09", 4)), "10.255.0.9");
}

class LookupTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        oldMessages = Dorvanectrl::SetMessageHandler([this](const QString& t) { messages << t; });
        oldNames = net::SetHostNameLookup([this](int* error) -> std::optional<QString> {
            if (nameError) {
                *error = nameError;
                return std::nullopt;
            }
            return QStringLiteral("  tunora-box  ");
        });
        oldAddresses = net::SetAddressLookup([this](const QString& host) -> std::optional<QStringList> {
            asked << host;
            if (addresses.isEmpty())
                return std::nullopt;
            return addresses;
        });
    }
    void TearDown() override
    {
        Dorvanectrl::SetMessageHandler(oldMessages);
        net::SetHostNameLookup(oldNames);
        net::SetAddressLookup(oldAddresses);
    }
    dorvane::MessageHandler oldMessages;
    net::HostNameLookup oldNames;
    net::AddressLookup oldAddresses;
    QStringList messages;
    QStringList asked;
    QStringList addresses;
    int nameError = 0;
    Dorvanectrl ctl;
};

TEST_F(LookupTest, AddressesOfTheTrimmedHostName)
{
    addresses = {"192.168.0.2", "10.1.2.3"};
    EXPECT_EQ(ctl.GetInternalIp(), "192.168.0.2");
    EXPECT_EQ(ctl.GetExternalIp().toString(), "10.1.2.3");
    EXPECT_EQ(asked, (QStringList{"tunora-box", "tunora-box"}));
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(LookupTest, FailuresAreToldAndAnswerEmpty)
{
    EXPECT_EQ(ctl.GetInternalIp(), "");
    EXPECT_EQ(messages, QStringList{"Winsock.dll error."});
    nameError = 10093;
    EXPECT_EQ(ctl.GetExternalIp().toString(), "");
    EXPECT_EQ(messages.last(), "Windows Socket Error 10093");
    EXPECT_EQ(asked.size(), 1); // no lookup without a name
}

} // namespace
