// The generator's dialogs offscreen: the main dialog as the caller opens it, its
// output-kind rule and its choosers; the submodel chooser's preset, proposal and
// refusal of a name that is no C name; the logo button and the about box.
#include "codegen/generator_dialogs.h"

#include "platform/core/choosers.h"
#include "platform/core/message_sink.h"
#include "platform/qt/alerts.h"
#include "platform/qt/help.h"
#include "platform/testing/qt_support.h"
#include "platform/testing/temp_dir.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

using namespace generator_ids;
using testsupport::findControl;

namespace {

class GeneratorDialogTest : public ::testing::Test {
protected:
    void SetUp() override { testsupport::testApplication(); }

    /// Every control lies inside the dialog and the dialog is drawn.
    static void expectWithin(platform::Dialog& dialog, const std::string& grab)
    {
        dialog.show();
        const QImage shot = testsupport::grabToPng(dialog, grab);
        EXPECT_FALSE(shot.isNull());
        const QRect inside = dialog.rect();
        for (QWidget* child : dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (child->objectName().startsWith("id") && !child->isHidden()) {
                EXPECT_TRUE(inside.contains(child->geometry())) << child->objectName().toStdString();
            }
        }
        dialog.hide();
    }

    platform::ScriptedMessageSink sink;
    platform::ScopedMessageSink scoped{sink};
    platform::ScriptedChooserSink choosers;
    platform::ScopedChooserSink scopedChoosers{choosers};
};

TEST_F(GeneratorDialogTest, OpensWithTheCallersTextsAndOffersSimulationOutputOnlyForAProgram)
{
    CodeGeneratorDialog dialog("/models/msd1", "exp", "drive`motor", nullptr);
    EXPECT_EQ(dialog.caption(), "Orvanta ANSI-C Code Generator");
    EXPECT_EQ(dialog.text(ModelName), "msd1");
    EXPECT_EQ(dialog.text(ModelPath), "/models/");
    EXPECT_EQ(dialog.text(ExperimentName), "exp");
    EXPECT_EQ(dialog.text(OutputDirectory), "");
    EXPECT_TRUE(dialog.isChecked(SFunction));
    EXPECT_TRUE(dialog.isChecked(OutputNone));
    EXPECT_TRUE(findControl<QLineEdit>(dialog, ModelPath)->isReadOnly());
    for (int id : {OutputNone, OutputDuring, OutputAfter, SimulationOutputGroup})
        EXPECT_FALSE(dialog.isControlEnabled(id)) << id;
    expectWithin(dialog, "codegen_main_dialog");

    findControl<QRadioButton>(dialog, StandAlone)->click();
    for (int id : {OutputNone, OutputDuring, OutputAfter, SimulationOutputGroup})
        EXPECT_TRUE(dialog.isControlEnabled(id)) << id;
    findControl<QRadioButton>(dialog, OutputDuring)->click();
    findControl<QRadioButton>(dialog, Function)->click();
    EXPECT_FALSE(dialog.isControlEnabled(OutputDuring));
    EXPECT_TRUE(dialog.isChecked(OutputDuring)) << "the choice stays";
    EXPECT_EQ(dialog.fields().simulationOutput, 1);
    EXPECT_EQ(dialog.fields().outputKind, FunctionOutput);
    EXPECT_EQ(dialog.fields().submodel, "drive`motor");

    // Escape leaves it with Cancel: the entry then answers 0
    testsupport::answerNextModal([](QWidget& modal) { QTest::keyClick(&modal, Qt::Key_Escape); });
    EXPECT_EQ(dialog.runModal(), platform::IDCANCEL);
}

TEST_F(GeneratorDialogTest, BrowsingFillsTheFieldsAndKeepsWhatWasTyped)
{
    CodeGeneratorDialog dialog("/models/msd1", nullptr, nullptr, nullptr);
    dialog.setText(OutputDirectory, "/typed/out");

    choosers.answerFile("/other/place/rlc2.e");
    findControl<QPushButton>(dialog, BrowseModel)->click();
    EXPECT_EQ(dialog.text(ModelName), "rlc2");
    EXPECT_EQ(dialog.text(ModelPath), "/other/place/");
    EXPECT_EQ(dialog.text(OutputDirectory), "/typed/out");
    ASSERT_EQ(choosers.transcript().size(), 1u);
    const platform::FileChooserRequest& model = choosers.transcript()[0].file;
    EXPECT_EQ(model.title, "Select the simulation model");
    EXPECT_EQ(model.directory, "/models/");
    EXPECT_EQ(model.filters[0], (platform::FileFilter{"Simulation Model (*.e)", "*.e"}));
    EXPECT_EQ(model.owner, dialog.handle());

    choosers.answerFile("/other/place/trial.p");
    findControl<QPushButton>(dialog, BrowseExperiment)->click();
    EXPECT_EQ(dialog.text(ExperimentName), "trial");
    EXPECT_EQ(choosers.transcript()[1].file.title, "Select the simulation experiment");
    EXPECT_EQ(choosers.transcript()[1].file.directory, "/other/place/");

    choosers.answerFolder("/chosen/out");
    findControl<QPushButton>(dialog, BrowseOutput)->click();
    EXPECT_EQ(dialog.text(OutputDirectory), "/chosen/out");
    EXPECT_EQ(choosers.transcript()[2].folder.start, "/other/place");

    // cancelled choosers change nothing
    findControl<QPushButton>(dialog, BrowseModel)->click();
    findControl<QPushButton>(dialog, BrowseOutput)->click();
    EXPECT_EQ(dialog.text(ModelName), "rlc2");
    EXPECT_EQ(dialog.text(OutputDirectory), "/chosen/out");
}

TEST_F(GeneratorDialogTest, TheChooserProposesTheSubmodelsLastNameAndRefusesANameThatIsNoCName)
{
    GeneratorModel model;
    model.submodelNames = {"pumpkin", "rig", "rig`drive", "rig`drive`motor"};

    SubmodelChooserDialog preset(model, "rig`drive`motor", SFunctionOutput, nullptr);
    EXPECT_EQ(preset.caption(), "Orvanta Submodel Chooser");
    EXPECT_EQ(preset.itemCount(SubmodelList), 4);
    EXPECT_EQ(preset.selectedIndex(SubmodelList), 3);
    EXPECT_EQ(preset.text(FunctionName), "motor");
    expectWithin(preset, "codegen_submodel_chooser");

    SubmodelChooserDialog unmatched(model, "valve", SFunctionOutput, nullptr);
    EXPECT_EQ(unmatched.selectedIndex(SubmodelList), -1);
    EXPECT_EQ(unmatched.text(FunctionName), "");

    // the user picks an entry, types a name that is no C name, then a good one
    int answered = 0;
    platform::WindowHandle chooserHandle = 0;
    testsupport::answerNextModal([&](QWidget& modal) {
        chooserHandle = unmatched.handle();
        findControl<QListWidget>(modal, SubmodelList)->setCurrentRow(2);
        EXPECT_EQ(findControl<QLineEdit>(modal, FunctionName)->text(), "drive");
        findControl<QLineEdit>(modal, FunctionName)->setText("../x");
        findControl<QPushButton>(modal, platform::IDOK)->click();
        EXPECT_TRUE(modal.isVisible()) << "the chooser stays open";
        answered = int(sink.transcript().size());
        findControl<QLineEdit>(modal, FunctionName)->setText("drivefn");
        findControl<QPushButton>(modal, platform::IDOK)->click();
    });
    EXPECT_EQ(unmatched.runModal(), platform::IDOK);
    ASSERT_EQ(answered, 1);
    EXPECT_EQ(sink.transcript()[0].caption, "Orvanta Error");
    EXPECT_NE(chooserHandle, 0u);
    EXPECT_EQ(sink.transcript()[0].owner, chooserHandle) << "the chooser owns its box";
    EXPECT_EQ(sink.transcript()[0].lines.front(), "The function name ../x is not a C name");
    EXPECT_EQ(unmatched.chosenSubmodel(), "rig`drive");
    EXPECT_EQ(unmatched.functionName(), "drivefn");

    // nothing selected: OK keeps the submodel empty and takes the name typed
    SubmodelChooserDialog none(model, "", FunctionOutput, nullptr);
    testsupport::answerNextModal([](QWidget& modal) {
        findControl<QLineEdit>(modal, FunctionName)->setText("whole");
        findControl<QPushButton>(modal, platform::IDOK)->click();
    });
    EXPECT_EQ(none.runModal(), platform::IDOK);
    EXPECT_EQ(none.chosenSubmodel(), "");
    EXPECT_EQ(none.functionName(), "whole");
}

TEST_F(GeneratorDialogTest, TheLogoSwapsWithControlAndOpensTheAboutBox)
{
    int beeps = 0;
    platform::setAlertObserver([&](platform::AlertKind kind, QWidget*) { beeps += kind == platform::AlertKind::Beep; });
    std::vector<std::string> opened;
    platform::setHelpOpener([&](const std::string& address) {
        opened.push_back(address);
        return true;
    });

    CodeGeneratorDialog dialog(nullptr, nullptr, nullptr, nullptr);
    dialog.show();
    QWidget* logo = dialog.control(Logo);
    const QRect described = dialog.toPixels({14, 246, 90, 26});
    EXPECT_EQ(logo->size(), described.size() + QSize(4, 4)) << "grown by 4 pixels";
    EXPECT_EQ(logo->pos(), described.topLeft());

    QTest::mouseDClick(logo, Qt::LeftButton);
    EXPECT_EQ(logo->pos(), described.topLeft()) << "without Control nothing swaps";
    QTest::mouseDClick(logo, Qt::RightButton, Qt::ControlModifier);
    EXPECT_EQ(logo->geometry(), QRect(described.topLeft() + QPoint(12, 12), described.size() + QSize(8, 44)));
    QTest::mouseDClick(logo, Qt::LeftButton, Qt::ControlModifier);
    EXPECT_EQ(logo->pos(), described.topLeft() + QPoint(12, 12)) << "only the first swap moves it";
    EXPECT_EQ(beeps, 2) << "a beep stands in for each swap's sound";

    // a click on the logo, and the dialog's menu command, open the about box
    std::string caption;
    bool mailHidden = false;
    testsupport::answerNextModal([&](QWidget& modal) {
        caption = modal.windowTitle().toStdString();
        findControl<QPushButton>(modal, MailLink)->click();
        findControl<QPushButton>(modal, WebLink)->click();
        QWidget* aboutLogo = findControl(modal, Logo);
        QTest::mouseDClick(aboutLogo, Qt::RightButton, Qt::ControlModifier);
        mailHidden = findControl(modal, MailLink)->isHidden();
        findControl<QPushButton>(modal, platform::IDOK)->click();
    });
    findControl<QAbstractButton>(dialog, Logo)->click();
    EXPECT_EQ(caption, "About Orvanta ANSI-C Code Generator");
    EXPECT_EQ(opened, (std::vector<std::string>{GeneratorAboutDialog::MailAddress, GeneratorAboutDialog::WebAddress}));
    EXPECT_TRUE(mailHidden) << "the grown logo hides the button under it";

    caption.clear();
    testsupport::answerNextModal([&](QWidget& modal) {
        caption = modal.windowTitle().toStdString();
        static_cast<QDialog&>(modal).reject();
    });
    QAction* about = testsupport::findCommand(dialog, AboutCommand);
    ASSERT_NE(about, nullptr);
    EXPECT_EQ(about->text().toStdString(), "About orvantacod...");
    about->trigger();
    EXPECT_EQ(caption, "About Orvanta ANSI-C Code Generator");

    GeneratorAboutDialog box(nullptr);
    expectWithin(box, "codegen_about");
    platform::setAlertObserver({});
    platform::setHelpOpener({});
}

} // namespace
