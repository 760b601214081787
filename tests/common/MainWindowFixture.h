// The real main window with every page, started on a temporary app folder and settings file.
#pragma once

#include "shell/MainWindow.h"
#include "tests/common/TestSupport.h"

#include <memory>

namespace tunora::test {

class MainWindowFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Builds the window and runs start-up; settings written before this call are seen.
    MainWindow* start();
    // The album page's Browse, answered in the folder chooser with folder and format.
    void browseAlbum(QWidget* page, const QString& folder, const QString& format = "MP3");
    // The texts of the list named list on page, in their order.
    static QStringList Shown(QWidget* page, const char* list);

    std::unique_ptr<TempAppEnv> env;
    std::unique_ptr<ScriptedMessages> messages;
    std::unique_ptr<ScriptedDialogs> dialogs;
    std::unique_ptr<ScriptedFileDialogs> fileDialogs;
    std::unique_ptr<MainWindow> window;
};

} // namespace tunora::test
