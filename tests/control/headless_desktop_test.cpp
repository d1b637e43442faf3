// HeadlessDesktop under the control: what a host without a screen reads back.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "control/control_internals.h"
#include "panel/panel.h"
#include "support/test_support.h"
#include "varnelo/memory_recordset.h"
#include "varnelo/testing.h"
#include "varnelo/varnelo.h"

namespace varnelo {
namespace {

using ::testing::ElementsAre, ::testing::FieldsAre, ::testing::IsEmpty;

// Messages keep text, title and icon only (never buttons or modality bits); every dialog is cancelled.
TEST(HeadlessDesktop, KeepsTheMessagesWithTheirIconsAndCancelsEveryDialog) {
    testing_support::TempDir dir;
    RecordingHost host;
    HeadlessDesktop desktop;
    Varnelo control(host, desktop);
    control.UserControl_Initialize(), control.UserControl_InitProperties(), control.UserControl_Show();
    control.DataSource(std::make_shared<MemoryRecordset>(std::vector<std::string>{"id"}, std::vector<int>{adtype::kInteger},
                                                         std::vector<std::vector<Variant>>{{Variant(int32_t(1))}}));
    control.OutputFile("");
    EXPECT_FALSE(control.Save());
    ASSERT_TRUE(panelOf(control).cmdFileSel.enabled());
    panelOf(control).cmdFileSel.click();
    desktop.messageBox("Disk is full.", "Varnelo", mb::kCritical | 1 | 4096);
    EXPECT_THAT(desktop.messages(),
                ElementsAre(FieldsAre("Please enter file name to proceed.", "Missing Configuration", mb::kExclamation),
                            FieldsAre("Disk is full.", "Varnelo", mb::kCritical)));
    EXPECT_EQ(control.OutputFile(), "") << "the file dialog was cancelled";
    EXPECT_THAT(desktop.reports(), IsEmpty());
    desktop.clear();
    control.OutputFile(dir.file("out.csv"));
    EXPECT_TRUE(control.Save());
    EXPECT_THAT(desktop.messages(), IsEmpty());
}

}  // namespace
}  // namespace varnelo
