// The date format composed from the pick-only lists and the time part, with
// the notifications one "OK" sends.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "control/control_fixture.h"

namespace varnelo {
namespace {

using ::testing::ElementsAre;

class DateFormatTest : public testing_control::ControlTest {
protected:
    DateFormatTest() {
        control.Format(ExcelFile);  // the frame is enabled for Excel only
        forget();
    }
    // Picks entry i of list n, -1 for none (the program's way back to empty).
    void pick(int n, int i) {
        if (i < 0) p().cmbDate(n).setListIndex(-1);
        else p().cmbDate(n).pick(i);
    }
};

TEST_F(DateFormatTest, OkComposesDateAndTimeParts) {
    struct Case { int order, day, month, year, sep, includeTime, timeButton; const char* date; const char* time; };
    const Case cases[] = {
        {0, 1, 1, 1, 0, 1, 1, "dd/MM/yyyy", " HH:mm:ss"},
        {2, 1, 1, 1, 1, 0, 1, "yyyy-MM-dd", ""},
        {1, 0, 2, 0, 2, 1, 0, "MMM.d.yy", " hh:mm:ss AMPM"},
        {0, 0, 3, 0, 0, 2, 1, "d/Month/yy", ""},                   // grey: no time
        {-1, 1, 1, 1, 0, 0, -1, "", ""},                           // no order: no date
        {0, -1, -1, -1, 0, 1, -1, "//", " hh:mm:ss AMPM"},       // neither time button: AM/PM
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.date) + c.time);
        pick(0, c.order);
        pick(1, c.day);
        pick(2, c.month);
        pick(3, c.year);
        pick(4, c.sep);
        p().chkTime(0).setValue(c.includeTime);
        if (c.timeButton < 0) {
            p().optTime(0).setValue(false);
            p().optTime(1).setValue(false);
        } else {
            p().optTime(c.timeButton).click();
        }
        p().lblDateFormat.setCaption("(before)");
        forget();
        p().cmdOK1.click();
        EXPECT_EQ(control.settings().DateTemp, c.date);
        EXPECT_EQ(control.settings().TimeTemp, c.time);
        EXPECT_EQ(control.DateFormat(), std::string(c.date) + c.time);
        EXPECT_EQ(p().lblDateFormat.caption(), std::string(c.date) + c.time);
        EXPECT_THAT(host.changes, ElementsAre("DateTemp", "TimeTemp", "DateFormat", "DateFormat"));
    }
}

TEST_F(DateFormatTest, NothingPickedGivesEmptyStrings) {
    p().cmdOK1.click();
    EXPECT_EQ(control.DateFormat(), "");
    EXPECT_EQ(control.settings().DateTemp, "");
    EXPECT_EQ(control.settings().TimeTemp, "");
    p().cmdCancel1.click();
    EXPECT_EQ(control.DateFormat(), "") << "Cancel does nothing";
}

TEST_F(DateFormatTest, ListsArePickOnly) {
    ui::ComboBox& month = p().cmbDate(2);
    EXPECT_EQ(month.text(), "") << "nothing preselected";
    month.keyPress('x');
    EXPECT_EQ(month.text(), "");
    month.pick(1);
    month.keyPress('Q');
    EXPECT_EQ(month.text(), "MM");
    month.keyDown(40);
    EXPECT_EQ(month.text(), "MMM");

    control.Format(Ascii);  // the date frame is out of reach
    month.pick(0);
    p().cmdOK1.click();
    EXPECT_EQ(month.text(), "MMM");
    EXPECT_EQ(control.DateFormat(), "dd/MM/yyyy HH:mm:ss");
}

}  // namespace
}  // namespace varnelo
