#include "tests/common/MainWindowFixture.h"

#include <QToolButton>

using namespace tunora;
using namespace tunora::test;

class MainWindowTest : public MainWindowFixture {};

TEST_F(MainWindowTest, SwitchesPages)
{
    MainWindow* w = start();
    ASSERT_TRUE(w);
    auto* b3 = Child<QToolButton>(w, "brand_btn_3");
    b3->click();
    EXPECT_TRUE(Child<QWidget>(w, "workfrm_3")->isVisible());
    EXPECT_FALSE(Child<QWidget>(w, "workfrm_0")->isVisible());
}
