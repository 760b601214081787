#include "tests/common/MainWindowFixture.h"

#include "app/AppAssembly.h"
#include "dorvane/Dorvanectrl.h"
#include "shell/core/Settings.h"

#include <QFile>

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

} // namespace tunora::test
