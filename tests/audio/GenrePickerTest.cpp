// The genre picker, driven offscreen through the dialog seam.
#include "audio/GenrePicker.h"
#include "shell/core/Genres.h"
#include "shell/core/Shared.h"
#include "tests/common/TestSupport.h"

#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

using namespace tunora;
using namespace tunora::test;

namespace {

QStringList Shown(QListWidget* list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

void ClickItem(QListWidget* list, const QString& text, bool twice = false)
{
    const QList<QListWidgetItem*> found = list->findItems(text, Qt::MatchExactly);
    ASSERT_FALSE(found.isEmpty()) << text.toStdString();
    list->scrollToItem(found.first());
    const QPoint at = list->visualItemRect(found.first()).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    if (twice) {
        // As the window system delivers it: press, release, double click, release.
        QTest::mousePress(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, at);
    }
}

class GenrePickerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        GenreTable() = QStringList {"rock", "Zydeco", "abc", "Rock", "", "Zydeco", "Ärger", "Blues"};
        while (GenreTable().size() < kGenreCount)
            GenreTable() << QString();
    }
    void TearDown() override { GenreTable().clear(); }
    TempAppEnv env;
    ScriptedDialogs dialogs;
};

TEST_F(GenrePickerTest, ListsTheNamesInBinaryOrder)
{
    GenrePicker picker;
    EXPECT_EQ(picker.objectName(), "genre");
    auto* list = Child<QListWidget>(&picker, "List1");
    ASSERT_NE(list, nullptr);
    // Upper case before lower case, non-ASCII last, a repeated name twice.
    EXPECT_EQ(Shown(list), (QStringList {"Blues", "Rock", "Zydeco", "Zydeco", "abc", "rock", "Ärger"}));
    EXPECT_EQ(picker.windowTitle(), LanguageText(30));
    EXPECT_EQ(Child<QPushButton>(&picker, "ok_btn")->text(), LanguageText(65));
    EXPECT_EQ(Child<QPushButton>(&picker, "cancel_btn")->text(), LanguageText(32));
}

TEST_F(GenrePickerTest, OkOnlyWithASelection)
{
    QString genre = "Jazz";
    bool okAtStart = true, okAfterClick = false;
    dialogs.steps << [&](QDialog* d) {
        d->show();
        auto* list = Child<QListWidget>(d, "List1");
        auto* ok = Child<QPushButton>(d, "ok_btn");
        okAtStart = ok->isEnabled();
        QTest::mouseClick(ok, Qt::LeftButton); // does nothing while disabled
        ClickItem(list, "abc");
        okAfterClick = ok->isEnabled();
        list->clearSelection();
        EXPECT_FALSE(ok->isEnabled());
        ClickItem(list, "Rock");
        QTest::mouseClick(ok, Qt::LeftButton);
    };
    EXPECT_TRUE(ChooseGenre(nullptr, genre));
    EXPECT_FALSE(okAtStart);
    EXPECT_TRUE(okAfterClick);
    EXPECT_EQ(genre, "Rock");
    EXPECT_EQ(dialogs.seen, QStringList {"genre"});
}

TEST_F(GenrePickerTest, DoubleClickChoosesAndCancelChangesNothing)
{
    QString genre = "Jazz";
    dialogs.steps << [&](QDialog* d) {
        d->show();
        ClickItem(Child<QListWidget>(d, "List1"), "Zydeco", true);
    };
    EXPECT_TRUE(ChooseGenre(nullptr, genre));
    EXPECT_EQ(genre, "Zydeco");

    dialogs.steps << [&](QDialog* d) {
        d->show();
        ClickItem(Child<QListWidget>(d, "List1"), "abc");
        QTest::mouseClick(Child<QPushButton>(d, "cancel_btn"), Qt::LeftButton);
    };
    EXPECT_FALSE(ChooseGenre(nullptr, genre));
    EXPECT_EQ(genre, "Zydeco");
    // No step queued: the seam rejects, as closing the window would.
    EXPECT_FALSE(ChooseGenre(nullptr, genre));
    EXPECT_EQ(genre, "Zydeco");
}

} // namespace
