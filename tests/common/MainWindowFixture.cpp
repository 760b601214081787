#include "tests/common/MainWindowFixture.h"

#include "folders/Choixrecoldir.h"
#include "app/AppAssembly.h"
#include "dorvane/Dorvanectrl.h"
#include "shell/core/Settings.h"

#include <QComboBox>
#include <QFile>
#include <QListWidget>
#include <QPushButton>

namespace tunora::test {

void MainWindowFixture::SetUp()
{
    env = std::make_unique<TempAppEnv>();
    messages = std::make_unique<ScriptedMessages>();
    dialogs = std::make_unique<ScriptedDialogs>();
    fileDialogs = std::make_unique<ScriptedFileDialogs>();
    // No test reaches an update server unless it asks for one.
    SetSetting("AutoUpd", "0");
    // An outside burner that does nothing, so start-up does not ask to install one.
    const QString burner = env->makeDir("burner");
    WriteAll(burner + "/copytocd.exe", "#!/bin/sh\nexit 0\n");
    QFile::setPermissions(burner + "/copytocd.exe", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    toolctl().RegistryWrite(1, "Software\\VSO", "CopyToDVD", burner + "/");
}

void MainWindowFixture::TearDown()
{
    window.reset();
    fileDialogs.reset();
    dialogs.reset();
    messages.reset();
    env.reset();
}

MainWindow* MainWindowFixture::start()
{
    window.reset(BuildMainWindow());
    window->startup();
    window->show();
    return window.get();
}

void MainWindowFixture::browseAlbum(QWidget* page, const QString& folder, const QString& format)
{
    dialogs->steps << [=](QDialog* d) {
        auto* c = qobject_cast<Choixrecoldir*>(d);
        ASSERT_TRUE(c);
        ASSERT_TRUE(c->setDirPath(folder));
        Child<QComboBox>(c, "format_cmb")->setCurrentText(format);
        Child<QPushButton>(c, "ok_btn")->click();
    };
    Child<QPushButton>(page, "browse_btn")->click();
}

QStringList MainWindowFixture::Shown(QWidget* page, const char* list)
{
    QStringList out;
    auto* l = Child<QListWidget>(page, list);
    for (int i = 0; i < l->count(); ++i)
        out << l->item(i)->text();
    return out;
}

} // namespace tunora::test
