// Late-bound calls: every operation family reached by its dispatch id.
#include "dorvane/Dorvanectrl.h"
#include "dorvane/NetQuery.h"

#include <QDesktopServices>
#include <QDialog>
#include <QFile>
#include <QTemporaryDir>
#include <QWidget>

#include <gtest/gtest.h>

using dorvane::Dorvanectrl;
namespace dispid = dorvane::dispid;

namespace {

class Opened : public QObject {
    Q_OBJECT
public:
    QList<QUrl> urls;
    Q_INVOKABLE void open(const QUrl& url) { urls << url; }
};

class InvokeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        oldEnv = qgetenv("TUNORA_REGISTRY");
        qputenv("TUNORA_REGISTRY", QFile::encodeName(dir.path() + "/registry.reg"));
    }
    void TearDown() override
    {
        if (oldEnv.isNull())
            qunsetenv("TUNORA_REGISTRY");
        else
            qputenv("TUNORA_REGISTRY", oldEnv);
    }
    QVariant call(qint32 id, QVariantList args = {}) { return ctl.Invoke(id, args); }
    int errorOf(qint32 id, QVariantList args)
    {
        try {
            ctl.Invoke(id, args);
        } catch (const dorvane::RuntimeError& e) {
            return e.number();
        }
        return 0;
    }

    QTemporaryDir dir;
    QByteArray oldEnv;
    Dorvanectrl ctl;
};

const QString kPath = QStringLiteral("Software\\Veldmark Corp.\\Tunora");

TEST_F(InvokeTest, RegistryFamily)
{
    call(dispid::RegistryWrite, {2, kPath, "Lang", "French"});
    EXPECT_EQ(call(dispid::RegistryRead, {2, kPath, "lang"}).toString(), "French");
    EXPECT_EQ(call(dispid::RegistryRead, {"2", kPath, "Lang"}).toString(), "French"); // numbers as text
    call(dispid::RegistryWriteBin, {2, kPath, "Bin", "x"});
    EXPECT_EQ(call(dispid::RegistryRead, {2, kPath, "Bin"}).toString(), "");
    EXPECT_EQ(call(dispid::RegistryDelete, {2, kPath, "Lang"}).toString(), "");
    EXPECT_EQ(ctl.RegistryRead(2, kPath, "Lang"), "");
    EXPECT_EQ(errorOf(dispid::RegistryRead, {-1, kPath, "Lang"}), 6);

    // Low level, with handles passed as the unsigned values a host may hold.
    QVariantList save{quint32(0x80000002u), kPath, "Low", "level"};
    ctl.Invoke(dispid::savestring, save);
    EXPECT_EQ(save, (QVariantList{qint32(0x80000002u), kPath, "Low", "level"}));
    EXPECT_EQ(ctl.RegistryRead(2, kPath, "Low"), "level");
    QVariantList bin{qint64(0x80000002u), kPath, "LowBin", "b"};
    ctl.Invoke(dispid::savestringBIN, bin);
    EXPECT_EQ(ctl.RegistryRead(2, kPath, "LowBin"), "");
    QVariantList key{qint32(0x80000001u), "Software\\New"};
    ctl.Invoke(dispid::savekey, key);
    EXPECT_NE(ctl.RegOpenKey(qint32(0x80000001u), "Software\\New"), 0);
    QVariantList del{qint32(0x80000002u), kPath, "Low"};
    ctl.Invoke(dispid::deletestring, del);
    EXPECT_EQ(ctl.RegistryRead(2, kPath, "Low"), "");

    ctl.RegistryWrite(2, kPath, "Q", "query");
    const qint32 h = ctl.RegOpenKey(qint32(0x80000002u), kPath);
    EXPECT_EQ(call(dispid::RegQueryStringValue, {h, "Q"}).toString(), "query");
    EXPECT_TRUE(call(dispid::RegQueryStringValue, {h, "Missing"}).isNull());
    ctl.RegCloseKey(h);
    EXPECT_EQ(call(dispid::StripTerminator, {QString::fromUtf16(u"ab\0cd", 5)}).toString(), "ab");
}

TEST_F(InvokeTest, IniFamily)
{
    const QString ini = dir.path() + "/upd.dat";
    EXPECT_TRUE(call(dispid::EcrireINI, {ini, "Tunora", "Build", "78"}).toBool());
    EXPECT_EQ(call(dispid::LireINI, {ini, "Tunora", "Build"}).toString(), "78");
    EXPECT_EQ(call(dispid::LireINI, {ini, "Tunora", "None", "vdefaults"}).toString(), "");
    EXPECT_EQ(call(dispid::LireINI, {ini, "Tunora", "None", "dflt"}).toString(), "dflt");
    EXPECT_FALSE(call(dispid::EcrireINI, {dir.path() + "/none/x.ini", "S", "K", "v"}).toBool());
}

TEST_F(InvokeTest, FileFamily)
{
    QDir().mkpath(dir.path() + "/A/B");
    QFile(dir.path() + "/A/B/b.mp3").open(QIODevice::WriteOnly);
    EXPECT_TRUE(call(dispid::Exist, {dir.path() + "/A/B/*.MP3"}).toBool());
    EXPECT_FALSE(call(dispid::Exist, {dir.path() + "/A/B"}).toBool());

    QStringList events;
    QObject::connect(&ctl, &Dorvanectrl::FileSearchPath, [&](const QString& p) { events << "P " + p; });
    QObject::connect(&ctl, &Dorvanectrl::FileFound, [&](const QString& p) {
        events << "F " + p;
        QVariantList stop{true};
        ctl.Invoke(dispid::FindFilesStop, stop);
    });
    QVariantList find{"*.mp3", dir.path() + "/A/"};
    EXPECT_FALSE(call(dispid::FindFilesStop).toBool());
    ctl.Invoke(dispid::FindFiles, find);
    EXPECT_EQ(events, (QStringList{"P " + dir.path() + "/A/", "P " + dir.path() + "/A/B/", "F " + dir.path() + "/A/B/b.mp3"}));
    EXPECT_EQ(find.at(1).toString(), dir.path() + "/A/");
    EXPECT_TRUE(call(dispid::FindFilesStop).toBool());

    call(dispid::Associate, {"mp3"});
    EXPECT_EQ(call(dispid::Associate).toString(), "");
    EXPECT_FALSE(call(dispid::GetSysDir).toString().isEmpty());
    EXPECT_EQ(call(dispid::DossierSpecial, {0}).toString(), ctl.DossierSpecial(0));
}

TEST_F(InvokeTest, ShellFamily)
{
    Opened opened;
    QDesktopServices::setUrlHandler("http", &opened, "open");
    call(dispid::DefautExec, {0, "http://127.0.0.1/about"});
    call(dispid::OpenURL, {0, "http://127.0.0.1/burner", false});
    QDesktopServices::unsetUrlHandler("http");
    ASSERT_EQ(opened.urls.size(), 2);
    EXPECT_EQ(opened.urls.at(1).toString(), "http://127.0.0.1/burner");

    QWidget w;
    w.show();
    QVariantList pos{qint64(w.winId()), -1};
    EXPECT_NE(ctl.Invoke(dispid::vbSetWindowPos, pos).toInt(), 0);
    EXPECT_TRUE(w.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(pos.at(1).toInt(), -1);

    int shown = 0;
    auto old = Dorvanectrl::SetDialogRunner([&](QDialog&) {
        ++shown;
        return int(QDialog::Rejected);
    });
    QVariantList open{0, 0, dir.path(), "All|*.*|", "", "Open"};
    EXPECT_EQ(ctl.Invoke(dispid::OuvreFichier, open).toString(), "");
    QVariantList save{0, 0, dir.path(), "All|*.*|", "", "Save"};
    EXPECT_EQ(ctl.Invoke(dispid::SauveFichier, save).toString(), "");
    EXPECT_EQ(save.size(), 6);
    EXPECT_EQ(shown, 2);
    Dorvanectrl::SetDialogRunner(old);
}

TEST_F(InvokeTest, NetworkFamily)
{
    auto oldNames = dorvane::net::SetHostNameLookup([](int*) { return std::optional<QString>("box"); });
    auto oldAddr = dorvane::net::SetAddressLookup(
        [](const QString&) { return std::optional<QStringList>(QStringList{"10.0.0.1", "10.0.0.2", "10.0.0.3"}); });
    EXPECT_EQ(call(dispid::GetInternalIp).toString(), "10.0.0.2");
    EXPECT_EQ(call(dispid::GetExternalIp).toString(), "10.0.0.3");
    EXPECT_EQ(call(dispid::IsConnected).typeId(), QMetaType::Bool);
    dorvane::net::SetHostNameLookup(oldNames);
    dorvane::net::SetAddressLookup(oldAddr);
}

TEST_F(InvokeTest, CallErrors)
{
    EXPECT_EQ(errorOf(0x60030030, {}), 438);
    EXPECT_EQ(errorOf(1, {}), 438); // event ids are not callable
    EXPECT_EQ(errorOf(dispid::RegistryRead, {2, kPath}), 450);
    EXPECT_EQ(errorOf(dispid::LireINI, {"a", "b"}), 450);
    EXPECT_EQ(errorOf(dispid::GetSysDir, {1}), 450);
    EXPECT_EQ(errorOf(dispid::RegistryRead, {"two", kPath, "x"}), 13);
    EXPECT_EQ(errorOf(dispid::OpenURL, {0, "u", "maybe"}), 13);
    EXPECT_EQ(errorOf(dispid::RegistryRead, {1e12, kPath, "x"}), 6);
}

} // namespace

#include "InvokeTest.moc"
