// Damaged graph model files opened through the real main window, by the chooser's form and by
// -model at start-up: what the model processor's reader refuses, the editor refuses by a box that
// names the file, the line and the token, and the model shown stays; what the processor's reader
// takes the editor opens.
#include "grapheditor/program/tests/main_window_fixture.h"

#include "common/name_chooser.h"
#include "grapheditor/tests/damaged_graph_files.h"
#include "platform/testing/qt_support.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPushButton>

#include <filesystem>

namespace {

using editortest::MainWindow;
using testsupport::findControl;

/// A change of the bundled mass-spring-damper and the third line of the box that refuses it, or
/// empty when the editor opens it.
struct Damage {
    const char* what;
    const char* from;
    std::string to;
    std::string refusal;
};

std::string replaced(std::string text, const std::string& from, const std::string& to)
{
    const std::size_t at = text.find(from);
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

const std::vector<Damage>& damages()
{
    static const std::vector<Damage> table = {
        {"a version beyond one digit", "msd version 1", "msd version 2147483647",
         "the version of model msd is not one digit. in line 3: 2147483647"},
        {"a type's version beyond one digit", "r;1 d", "r;2147483647 d",
         "the version of model r is not one digit. in line 10: 2147483647"},
        {"text after a NUL", "", std::string("\0garbage\n", 9),
         "the file goes on after its NUL byte. in line 16: garbage"},
        {"a NUL before the bonds", "connections", std::string("\0connections", 12),
         "the file goes on after its NUL byte. in line 11: connections"},
        {"a size below 0", " m 160", " m[-1] 160", "dimension (-1) must be >= 0. in line 9: <NL>"},
        {"a size beyond what a quantity may have", " m 160", " m[2000000] 160",
         "submodel m[2000000] has 2000000 elements, more than the 1048576 one quantity may have. in line 9: <NL>"},
        {"an argument beyond 32 bits", "v(4)", "v(65536 * 65536)",
         "integer overflow in integer expression. in line 8: <NL>"},
        {"a model name of eight characters", "bond graph msd ", "bond graph msdabcde ",
         "the model name msdabcde is longer than the supported 7 characters. in line 3: msdabcde"},
        {"a type name of eight characters", "r;1 d", "resistor;1 d",
         "the submodel type name resistor is longer than the supported 7 characters. in line 10: resistor"},
        // The processor's reader takes these: the heading's version and the sizes that the type of a
        // submodel decides are the processing's to judge, and a NUL may end the text.
        {"a version of 0", "msd version 1", "msd version 0", ""},
        {"a type's version of 0", "r;1 d", "r;0 d", ""},
        {"a junction of -5 bonds", "v(4)", "v(-5)", ""},
        {"a junction of no bonds", "v(4)", "v(0)", ""},
        {"a NUL at the end", "", std::string("\0\n", 2), ""},
    };
    return table;
}

/// The damaged text: `to` in place of the first `from`, or after the text when `from` is empty.
std::string damaged(const std::string& text, const Damage& damage)
{
    return *damage.from ? replaced(text, damage.from, damage.to) : text + damage.to;
}

class DamagedModelFiles : public MainWindow {
protected:
    /// File > Open, the name typed into the chooser's form and confirmed.
    void openThroughTheChooser(const std::string& name)
    {
        QWidget* chooser = openChooser();
        ASSERT_NE(chooser, nullptr);
        findControl<QLineEdit>(*chooser, ID_CHOOSER_NAME)->setText(QString::fromStdString(name));
        findControl<QPushButton>(*chooser, ID_CHOOSER_OK)->click();
    }

    std::string msd = testsupport::readText(std::string(ORVANTA_MODELS_DIR) + "/msd1.mg0");
};

TEST_F(DamagedModelFiles, AreRefusedByFileLineAndTokenWhereTheProcessorsReaderRefusesThem)
{
    ASSERT_NE(msd.find("1j;1 v(4) 160 100"), std::string::npos);
    copyExample("msd1.mg0", models, "msd1.mg0");
    // The processor's reader on each damaged file, named as the model it is.
    std::vector<std::string> processorFiles;
    for (std::size_t i = 0; i < damages().size(); ++i)
        processorFiles.push_back(dir.write("processor/" + std::to_string(i) + "/msd1.mg0", damaged(msd, damages()[i])));
    const std::vector<damagedfiles::ProcessorVerdict> verdicts =
        damagedfiles::processorVerdicts(PROCESSOR_READS, 3, library, processorFiles);
    ASSERT_EQ(verdicts.size(), damages().size());

    startWindow("-model msd1");
    ASSERT_EQ(Editor().modelName, "msd1");
    const std::size_t submodels = CurrentModel().submodels.size();
    for (std::size_t i = 0; i < damages().size(); ++i) {
        const Damage& damage = damages()[i];
        SCOPED_TRACE(std::string(damage.what) + ": the processor's reader " + std::to_string(verdicts[i].parsed) +
                     " " + verdicts[i].error);
        // Each under a model name of its own, in the first model directory.
        const std::string name = std::string("d") + char('a' + i) + "1";
        const std::string path = models + "/" + name + ".mg0";
        ASSERT_TRUE(platform::writeFileAtomically(path, damaged(msd, damage)));
        sink.clear();
        openThroughTheChooser(name);
        if (damage.refusal.empty()) {
            EXPECT_EQ(verdicts[i].parsed, 0);
            EXPECT_TRUE(sink.transcript().empty()) << testing::PrintToString(sink.transcript()[0].lines);
            EXPECT_EQ(window->windowTitle().toStdString(), "Orvanta  Graph Editor - " + name);
            EXPECT_EQ(CurrentModel().edited, 0);
            copyExample("msd1.mg0", models, "msd1.mg0");
            openThroughTheChooser("msd1");
            ASSERT_EQ(Editor().modelName, "msd1");
            continue;
        }
        EXPECT_NE(verdicts[i].parsed, 0) << "the processor's reader refuses it";
        ASSERT_EQ(sink.transcript().size(), 1u);
        EXPECT_EQ(sink.transcript()[0].lines,
                  (std::vector<std::string>{"The model file can not be read:", path, damage.refusal,
                                            "The model is not opened."}));
        EXPECT_EQ(window->windowTitle().toStdString(), "Orvanta  Graph Editor - msd1");
        EXPECT_EQ(CurrentModel().submodels.size(), submodels);
        EXPECT_EQ(CurrentModel().edited, 0);
        EXPECT_EQ(window->shownStatusText().substr(0, 40), damage.refusal.substr(0, 40));
    }
}

TEST_F(DamagedModelFiles, AFileRefusedAtStartUpLeavesTheWindowWithoutAModel)
{
    const Damage& afterNul = damages()[2];
    ASSERT_TRUE(platform::writeFileAtomically(models + "/msd1.mg0", damaged(msd, afterNul)));
    startWindow("-model msd1");
    ASSERT_EQ(sink.transcript().size(), 1u);
    EXPECT_EQ(sink.transcript()[0].lines,
              (std::vector<std::string>{"The model file can not be read:", models + "/msd1.mg0", afterNul.refusal,
                                        "The model is not opened."}));
    EXPECT_EQ(CurrentModel().submodels.size(), 0u);
    EXPECT_EQ(CurrentModel().edited, 0);
    testsupport::grabToPng(*window, "grapheditor_damaged_model_refused");
}

} // namespace
