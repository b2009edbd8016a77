// The causality read back from the processed model onto the drawn bonds, the
// renaming of old names while loading, moving up and down the hierarchy, and
// C code for a model or a submodel.
#include "grapheditor/program/tests/editor_test_support.h"

#include "grapheditor/program/navigation.h"
#include "grapheditor/program/processing_handoff.h"
#include "grapheditor/program/selection.h"

#include "platform/core/message_numbers.h"

#include <gtest/gtest.h>

using namespace editortest;

namespace {

class Navigation : public ::testing::Test, public EditorFixture {
protected:
    void SetUp() override { start(); }

    void copyExample(const std::string& from, const std::string& to)
    {
        const std::string base = to.substr(0, to.find('.') - 1);
        const std::string fromBase = from.substr(0, from.find('.'));
        ASSERT_TRUE(platform::writeFileAtomically(models + "/" + to, example(from, fromBase, base)));
    }
    void write(const std::string& name, const std::string& text)
    {
        ASSERT_TRUE(platform::writeFileAtomically(models + "/" + name, text));
    }

    /// The drawn bond between the two named objects.
    Connection* bond(const std::string& a, const std::string& b)
    {
        for (Connection& c : CurrentModel().connections)
            if (c.ends[0].submodel && c.ends[1].submodel && c.ends[0].submodel->name == a &&
                c.ends[1].submodel->name == b)
                return &c;
        return nullptr;
    }
    Submodel* submodel(const std::string& name)
    {
        for (Submodel& s : CurrentModel().submodels)
            if (s.name == name)
                return &s;
        return nullptr;
    }

    /// The processed model's connections as the processor writes them back.
    int annotate(const std::string& connections)
    {
        GraphModel processed;
        std::string error;
        const std::string text = "bond graph t version 1\nsubclasses\n  se;1 a\n  c;1 b, b'x\n  r;1 d\n"
                                 "connections\n" + connections;
        EXPECT_EQ(parse_model_text(text, READ_ALL, processed, &error), 0) << error;
        return AnnotateFromProcessed(processed);
    }
};

} // namespace

TEST_F(Navigation, CausalAnalysisResultShowsTheComputedStrokesOnTheDrawnBonds)
{
    copyExample("msd1.mg0", "msd1.mg0");
    ASSERT_EQ(OpenModelFromDirectories("msd1"), 1);
    write("msd1.t2", read(std::string(GRAPHEDITOR_TEST_DIR) + "/golden/msd1.t2"));
    Settings().tempfiles = 1;
    EXPECT_EQ(ShowProcessingResult(PROCESS_CAUSAL_ANALYSIS, 0), 1);
    EXPECT_EQ(frame.kept, "Causal analysis completed succesfully.");
    EXPECT_TRUE(AnnotationPresent());
    const std::pair<std::pair<const char*, const char*>, int> expected[] = {
        {{"f", "v"}, 1}, {{"v", "m"}, 1}, {{"v", "k"}, 2}, {{"v", "d"}, 2}};
    for (const auto& [ends, causality] : expected) {
        Connection* c = bond(ends.first, ends.second);
        ASSERT_NE(c, nullptr) << ends.first;
        EXPECT_EQ(c->computedCausality, causality) << ends.first << "-" << ends.second;
        EXPECT_EQ(c->causality, 0);
    }

    // Before a new run, and on opening, the strokes go again.
    ClearAnnotation();
    EXPECT_FALSE(AnnotationPresent());
    for (Connection& c : CurrentModel().connections)
        EXPECT_EQ(c.computedCausality, 0);
}

TEST_F(Navigation, ABondMatchedTheOtherWayRoundHasItsStrokeMovedAndNoStrokeStaysNone)
{
    write("t1.mgg", "bond graph t version 1\nsubclasses\n  se;1 a 40 40 !T\n  c;1 b 140 40 !T\n  r;1 d 240 40 !T\n"
                    "connections\n  a`p -> b`p\n  d`p -> b`p\n");
    ASSERT_EQ(OpenModelFromDirectories("t1"), 1) << frame.kept;
    // b <- a with the stroke at a (end 1 there, end 0 here); b <- d the other way round without stroke.
    annotate("  b`p <-| a`p\n  b`p <- d`p\n");
    EXPECT_EQ(bond("a", "b")->computedCausality, 2);
    EXPECT_EQ(bond("d", "b")->computedCausality, 0);
}

TEST_F(Navigation, AmbiguousMatchesSignalsAndBondsInsideOneObjectLeaveNoAnnotation)
{
    write("t1.mgg", "bond graph t version 1\nsubclasses\n  se;1 a 40 40 !T\n  c;1 b 140 40 !T\n  r;1 d 240 40 !T\n"
                    "connections\n  a`p -> b`p\n  d`p -> b`p\n");
    ASSERT_EQ(OpenModelFromDirectories("t1"), 1);
    // Two processed bonds a-b (b'x is a part of b): no annotation of a-b. d-b matches once.
    annotate("  a`p ->| b`p\n  a`p |-> b'x`p\n  b`p ->| b'x`p\n  d`p |-> b`p\n");
    EXPECT_EQ(bond("a", "b")->computedCausality, 0);
    EXPECT_EQ(bond("d", "b")->computedCausality, 2);

    EXPECT_TRUE(SameEndName("x'", "x"));
    EXPECT_TRUE(SameEndName("x'a", "x'b"));
    EXPECT_TRUE(SameEndName("ab", "ab"));
    // A name that only begins like another names another object.
    EXPECT_FALSE(SameEndName("m", "m2"));
    EXPECT_FALSE(SameEndName("m2'", "m"));
}

TEST_F(Navigation, OldTypeAndPortNamesAreRenamedWhileAnOldModelIsLoaded)
{
    write("old1.mgg", "class old version 1\nsubclasses\n  Se;1 s 40 40 !T\n  sum;1 p 100 40 !T\n  c;1 k 140 40 !T\n"
                      "connections\n  s`p -> k`state\n");
    ASSERT_EQ(OpenModelFromDirectories("old1"), 1) << frame.kept;
    std::vector<std::string> types;
    for (const SubmodelType& type : CurrentModel().types)
        types.push_back(type.name + std::to_string(type.version));
    EXPECT_EQ(types, (std::vector<std::string>{"se1", "plus1", "c1"}));
    ASSERT_EQ(CurrentModel().connections.size(), 1u);
    EXPECT_EQ(CurrentModel().connections.head()->ends[1].portName, "outp");
    // Outside a load nothing is renamed.
    EXPECT_FALSE(ReaderRenaming().loading);
}

TEST_F(Navigation, ShowSubmodelAndShowParentKeepTheChainAcrossTwoFiles)
{
    copyExample("mload1.mg0", "mload1.mg0");
    write("dcm1.sg0", read(std::string(ORVANTA_MODELS_DIR) + "/dcm1.sg0"));
    ASSERT_EQ(OpenModelFromDirectories("mload1"), 1);
    ShowParent();
    EXPECT_EQ(frame.kept, "Already at toplevel model.");

    Submodel* drive = submodel("drive");
    ASSERT_NE(drive, nullptr);
    select_object(SELECT_SUBMODEL, drive, 0);
    ShowSubmodel(*drive->type, drive->name);
    EXPECT_EQ(Editor().modelName, "dcm1");
    EXPECT_EQ(frame.kept, "Opened submodel dcm1 of parent mload1.");
    ASSERT_EQ(ParentChain().size(), 1u);
    EXPECT_EQ(ParentChain().back().parentName, "mload1");
    EXPECT_EQ(ParentChain().back().submodelName, "drive");
    EXPECT_EQ(HasParent(), 1);
    EXPECT_EQ(IsSubmodelShown(), 1);
    EXPECT_EQ(has_selection(), 0);
    EXPECT_EQ(Editor().machine.state(), STATE_NAMED);
    std::string top, path;
    SubmodelPath(top, path, "km");
    EXPECT_EQ(top, "mload1");
    EXPECT_EQ(path, "drive`km");

    // A submodel whose file is missing leaves the chain as it was.
    SubmodelType missing;
    missing.name = "nosuch";
    missing.version = 1;
    ShowSubmodel(missing, "x");
    EXPECT_EQ(frame.kept, "Could not open submodel nosuch1.");
    EXPECT_EQ(ParentChain().size(), 1u);
    EXPECT_EQ(Editor().modelName, "dcm1");

    ShowParent();
    EXPECT_EQ(frame.kept, "Returned to parent mload1 of submodel dcm1.");
    EXPECT_EQ(Editor().modelName, "mload1");
    EXPECT_TRUE(ParentChain().empty());
    EXPECT_NE(submodel("drive"), nullptr);
}

TEST_F(Navigation, AParentThatCannotBeOpenedStaysOnTheChain)
{
    copyExample("mload1.mg0", "mload1.mg0");
    write("dcm1.sg0", read(std::string(ORVANTA_MODELS_DIR) + "/dcm1.sg0"));
    ASSERT_EQ(OpenModelFromDirectories("mload1"), 1);
    ShowSubmodel(*submodel("drive")->type, "drive");
    ASSERT_EQ(ParentChain().size(), 1u);
    platform::deleteFile(models + "/mload1.mg0");
    ShowParent();
    EXPECT_EQ(frame.kept, "Could not open parent mload1.");
    EXPECT_EQ(ParentChain().size(), 1u);
    EXPECT_EQ(Editor().modelName, "dcm1");

    // A submodel opened on its own has no known parent.
    ForgetParentChain();
    ShowParent();
    EXPECT_EQ(frame.kept, "Parent of current submodel dcm1 unknown.");
}

TEST_F(Navigation, ARefusedNewKeepsTheSubmodelShownAndItsWayBack)
{
    copyExample("mload1.mg0", "mload1.mg0");
    write("dcm1.sg0", read(std::string(ORVANTA_MODELS_DIR) + "/dcm1.sg0"));
    ASSERT_EQ(OpenModelFromDirectories("mload1"), 1);
    ShowSubmodel(*submodel("drive")->type, "drive");
    SetEdited();
    sink.queueAnswers({platform::BoxAnswer::Cancel});
    NewGraphCommand();
    EXPECT_EQ(Editor().modelName, "dcm1");
    ASSERT_EQ(ParentChain().size(), 1u);
    // Confirmed, the new model has no parent.
    sink.queueAnswers({platform::BoxAnswer::Ok});
    NewGraphCommand();
    EXPECT_EQ(Editor().modelName, "");
    EXPECT_TRUE(ParentChain().empty());
    EXPECT_EQ(Editor().machine.state(), STATE_NO_MODEL);
}

TEST_F(Navigation, AnEquationSubmodelOpensInTheEquationEditorWithoutAFrame)
{
    copyExample("msd1.mg0", "msd1.mg0");
    ASSERT_EQ(OpenModelFromDirectories("msd1"), 1);
    Submodel* mass = submodel("m");
    ASSERT_NE(mass, nullptr);
    ASSERT_EQ(mass->type->isEquationModel, 1);
    ShowSubmodel(*mass->type, "m");
    std::vector<platform::Message> launches = frame.take(UM_LAUNCH);
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0].wParam, 1);
    EXPECT_EQ(launches[0].text, " -model i1");
    EXPECT_EQ(frame.kept, "Opened Equation Editor with submodel i1.");
    EXPECT_TRUE(ParentChain().empty());
    EXPECT_EQ(Editor().modelName, "msd1");
}

TEST_F(Navigation, AMissingCodeGeneratorIsReportedAndTheEditorGoesOn)
{
    Startup().InstallDirectory = dir.mkdir("install");
    copyExample("msd1.mg0", "msd1.mg0");
    ASSERT_EQ(OpenModelFromDirectories("msd1"), 1);
    // Processed already: the generator is loaded at once.
    write("msd1.mg3", "x");
    write("msd1.l", "x");
    testsupport::setModificationTime(models + "/msd1.mg3", 5000);
    testsupport::setModificationTime(models + "/msd1.l", 5000);
    generate_c_code("");
    ASSERT_FALSE(sink.transcript().empty());
    EXPECT_EQ(sink.transcript().front().lines.front(), "Could not load 'orvantacod.so'");
    EXPECT_EQ(Editor().machine.state(), STATE_NAMED);
    SetEdited();
    SaveCommand();
    EXPECT_EQ(frame.kept, "Graphical info and Keldor saved.");
}

TEST_F(Navigation, CCodeOfAnEditedModelWaitsForItsProcessing)
{
    Startup().InstallDirectory = dir.mkdir("install");
    copyExample("msd1.mg0", "msd1.mg0");
    ASSERT_EQ(OpenModelFromDirectories("msd1"), 1);
    SetEdited();
    generate_c_code("");
    EXPECT_TRUE(sink.transcript().empty());
    EXPECT_TRUE(Editor().ccodePending);
    EXPECT_EQ(frame.take(UM_PROCESS_MODEL).size(), 1u);

    // A failed processing ends the request with its message; nothing is pending after it.
    ProcessingResult(-1, 0);
    EXPECT_EQ(sink.transcriptLines(), std::vector<std::string>{"Error processing model"});
    EXPECT_FALSE(Editor().ccodePending);

    sink.clear();
    generate_c_code("");
    OnProcessModel(PROCESS_COMPLETE);
    ASSERT_EQ(frame.take(UM_LAUNCH).size(), 1u);
    ProcessingResult(3, 0);
    ASSERT_FALSE(sink.transcript().empty());
    EXPECT_EQ(sink.transcript().front().lines.front(), "Could not load 'orvantacod.so'");
}

TEST_F(Navigation, CCodeForASubmodelProcessesItsTopModel)
{
    copyExample("mload1.mg0", "mload1.mg0");
    write("dcm1.sg0", read(std::string(ORVANTA_MODELS_DIR) + "/dcm1.sg0"));
    ASSERT_EQ(OpenModelFromDirectories("mload1"), 1);
    ShowSubmodel(*submodel("drive")->type, "drive");
    generate_c_code("km");
    // The request goes through the main window, where it would wait for an open processor.
    std::vector<platform::Message> requests = frame.take(UM_PROCESS_MODEL);
    ASSERT_EQ(requests.size(), 1u);
    OnProcessModel(static_cast<int>(requests[0].wParam));
    std::vector<platform::Message> launches = frame.take(UM_LAUNCH);
    ASSERT_EQ(launches.size(), 1u);
    EXPECT_EQ(launches[0].text, " -cmpnt " + std::to_string(frame.mainWindowHandle()) + " -model mload1");
    EXPECT_EQ(Editor().modelName, "dcm1");
    EXPECT_TRUE(Editor().ccodePending);
    EXPECT_EQ(Editor().ccodeSelection, "km");
}
