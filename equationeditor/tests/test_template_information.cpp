// The template popup's information file: read whole whatever its length, cut
// at a NUL, refused when missing or empty with the control left as it was;
// and the file the installation ships, whose example models the model
// language's own parser reads clean.
#include "equationeditor/template_popup.h"

#include "common/startup.h"
#include "modelproc/model_records.h"
#include "platform/core/message_sink.h"
#include "platform/testing/temp_dir.h"
#include "template_test_support.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

using Lines = std::vector<std::string>;

const Lines CouldNotOpen{"Information file for template popup could not be opened.",
                         "Check the help path in the General Properties,", "or consult your Orvanta manager."};

class TemplateInformation : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetStartup();
        Startup().InstallDirectory = dir.path();
    }
    void TearDown() override { ResetStartup(); }

    int load()
    {
        return loadTemplateText([this](std::string_view text) { shown = std::string(text); });
    }

    testsupport::TempDir dir;
    std::string shown = "what the control held";
    platform::ScriptedMessageSink boxes;
    platform::ScopedMessageSink scopedBoxes{boxes};
};

TEST_F(TemplateInformation, TheFileIsFoundUnderHelpInTheInstallationDirectory)
{
    EXPECT_EQ(templateInformationPath(), dir.path() + "/help/e9keldor.inf");
}

TEST_F(TemplateInformation, FilesLongerThanSixtyFourKilobytesAreReadWhole)
{
    // Lengths around the old 16-bit count: each must come back byte for byte.
    for (std::size_t length : {std::size_t(1), std::size_t(65535), std::size_t(65536), std::size_t(65537),
                               std::size_t(200000)}) {
        SCOPED_TRACE(length);
        std::string text;
        for (std::size_t line = 0; text.size() < length; ++line)
            text += "line " + std::to_string(line) + " of the description\r\n";
        text.resize(length - 1);
        text += '$';
        dir.write("help/e9keldor.inf", text);
        boxes.clear();
        ASSERT_EQ(load(), 1);
        EXPECT_EQ(shown.size(), length);
        EXPECT_EQ(shown, text);
        EXPECT_TRUE(boxes.transcript().empty());
    }
}

TEST_F(TemplateInformation, ANulByteEndsTheText)
{
    dir.write("help/e9keldor.inf", std::string("shown\r\n\0not shown", 18));
    ASSERT_EQ(load(), 1);
    EXPECT_EQ(shown, "shown\r\n");
}

TEST_F(TemplateInformation, AMissingOrEmptyFileIsReportedAndTheControlKeepsItsText)
{
    EXPECT_EQ(load(), 0);
    dir.write("help/e9keldor.inf", "");
    EXPECT_EQ(load(), 0);
    dir.mkdir("help/e9keldor.inf.d");
    EXPECT_FALSE(readTemplateInformation(dir.path() + "/help/e9keldor.inf.d"));
    EXPECT_EQ(shown, "what the control held");
    ASSERT_EQ(boxes.transcript().size(), 2u);
    for (const auto& box : boxes.transcript())
        EXPECT_EQ(box.lines, CouldNotOpen);
}

TEST_F(TemplateInformation, EachLoadReadsTheFileAgain)
{
    dir.write("help/e9keldor.inf", "first text\r\n");
    ASSERT_EQ(load(), 1);
    EXPECT_EQ(shown, "first text\r\n");
    dir.write("help/e9keldor.inf", "second text\r\n");
    ASSERT_EQ(load(), 1);
    EXPECT_EQ(shown, "second text\r\n");
}

/// The example models of the description from its graph models on: blocks
/// indented by four blanks that begin with a heading and end at an empty line,
/// without their indent.
std::vector<std::string> exampleModels(const std::string& text)
{
    std::vector<std::string> models;
    std::size_t examples = text.find("7. GRAPH MODELS");
    std::istringstream in(examples == std::string::npos ? "" : text.substr(examples));
    std::string line, model;
    bool inside = false;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!inside && (line.rfind("    class ", 0) == 0 || line.rfind("    bond graph ", 0) == 0))
            inside = true;
        if (inside && line.empty()) {
            models.push_back(model);
            model.clear();
            inside = false;
        } else if (inside) {
            model += line.substr(line.size() >= 4 ? 4 : line.size()) + "\n";
        }
    }
    if (inside)
        models.push_back(model);
    return models;
}

TEST(ShippedTemplateInformation, IsReadWholeAndItsExampleModelsParseClean)
{
    const std::string path = std::string(EQUATIONEDITOR_SOURCE_DIR) + "/e9keldor.inf";
    std::optional<std::string> text = readTemplateInformation(path);
    ASSERT_TRUE(text);
    EXPECT_EQ(text->size(), testsupport::readText(path).size());
    EXPECT_EQ(text->find('\0'), std::string::npos);

    std::vector<std::string> models = exampleModels(*text);
    ASSERT_GE(models.size(), 6u);
    int mainModels = 0;
    for (const std::string& model : models) {
        SCOPED_TRACE(model);
        ClassRec* cls = nullptr;
        EXPECT_EQ(templatetest::parseModelText(model, 3, &cls), Lines{});
        EXPECT_NE(cls, nullptr);
        if (cls) {
            mainModels += ttcount_ports(cls) + ttcount_ios(cls, 3) + ttcount_ios(cls, 4) == 0;
            ttfree_class(cls);
        }
    }
    EXPECT_EQ(mainModels, 2); // the pendulum and the graph model
}

} // namespace
