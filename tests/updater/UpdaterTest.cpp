// The update check on the real main window against a real FTP server on 127.0.0.1.
#include "dorvane/Dorvanectrl.h"
#include "shell/core/Product.h"
#include "shell/core/Settings.h"
#include "shell/core/Shared.h"
#include "tests/common/ArgumentRecorder.h"
#include "tests/common/MainWindowFixture.h"
#include "tests/common/Mp3Fixtures.h"
#include "updater/Ferrix.h"
#include "updater/UpdWindow.h"
#include "updater/UpdateCore.h"
#include "updater/UpdateTexts.h"
#include "updater/Updater.h"

#include <QAbstractButton>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <optional>
#include <sched.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>


using namespace tunora;
using namespace tunora::test;

namespace {

// Makes a folder read-only for this process, root included: root writes through permissions,
// so it gets a read-only bind mount in a mount namespace of the test's own.
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(const QString& folder) : m_folder(QFile::encodeName(folder))
    {
        if (::geteuid() != 0) {
            m_ok = ::chmod(m_folder.constData(), 0555) == 0;
            return;
        }
        static const bool ownNamespace =
            ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
        m_mounted = ownNamespace && ::mount(m_folder.constData(), m_folder.constData(), nullptr, MS_BIND, nullptr) == 0;
        m_ok = m_mounted && ::mount(nullptr, m_folder.constData(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) == 0;
    }
    ~ReadOnlyFolder()
    {
        if (m_mounted)
            ::umount2(m_folder.constData(), MNT_DETACH);
        else
            ::chmod(m_folder.constData(), 0755);
    }
    bool ok() const { return m_ok; }

private:
    QByteArray m_folder;
    bool m_mounted = false, m_ok = false;
};

// A port on which nothing listens.
int closedPort()
{
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    const int port = s.serverPort();
    s.close();
    return port;
}

// How upd.dat.sig is made for a description.
enum class Sig { Good, OtherKey, Tampered, Missing };

class UpdaterTest : public MainWindowFixture {
protected:
    // The tests' signing key, made and used by the openssl program; the updater is handed its
    // public half. A second key stands for anyone else's.
    static void SetUpTestSuite()
    {
        keys = new QTemporaryDir;
        for (const char* name : {"project.pem", "other.pem"})
            ASSERT_EQ(RunProgram("openssl", {"genpkey", "-algorithm", "ed25519", "-out", keys->filePath(name)}), 0);
        QByteArray der;
        ASSERT_EQ(RunProgram("openssl", {"pkey", "-in", keys->filePath("project.pem"), "-pubout", "-outform", "DER"},
                             &der),
                  0);
        qputenv("TUNORA_UPDATE_PUBKEY", der.right(32).toHex());
    }
    static void TearDownTestSuite()
    {
        qunsetenv("TUNORA_UPDATE_PUBKEY");
        delete keys;
        keys = nullptr;
    }

    void SetUp() override
    {
        MainWindowFixture::SetUp();
        ftpRoot = env->makeDir("ftp");
        files = env->makeDir("ftp/veldmarkco/files");
        marker = env->root() + "/installer-ran";
        qputenv("TUNORA_UPDATE_HOST", "127.0.0.1");
        qputenv("TUNORA_UPDATE_PORT", QByteArray::number(closedPort()));
        m_oldEnd = Updater::SetEndProgramHandler([this] { ++programEnds; });
        // A program the updater starts detached stays this process's child, so its end shows.
        ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
    }

    // Every program started besides the FTP server has ended (a zombie, or reaped).
    bool startedProgramsEnded() const
    {
        const QByteArray self = QByteArray::number(::getpid());
        const QByteArray serverPid = server ? QByteArray::number(server->processId()) : QByteArray();
        for (const QString& pid : QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            QFile f("/proc/" + pid + "/stat");
            if (pid.toUtf8() == serverPid || !f.open(QIODevice::ReadOnly))
                continue;
            const QByteArray stat = f.readAll();
            const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' '); // state, ppid, ...
            if (fields.value(1) == self && fields.value(0) != "Z")
                return false;
        }
        return true;
    }

    void TearDown() override
    {
        Updater::SetEndProgramHandler(m_oldEnd);
        if (server) {
            server->kill();
            server->waitForFinished(5000);
            server.reset();
        }
        qunsetenv("TUNORA_UPDATE_HOST");
        qunsetenv("TUNORA_UPDATE_PORT");
        MainWindowFixture::TearDown();
    }

    // Starts the FTP server on a free port; rate throttles downloads (bytes per second).
    void startServer(int rate = 0)
    {
        server = std::make_unique<QProcess>();
        server->setStandardErrorFile(QProcess::nullDevice());
        QStringList args {SourceDir() + "/tests/updater/ftp_server.py", ftpRoot, env->root() + "/ftp.log"};
        if (rate)
            args << QString::number(rate);
        server->start(SystemPython(), args);
        ASSERT_TRUE(server->waitForStarted(10000));
        ASSERT_TRUE(WaitUntil([&] { return server->canReadLine(); }, 15000));
        const int port = server->readLine().trimmed().toInt();
        ASSERT_GT(port, 0);
        qputenv("TUNORA_UPDATE_PORT", QByteArray::number(port));
    }

    void describe(const QString& body, Sig sig = Sig::Good)
    {
        const QString dat = files + "/upd.dat", sigFile = files + "/upd.dat.sig";
        ASSERT_TRUE(WriteAll(dat, body.toUtf8()));
        QFile::remove(sigFile);
        if (sig == Sig::Missing)
            return;
        const QString key = keys->filePath(sig == Sig::OtherKey ? "other.pem" : "project.pem");
        ASSERT_EQ(RunProgram("openssl", {"pkeyutl", "-sign", "-rawin", "-inkey", key, "-in", dat, "-out", sigFile}), 0);
        if (sig == Sig::Tampered) {
            ASSERT_TRUE(WriteAll(dat, body.toUtf8().replace("build=", "build=1")));
        }
    }

    static QString sha256Line(const QByteArray& bytes)
    {
        return "SHA256=" + QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex() + "\r\n";
    }

    // Nothing was installed, and the check left nothing behind.
    void expectNothingRan(const QString& installerName)
    {
        EXPECT_FALSE(QFile::exists(env->appDir() + "/upd/" + installerName));
        EXPECT_FALSE(QFile::exists(localDescription()));
        EXPECT_FALSE(QFile::exists(localDescription() + ".sig"));
        ASSERT_TRUE(WaitUntil([&] { return startedProgramsEnded(); }, 10000));
        EXPECT_FALSE(QFile::exists(marker));
        EXPECT_EQ(programEnds, 0);
        EXPECT_TRUE(window->isEnabled());
        EXPECT_FALSE(IsBusy());
        EXPECT_EQ(updater()->updWindow(), nullptr);
    }

    // An installer that leaves a marker when it runs.
    QByteArray installerScript(const QString& folder = {}) const
    {
        Q_UNUSED(folder);
        return "#!/bin/sh\necho ran > '" + marker.toUtf8() + "'\n";
    }

    Updater* updater() const { return window->findChild<Updater*>(); }
    QString localDescription() const { return env->appDir() + "/upd/upd.dat"; }

    // The about page's button.
    void checkFromAbout()
    {
        window->switchPage(PageId::About);
        if (auto* b = Child<QAbstractButton>(window.get(), "about_upd_btn"))
            b->click();
    }

    QString ftpLog() const { return QString::fromUtf8(ReadAll(env->root() + "/ftp.log")); }

    std::unique_ptr<QProcess> server;
    QString ftpRoot, files, marker;
    int programEnds = 0;

private:
    Updater::EndHandler m_oldEnd;
    static QTemporaryDir* keys;
};

QTemporaryDir* UpdaterTest::keys = nullptr;

TEST_F(UpdaterTest, EqualBuildFromAboutPageSaysUpToDate)
{
    startServer();
    describe("[Tunora]\r\nbuild=77\r\nFileName=setup.sh\r\nPath=/veldmarkco/files\r\n");
    start();
    messages->texts.clear();
    bool buttonOffDuringCheck = false;
    QObject::connect(updater()->ferrix(), &Ferrix::State, window.get(), [&] {
        buttonOffDuringCheck = !Child<QWidget>(window.get(), "about_upd_btn")->isEnabledTo(window.get());
    });
    checkFromAbout();
    EXPECT_TRUE(buttonOffDuringCheck);
    EXPECT_EQ(messages->texts, QStringList {UpToDateText()});
    EXPECT_TRUE(UpToDateText().contains("4.0.77") || !LanguageText(59).contains("%%2%%.%%3%%.%%4%%"));
    EXPECT_FALSE(QFile::exists(localDescription()));
    EXPECT_EQ(programEnds, 0);
    EXPECT_FALSE(updater()->isChecking());
    EXPECT_TRUE(Child<QWidget>(window.get(), "about_upd_btn")->isEnabled());
    // The program logs in as "anonymous" with its own password.
    EXPECT_TRUE(ftpLog().contains("anonymous zuvo_vanta")) << ftpLog().toStdString();
}

TEST_F(UpdaterTest, EqualBuildAtStartUpSaysNothing)
{
    startServer();
    describe("[Tunora]\r\nbuild=77\r\n");
    SetSetting("AutoUpd", "1");
    start();
    messages->texts.clear();
    // The start-up timer runs the silent check once.
    ASSERT_TRUE(WaitUntil([&] { return ftpLog().contains("anonymous"); }, 15000));
    ASSERT_TRUE(WaitUntil([&] { return !updater()->isChecking(); }, 15000));
    EXPECT_TRUE(messages->texts.isEmpty()) << messages->texts.join('|').toStdString();
    EXPECT_FALSE(QFile::exists(localDescription()));
}

TEST_F(UpdaterTest, ConnectionTestOnlyWhenBypassIsZero)
{
    startServer();
    describe("[Tunora]\r\nbuild=77\r\n");
    SetSetting("Bypass", "0");
    start();
    messages->texts.clear();
    checkFromAbout();
    // Whichever state this machine's network is in, the check follows it.
    if (toolctl().IsConnected()) {
        EXPECT_EQ(messages->texts, QStringList {UpToDateText()});
    } else {
        EXPECT_EQ(messages->texts, QStringList {LanguageText(55)});
        EXPECT_FALSE(ftpLog().contains("anonymous"));
        messages->texts.clear();
        window->checkForUpdate(true); // silent at start-up
        EXPECT_TRUE(messages->texts.isEmpty());
    }
    EXPECT_TRUE(Child<QWidget>(window.get(), "about_upd_btn")->isEnabled());
    EXPECT_FALSE(updater()->isChecking());

    // "1", like an absent value, skips the test.
    SetSetting("Bypass", "1");
    messages->texts.clear();
    checkFromAbout();
    EXPECT_EQ(messages->texts, QStringList {UpToDateText()});
}

TEST_F(UpdaterTest, NoProgramSectionMeansNoUpdate)
{
    startServer();
    describe("[Other]\r\nbuild=999\r\nFileName=setup.sh\r\nPath=/veldmarkco/files\r\n");
    start();
    messages->texts.clear();
    messages->kinds.clear();
    checkFromAbout();
    EXPECT_EQ(messages->texts, QStringList {UpToDateText()});
    EXPECT_EQ(messages->kinds.count(MsgButtons::YesNo), 0);
}

TEST_F(UpdaterTest, NewerBuildIsDownloadedAndStarted)
{
    startServer();
    ASSERT_TRUE(WriteAll(files + "/tunora-78.sh", installerScript()));
    describe("[Tunora]\r\nbuild= 78 \r\nFileName=tunora-78.sh\r\nPath=/veldmarkco/files\r\n" +
             sha256Line(installerScript()));
    start();
    // An installer of the same name left from an earlier attempt (and not executable).
    ASSERT_TRUE(WriteAll(env->appDir() + "/upd/tunora-78.sh", "stale"));
    messages->texts.clear();
    messages->answers = {MsgAnswer::Yes};
    QStringList fileLabels;
    bool mainDisabled = false, busyDuring = false;
    QObject::connect(updater(), &Updater::downloadStarting, [&](UpdWindow* w) {
        fileLabels << Child<QLabel>(w, "file_lbl")->text();
        mainDisabled = !window->isEnabled();
        busyDuring = IsBusy();
        EXPECT_FALSE(QFile::exists(env->appDir() + "/upd/tunora-78.sh"));
    });
    checkFromAbout();

    EXPECT_EQ(messages->texts, (QStringList {ProductText(56), ProductText(57)}));
    EXPECT_EQ(fileLabels, QStringList {"File : tunora-78.sh"});
    EXPECT_TRUE(mainDisabled);
    EXPECT_TRUE(busyDuring);
    const QString installer = env->appDir() + "/upd/tunora-78.sh";
    EXPECT_EQ(ReadAll(installer), installerScript());
    EXPECT_TRUE(QFileInfo(installer).isExecutable());
    ASSERT_TRUE(WaitUntil([&] { return QFile::exists(marker); }, 10000));
    EXPECT_EQ(programEnds, 1);
    EXPECT_FALSE(IsBusy());
    EXPECT_FALSE(QFile::exists(localDescription()));
    EXPECT_EQ(updater()->updWindow(), nullptr);
}

TEST_F(UpdaterTest, MatchingChecksumIsAccepted)
{
    startServer();
    ASSERT_TRUE(WriteAll(files + "/i.sh", installerScript()));
    const QByteArray sum = QCryptographicHash::hash(installerScript(), QCryptographicHash::Sha256).toHex().toUpper();
    describe("[Tunora]\r\nbuild=80\r\nFileName=i.sh\r\nPath=veldmarkco/files\r\nSHA256=" + QString::fromLatin1(sum) +
             "\r\n");
    start();
    messages->answers = {MsgAnswer::Yes};
    checkFromAbout();
    ASSERT_TRUE(WaitUntil([&] { return QFile::exists(marker); }, 10000));
    EXPECT_EQ(programEnds, 1);
}

TEST_F(UpdaterTest, AnUntrustedDescriptionOrInstallerRunsNothing)
{
    startServer();
    ASSERT_TRUE(WriteAll(files + "/i.sh", installerScript()));
    const QString head = "[Tunora]\r\nbuild=80\r\nFileName=i.sh\r\nPath=/veldmarkco/files\r\n";
    const QString goodSum = sha256Line(installerScript());
    struct Row {
        const char* what;
        Sig sig;
        QString sumLine;
        QStringList texts; // asked from the about page
    };
    const QList<Row> rows = {
        {"no signature", Sig::Missing, goodSum, {updtext::SignatureMissing()}},
        {"signed with another key", Sig::OtherKey, goodSum, {updtext::SignatureInvalid()}},
        {"changed after signing", Sig::Tampered, goodSum, {updtext::SignatureInvalid()}},
        {"no checksum", Sig::Good, "", {updtext::ChecksumMissing()}},
        {"checksum too short", Sig::Good, "SHA256=abc123\r\n", {updtext::ChecksumMissing()}},
        {"checksum of another file", Sig::Good, sha256Line("another installer"),
         {ProductText(56), updtext::ChecksumMismatch()}},
    };
    start();
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        describe(head + r.sumLine, r.sig);
        messages->texts.clear();
        messages->answers = {MsgAnswer::Yes};
        checkFromAbout();
        EXPECT_EQ(messages->texts, r.texts);
        expectNothingRan("i.sh");
        if (r.texts.size() == 1) {
            // After start-up the same refusal goes to the status line.
            messages->texts.clear();
            window->checkForUpdate(true);
            EXPECT_TRUE(messages->texts.isEmpty());
            EXPECT_EQ(Child<QLabel>(window.get(), "info_lbl")->text(), r.texts.first());
        }
    }
}

// A copy installed from a package (its app folder read-only, or writable, as for root, but
// holding the package's marker) is told about a newer build and offered the web site, and
// never downloads or runs an installer; its downloads go to the cache folder.
TEST_F(UpdaterTest, APackageCopyOffersTheWebSiteAndDownloadsNothing)
{
    const QString browser = env->makeDir("browser") + "/open";
    ASSERT_TRUE(WriteArgumentRecorder(browser, env->root() + "/opened.txt"));
    toolctl().RegistryWrite(0, "htmlfile\\shell\\open\\command", "", browser);
    const QString cache = env->makeDir("cache");
    qputenv("XDG_CACHE_HOME", QFile::encodeName(cache));
    startServer();
    ASSERT_TRUE(WriteAll(files + "/i.sh", installerScript()));
    start();
    const QString packageMarker = env->appDir() + "/" + kPackageMarkerName;
    for (const bool marked : {true, false}) {
        SCOPED_TRACE(marked ? "marker in a writable app folder" : "read-only app folder");
        std::optional<ReadOnlyFolder> readOnly;
        if (marked) {
            ASSERT_TRUE(WriteAll(packageMarker, ""));
        } else {
            ASSERT_TRUE(QFile::remove(packageMarker));
            readOnly.emplace(env->appDir());
            if (!readOnly->ok())
                GTEST_SKIP() << "cannot make a folder read-only for root here";
        }
        QFile::remove(env->root() + "/opened.txt");
        // No signature and no checksum: nothing from the description is run here.
        describe("[Tunora]\r\nbuild=78\r\nFileName=i.sh\r\nPath=/veldmarkco/files\r\n", Sig::Missing);
        messages->texts.clear();
        messages->answers = {MsgAnswer::Yes};
        checkFromAbout();
        EXPECT_EQ(messages->texts, QStringList {updtext::NewerBuildForPackage(78)});
        EXPECT_EQ(WaitForFile(env->root() + "/opened.txt"), QByteArray(product::kWebSite) + "\n");
        // The description was fetched into the cache folder, and removed from there.
        EXPECT_TRUE(QFileInfo(cache + "/tunora/upd").isDir());
        EXPECT_TRUE(QDir(cache + "/tunora/upd").isEmpty());
        EXPECT_FALSE(QFileInfo::exists(env->appDir() + "/upd"));
        expectNothingRan("i.sh");

        describe("[Tunora]\r\nbuild=77\r\n", Sig::Missing);
        messages->texts.clear();
        checkFromAbout();
        EXPECT_EQ(messages->texts, QStringList {UpToDateText()});
    }
    qunsetenv("XDG_CACHE_HOME");
}

TEST_F(UpdaterTest, ServerDownReportsAndLeavesNoDescription)
{
    start();
    // A description left by an earlier run must not survive a failed check either.
    ASSERT_TRUE(WriteAll(localDescription(), "[Tunora]\r\nbuild=99\r\n"));
    messages->texts.clear();
    checkFromAbout();
    EXPECT_EQ(messages->texts, QStringList {LanguageText(60)});
    EXPECT_FALSE(QFile::exists(localDescription()));
    EXPECT_FALSE(updater()->isChecking());
    EXPECT_TRUE(window->isEnabled());

    // The check after start-up reports it in the status line only.
    messages->texts.clear();
    window->checkForUpdate(true);
    EXPECT_TRUE(messages->texts.isEmpty());
    EXPECT_EQ(Child<QLabel>(window.get(), "info_lbl")->text(), LanguageText(60));
}

TEST_F(UpdaterTest, InstallerNameLeavingTheFolderIsRefused)
{
    startServer();
    ASSERT_TRUE(WriteAll(ftpRoot + "/veldmarkco/evil", installerScript()));
    describe("[Tunora]\r\nbuild=78\r\nFileName=../evil\r\nPath=/veldmarkco/files\r\n");
    start();
    messages->texts.clear();
    messages->answers = {MsgAnswer::Yes};
    checkFromAbout();
    EXPECT_EQ(messages->texts, QStringList {LanguageText(60)});
    EXPECT_FALSE(QFile::exists(env->appDir() + "/evil"));
    EXPECT_FALSE(QFile::exists(localDescription()));
    ASSERT_TRUE(WaitUntil([&] { return startedProgramsEnded(); }, 10000));
    EXPECT_FALSE(QFile::exists(marker));
    EXPECT_EQ(programEnds, 0);

    describe("[Tunora]\r\nbuild=78\r\nFileName=\r\nPath=/veldmarkco/files\r\n");
    messages->texts.clear();
    checkFromAbout();
    EXPECT_EQ(messages->texts, QStringList {LanguageText(60)});
}

TEST_F(UpdaterTest, DecliningTheQuestionDownloadsNothing)
{
    startServer();
    ASSERT_TRUE(WriteAll(files + "/i.sh", installerScript()));
    describe("[Tunora]\r\nbuild=78\r\nFileName=i.sh\r\nPath=/veldmarkco/files\r\n" + sha256Line(installerScript()));
    start();
    messages->texts.clear();
    messages->answers = {MsgAnswer::No};
    checkFromAbout();
    EXPECT_EQ(messages->texts, QStringList {ProductText(56)});
    EXPECT_FALSE(QFile::exists(env->appDir() + "/upd/i.sh"));
    EXPECT_FALSE(QFile::exists(localDescription()));
}

// A download slow enough to be interrupted: 600 KiB at 200 KiB/s.
class SlowUpdaterTest : public UpdaterTest {
protected:
    void prepareSlowInstaller()
    {
        startServer(200 * 1024);
        QByteArray body = installerScript() + "exit 0\n";
        body += QByteArray(600 * 1024 - body.size(), '#');
        ASSERT_TRUE(WriteAll(files + "/big.sh", body));
        describe("[Tunora]\r\nbuild=78\r\nFileName=big.sh\r\nPath=/veldmarkco/files\r\n" + sha256Line(body));
    }
};

TEST_F(SlowUpdaterTest, NoInTheCloseQuestionLetsTheDownloadGoOn)
{
    prepareSlowInstaller();
    start();
    messages->texts.clear();
    messages->answers = {MsgAnswer::Yes, MsgAnswer::No};
    QString progressSeen, speedSeen;
    int percentSeen = -1;
    bool barShown = false;
    QObject::connect(updater(), &Updater::downloadStarting, [&](UpdWindow* w) {
        QObject::connect(w->ferrix(), &Ferrix::Progress, w, [&, w](int percent, double) {
            if (percent < 20 || !progressSeen.isEmpty())
                return;
            percentSeen = percent;
            progressSeen = Child<QLabel>(w, "prog_lbl")->text();
            speedSeen = Child<QLabel>(w, "speed_lbl")->text();
            barShown = Child<QWidget>(w, "prog_bar")->isVisible();
            w->close(); // the user's close box; the scripted answer is No
            EXPECT_TRUE(w->isVisible());
        });
    });
    checkFromAbout();
    EXPECT_EQ(messages->texts, (QStringList {ProductText(56), "This will cancel the update. Continue anyway ?",
                                            ProductText(57)}));
    EXPECT_EQ(progressSeen, LanguageText(27) + " " + DisplaySize(qint64(600) * 1024 * percentSeen / 100) + " of 600 " +
                                LanguageText(163) + " [" + QString::number(percentSeen) + "%]");
    EXPECT_TRUE(speedSeen.startsWith(LanguageText(161) + " ")) << speedSeen.toStdString();
    EXPECT_TRUE(speedSeen.endsWith("/s"));
    EXPECT_TRUE(barShown);
    ASSERT_TRUE(WaitUntil([&] { return QFile::exists(marker); }, 10000));
    EXPECT_EQ(programEnds, 1);
}

TEST_F(SlowUpdaterTest, YesInTheCloseQuestionCancelsTheDownload)
{
    prepareSlowInstaller();
    start();
    messages->texts.clear();
    messages->answers = {MsgAnswer::Yes, MsgAnswer::Yes};
    QObject::connect(updater(), &Updater::downloadStarting, [&](UpdWindow* w) {
        QObject::connect(w->ferrix(), &Ferrix::Progress, w, [w](int percent, double) {
            if (percent >= 10)
                w->close();
        });
    });
    checkFromAbout();
    EXPECT_EQ(messages->texts, (QStringList {ProductText(56), "This will cancel the update. Continue anyway ?",
                                            LanguageText(58)}));
    EXPECT_FALSE(QFile::exists(env->appDir() + "/upd/big.sh"));
    EXPECT_TRUE(QDir(env->appDir() + "/upd").entryList({".big.sh.tmp-*"}, QDir::Files | QDir::Hidden).isEmpty());
    EXPECT_FALSE(QFile::exists(localDescription()));
    EXPECT_TRUE(window->isEnabled());
    EXPECT_FALSE(IsBusy());
    EXPECT_EQ(updater()->updWindow(), nullptr);
    EXPECT_EQ(programEnds, 0);
    ASSERT_TRUE(WaitUntil([&] { return startedProgramsEnded(); }, 10000));
    EXPECT_FALSE(QFile::exists(marker));
}

TEST_F(SlowUpdaterTest, ClosingTheMainWindowEndsTheDescriptionDownloadQuietly)
{
    // upd.dat itself is large and slow here, so the close arrives mid-transfer.
    startServer(20 * 1024);
    ASSERT_TRUE(WriteAll(files + "/upd.dat", "[Tunora]\r\nbuild=77\r\n" + QByteArray(60 * 1024, ';')));
    start();
    messages->texts.clear();
    QObject::connect(updater()->ferrix(), &Ferrix::Progress, window.get(), [this](int percent, double) {
        if (percent >= 5)
            window->close();
    });
    checkFromAbout();
    EXPECT_TRUE(messages->texts.isEmpty()) << messages->texts.join('|').toStdString();
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(QFile::exists(localDescription()));
}

} // namespace
