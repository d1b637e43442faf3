// The colour frame driven through its buttons with a scripted desktop: what
// each dialog is handed, what a choice or a cancel stores, and the order in
// which the swatch and the host learn of it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "control/control_fixture.h"

namespace varnelo {
namespace {

using ::testing::ElementsAre;

class ColourFontTest : public testing_control::ControlTest {
protected:
    ColourFontTest() {
        control.Format(ExcelFile);  // the frame is enabled for Excel and HTML only
        forget();
    }
    // Swatch paints and host notices, interleaved in the order they happen.
    std::vector<std::string> timeline;
    void watch(ui::Widget& swatch) {
        swatch.addObserver([this](const ui::Widget& w, std::string_view what) {
            if (what != "backColor") return;
            catchUp();
            timeline.push_back("paint " + w.fullName());
        });
        host.changes.clear();
        noticed = 0;
    }
    void catchUp() {
        for (; noticed < host.changes.size(); ++noticed) timeline.push_back("notify " + host.changes[noticed]);
    }
    size_t noticed = 0;
};

TEST_F(ColourFontTest, ColourButtonsStoreTheChoiceAndPaintTheSwatchInTheirColumnsOrder) {
    struct Case {
        bool header;
        int index;
        OLE_COLOR VarneloSettings::*field;
        const char* key;
        bool paintFirst;
    };
    const Case cases[] = {
        {true, 1, &VarneloSettings::HeaderBackColor, "HeaderBackColor", false},
        {true, 2, &VarneloSettings::HeaderForeColor, "HeaderForeColor", false},
        {false, 1, &VarneloSettings::BodyBackColor, "BodyBackColor", true},
        {false, 2, &VarneloSettings::BodyForeColor, "BodyForeColor", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key);
        ui::Label& swatch = c.header ? p().lblHeader(c.index) : p().lblBody(c.index);
        ui::CommandButton& button = c.header ? p().cmdHeader(c.index) : p().cmdBody(c.index);
        swatch.setBackColor(0x00123456);  // the dialog starts from the swatch, not the stored value
        timeline.clear();
        watch(swatch);
        desktop.colorAnswers.push_back(0x00ABCDEF);
        button.click();
        catchUp();
        ASSERT_FALSE(desktop.colorRequests.empty());
        EXPECT_EQ(desktop.colorRequests.back().initial, 0x00123456u);
        EXPECT_EQ(desktop.colorRequests.back().flags, 3);
        EXPECT_EQ(control.settings().*c.field, 0x00ABCDEFu);
        EXPECT_EQ(swatch.backColor(), 0x00ABCDEFu);
        const std::string paint = "paint " + swatch.fullName(), notice = std::string("notify ") + c.key;
        if (c.paintFirst) EXPECT_THAT(timeline, ElementsAre(paint, notice));
        else EXPECT_THAT(timeline, ElementsAre(notice, paint));

        // A cancel keeps the colour, and still stores it and tells the host.
        forget();
        button.click();
        EXPECT_EQ(control.settings().*c.field, 0x00ABCDEFu);
        EXPECT_THAT(host.changes, ElementsAre(c.key));
    }
    EXPECT_EQ(control.HeaderBackColor(), 0x00ABCDEFu);
    EXPECT_EQ(control.BodyForeColor(), 0x00ABCDEFu);
}

TEST_F(ColourFontTest, FontButtonsPresetTheDialogAndCopyTheChoiceIntoTheStoredFont) {
    const FontPtr header = control.HeaderFont(), body = control.BodyFont();
    ASSERT_TRUE(header && body);
    EXPECT_NE(header, body) << "each column has a font of its own";
    EXPECT_NE(header, host.font) << "and neither is the host's";
    header->name = "Tahoma";
    header->size = 9.3;
    header->italic = true;
    header->underline = true;

    Font chosen;
    chosen.name = "Arial";
    chosen.size = 10.5;
    chosen.bold = true;
    chosen.strikethrough = true;
    desktop.fontAnswers.push_back(chosen);
    p().cmdHeader(0).click();
    ASSERT_EQ(desktop.fontRequests.size(), 1u);
    const Font& preset = desktop.fontRequests[0].initial;
    EXPECT_EQ(desktop.fontRequests[0].flags, 65539);
    EXPECT_EQ(preset.name, "Tahoma");
    EXPECT_EQ(preset.size, static_cast<double>(9.3f)) << "four decimals, then single precision";
    EXPECT_TRUE(preset.italic && preset.underline);
    EXPECT_FALSE(preset.bold || preset.strikethrough);

    EXPECT_EQ(control.HeaderFont(), header) << "the same object, changed in place";
    EXPECT_EQ(header->name, "Arial");
    EXPECT_EQ(header->size, 10.5);
    EXPECT_TRUE(header->bold && header->strikethrough);
    EXPECT_FALSE(header->italic || header->underline);
    EXPECT_EQ(p().lblHeader(0).caption(), "Arial,10.5");
    EXPECT_EQ(p().lblHeader(0).toolTip(), "Arial,10.5");
    EXPECT_EQ(p().Label8.font()->name, "Arial");
    EXPECT_THAT(host.changes, ElementsAre("HeaderFont"));
    EXPECT_EQ(body->name, host.font->name) << "the body column is untouched";
    EXPECT_EQ(host.font->name, "Sans Serif") << "so is the host's font";

    // A cancel keeps the font (its size back to four decimals) and still notifies.
    forget();
    header->size = 9.3;
    p().cmdBody(0).click();
    p().cmdHeader(0).click();
    EXPECT_EQ(header->name, "Arial");
    EXPECT_EQ(header->size, 9.3);
    EXPECT_EQ(p().lblHeader(0).caption(), "Arial,9.3");
    EXPECT_EQ(p().Label9.font()->name, body->name);
    EXPECT_THAT(host.changes, ElementsAre("BodyFont", "HeaderFont"));
}

TEST_F(ColourFontTest, AFontTheHostSetsByReferenceFollowsTheDialog) {
    auto hostFont = makeFont("Verdana", 8);
    control.BodyFont(hostFont);
    Font chosen = *hostFont;
    chosen.size = 12;
    desktop.fontAnswers.push_back(chosen);
    p().cmdBody(0).click();
    EXPECT_EQ(hostFont->size, 12);
    EXPECT_EQ(p().lblBody(0).caption(), "Verdana,12");
}

TEST_F(ColourFontTest, ExcelDefaultAndTheFramesReach) {
    p().chkExcelDef.click();
    EXPECT_EQ(control.FontExcelDef(), 1);
    EXPECT_THAT(host.changes, ElementsAre("FontExcelDef"));

    // Other formats leave the frame and tab unavailable: the buttons do nothing.
    control.Format(Ascii);
    forget();
    p().cmdHeader(1).click();
    p().cmdBody(0).click();
    EXPECT_TRUE(desktop.calls.empty());
    EXPECT_FALSE(p().cmdHeader(1).reachable());
}

}  // namespace
}  // namespace varnelo
