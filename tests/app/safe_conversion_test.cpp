// SPDX-License-Identifier: GPL-3.0-or-later
// The window refuses to write over its input and names the files a folder job skipped.
#include <QAbstractButton>
#include <QLineEdit>
#include <filesystem>

#include "convert/field_catalog.h"
#include "gui_fixture.h"

namespace varistrum::test {
namespace {

using WindowSafetyTest = GuiTest;

TEST_F(WindowSafetyTest, TheLogChosenAsOutputIsRefused) {
    const std::string log = Simulate(dir, "single-gps", 31, 60);
    const std::string bytes = ReadFile(log);
    BrowseAndWait(log);
    SelectField(DataField);
    paths.push_back(QString::fromStdString(log));
    Click("OutBrowse");
    Click("btnConvert");
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(messages, std::vector<std::string>{"Error: The output file is the input file."});
    EXPECT_TRUE(ReadFile(log) == bytes);
}

TEST_F(WindowSafetyTest, AFolderJobNamesTheFilesItSkipped) {
    const std::string in = (dir.Path() / "in").string();
    std::filesystem::create_directories(in);
    std::filesystem::create_directories(dir.Path() / "out");
    std::filesystem::copy_file(Simulate(dir, "list", 32, 60), in + "/a.klf");
    WriteFile(in + "/b.klf", std::string("not a log"));
    Find<QAbstractButton>("rbMultipleFiles")->click();
    AnswerFolder(in);
    Click("btnInFolder");
    AnswerFolder(dir.File("out"));
    Click("btnOutFolder");
    SelectField(DataField);
    Click("btnConvert");
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(messages, (std::vector<std::string>{
                            "Information: Conversion Has Been Completed!",
                            "Information: Skipped b.klf: File is not from a QTX CW product."}));
    EXPECT_FALSE(ReadFile(dir.File("out/a.out")).empty());
    EXPECT_FALSE(std::filesystem::exists(dir.File("out/b.out")));
}

}  // namespace
}  // namespace varistrum::test
