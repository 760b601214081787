#include "tests/common/MainWindowFixture.h"

#include "app/AppAssembly.h"
#include "shell/core/Settings.h"

namespace tunora::test {

void MainWindowFixture::SetUp()
{
    env = std::make_unique<TempAppEnv>();
    messages = std::make_unique<ScriptedMessages>();
    dialogs = std::make_unique<ScriptedDialogs>();
    fileDialogs = std::make_unique<ScriptedFileDialogs>();
    // No test reaches an update server unless it asks for one.
    SetSetting("AutoUpd", "0");
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
