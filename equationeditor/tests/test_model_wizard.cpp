// The model wizard's logic over a table of controls: the skeleton texts it
// writes, the way through its pages and back, what each page refuses, and
// the skeletons read by the model language's own parser.
#include "equationeditor/model_wizard.h"

#include "common/tests/fake_controls.h"
#include "modelproc/model_records.h"
#include "platform/core/message_sink.h"
#include "template_test_support.h"

#include <gtest/gtest.h>

namespace {

using Lines = std::vector<std::string>;

using templatetest::MainSkeleton;
using templatetest::SubmodelSkeleton;

class WizardLogic : public ::testing::Test {
protected:
    WizardLogic()
        : wizard([this] { ++blankSteps; return blankAnswer; }, [this](std::string_view piece) {
              pieces.emplace_back(piece);
          })
    {
        wizard.attachWindow({[this](const std::string& name) {
                                 pictures.push_back(name);
                                 return picturesExist;
                             },
                             [this] { ++closes; }});
    }

    /// Checks one radio of the three, as a click does, and tells the wizard.
    void chooseRadio(int index)
    {
        for (int i = 0; i < 3; ++i)
            controls[ID_WIZ_RADIO1 + i].checked = i == index;
        wizard.radioChosen(controls, index);
    }
    void pageOne(const std::string& name, const std::string& version, bool submodel)
    {
        controls[ID_WIZ_NAME].text = name;
        controls[ID_WIZ_VERSION].text = version;
        controls[ID_WIZ_RADIO1].checked = submodel;
        controls[ID_WIZ_RADIO2].checked = !submodel;
        wizard.next(controls);
    }
    void addElement(int radio, const std::string& name)
    {
        chooseRadio(radio);
        controls[ID_WIZ_NAME].text = name;
        wizard.addWizardEntry(controls);
    }
    /// A restriction on page 3: radio 0 causality, 1 orientation; the kind,
    /// port, relation and other port by their positions in the combos.
    void addRestriction(int radio, int kind, int port, int relation = 0, int other = 0)
    {
        if (ModelWizard::checkedRadio(controls) != radio + 1)
            chooseRadio(radio);
        controls.selectIndex(ID_WIZ_KIND, kind);
        wizard.kindChosen(controls);
        controls.selectIndex(ID_WIZ_PORT, port);
        controls.selectIndex(ID_WIZ_RELATION, relation);
        controls.selectIndex(ID_WIZ_OTHER_PORT, other);
        wizard.addWizardEntry(controls);
    }
    Lines listed() { return controls[ID_WIZ_LIST].items; }
    void finish(bool parameters, bool variables)
    {
        controls[ID_WIZ_PARAMETERS].checked = parameters;
        controls[ID_WIZ_VARIABLES].checked = variables;
        wizard.next(controls);
    }
    std::string inserted() const
    {
        std::string text;
        for (const std::string& piece : pieces)
            text += piece;
        return text;
    }
    /// The valve of `SubmodelSkeleton`, left on page 4.
    void buildValve()
    {
        wizard.start(controls);
        pageOne("valve", "2", true);
        addElement(0, "a");
        addElement(0, "b");
        addElement(1, "u");
        addElement(2, "y");
        addElement(2, "z");
        wizard.next(controls);
        addRestriction(0, 0, 0);       // fixed effort a
        addRestriction(0, 5, 0, 1, 1); // constraint a notequal b
        addRestriction(1, 0, 0);       // fixed in a
        wizard.next(controls);
    }

    FakeControls controls;
    ModelWizard wizard;
    int blankAnswer = 1;
    int blankSteps = 0;
    bool picturesExist = true;
    int closes = 0;
    Lines pictures;
    std::vector<std::string> pieces;
    platform::ScriptedMessageSink boxes;
    platform::ScopedMessageSink scopedBoxes{boxes};
};

TEST(ModelSkeleton, MainModelHasNoInterfaceAndOnlyTheSectionsAskedFor)
{
    ModelTemplate model;
    model.name = "pump";
    model.parameters = 1;
    model.variables = 1;
    EXPECT_EQ(modelSkeletonText(model), MainSkeleton);

    model.parameters = 0;
    model.variables = 0;
    model.version = 0;
    EXPECT_EQ(modelSkeletonText(model),
              "class pump version 0\r\nequations\r\n# write your own equations here\r\n\r\n");
}

TEST(ModelSkeleton, RestrictionsStandUnderThePortsAndSignalsGetTheirType)
{
    ModelTemplate model;
    model.name = "valve";
    model.version = 2;
    for (const char* port : {"a", "b"})
        model.addElement(1, port);
    model.addElement(2, "u");
    model.addElement(3, "y");
    model.addElement(3, "z");
    model.causalityRestrictions.append(new CausRes(0, "a"));
    model.causalityRestrictions.append(new CausResConstraint(1, "a", "b"));
    model.orientationRestrictions.append(new OriRes(0, "a"));
    EXPECT_EQ(modelSkeletonText(model), SubmodelSkeleton);

    // Signals alone: an interface without ports; restrictions are written only under ports.
    ModelTemplate signals;
    signals.name = "gain";
    signals.addElement(2, "u");
    signals.addElement(3, "y");
    EXPECT_EQ(modelSkeletonText(signals), "class gain version 1\r\ninterface\r\n    inputs: real u\r\n"
                                          "    outputs: real y\r\nequations\r\n# write your own equations here\r\n\r\n");
}

TEST(ModelSkeleton, EveryRestrictionKindDescribesItself)
{
    Lines causality, orientation;
    for (int kind = 0; kind < 5; ++kind)
        causality.push_back(CausRes(kind, "p").describe());
    causality.push_back(CausResConstraint(0, "p", "q").describe());
    for (int kind = 0; kind < 2; ++kind)
        orientation.push_back(OriRes(kind, "p").describe());
    orientation.push_back(OriResConstraint(1, "p", "q").describe());
    EXPECT_EQ(causality, (Lines{"fixed effort p", "fixed flow p", "preferred effort p", "preferred flow p",
                                "indifferent p", "constraint p equal q"}));
    EXPECT_EQ(orientation, (Lines{"fixed in p", "fixed out p", "constraint p notequal q"}));
}

TEST(ModelSkeleton, AnElementNameOccursOnceOverPortsInputsAndOutputs)
{
    ModelTemplate model;
    EXPECT_TRUE(model.addElement(1, "a"));
    EXPECT_FALSE(model.addElement(2, "a"));
    EXPECT_FALSE(model.addElement(3, "a"));
    EXPECT_FALSE(model.addElement(1, ""));
    EXPECT_TRUE(model.addElement(3, "b"));
    EXPECT_EQ(model.ports.length(), 1u);
    EXPECT_TRUE(model.inputs.isEmpty());
    EXPECT_EQ(model.outputs.length(), 1u);
}

TEST_F(WizardLogic, SubmodelWalksAllFourPagesAndFinishWritesItsSkeletonPieceByPiece)
{
    buildValve();
    ASSERT_EQ(wizard.page(), 4);
    EXPECT_EQ(controls[ID_WIZ_NEXT].text, "Finish");
    EXPECT_EQ(pictures, (Lines{"BM_WIZARD1", "BM_WIZARD2", "BM_WIZARD3", "BM_WIZARD4"}));
    finish(false, false);
    EXPECT_EQ(blankSteps, 1);
    EXPECT_EQ(inserted(), SubmodelSkeleton);
    // Each piece is one line of the skeleton (the last adds the empty line).
    ASSERT_EQ(pieces.size(), 12u);
    EXPECT_EQ(pieces.front(), "class valve version 2\r\n");
    EXPECT_EQ(pieces.back(), "# write your own equations here\r\n\r\n");
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(wizard.currentTemplate(), nullptr);
    EXPECT_TRUE(boxes.transcript().empty());
}

TEST_F(WizardLogic, MainModelGoesFromTheFirstPageToTheLastAndBackAgain)
{
    wizard.start(controls);
    EXPECT_FALSE(controls[ID_WIZ_BACK].enabled);
    EXPECT_EQ(controls[ID_WIZ_VERSION].text, "1");
    pageOne("pump", "1", false);
    EXPECT_EQ(wizard.page(), 4);
    EXPECT_TRUE(controls[ID_WIZ_BACK].enabled);
    EXPECT_FALSE(controls[ID_WIZ_LIST].shown);
    EXPECT_TRUE(controls[ID_WIZ_PARAMETERS].shown);

    // Back shows page 1 again with what was typed.
    wizard.back(controls);
    EXPECT_EQ(wizard.page(), 1);
    EXPECT_EQ(controls[ID_WIZ_NAME].text, "pump");
    EXPECT_TRUE(controls[ID_WIZ_RADIO1].checked);
    pageOne("pump", "1", false);
    finish(true, true);
    EXPECT_EQ(inserted(), MainSkeleton);
}

TEST_F(WizardLogic, PagesShowTheirOwnControlsAndTexts)
{
    wizard.start(controls);
    EXPECT_EQ(controls[ID_WIZ_NAME_LABEL].text, "Model Name :");
    EXPECT_EQ(controls[ID_WIZ_RADIO1].text, "Sub Model");
    EXPECT_EQ(controls[ID_WIZ_RADIO2].text, "Main Model");
    EXPECT_TRUE(controls[ID_WIZ_VERSION].shown);
    EXPECT_FALSE(controls[ID_WIZ_RADIO3].shown);
    EXPECT_FALSE(controls[ID_WIZ_ADD].shown);

    pageOne("valve", "1", true);
    EXPECT_EQ(wizard.page(), 2);
    EXPECT_EQ(controls[ID_WIZ_NAME_LABEL].text, "Port Name :");
    EXPECT_EQ(controls[ID_WIZ_NAME].text, "");
    EXPECT_FALSE(controls[ID_WIZ_VERSION].shown);
    EXPECT_TRUE(controls[ID_WIZ_RADIO3].shown);
    for (auto [radio, label] : {std::pair{1, "Input name :"}, {2, "Output name :"}, {0, "Port name :"}}) {
        chooseRadio(radio);
        EXPECT_EQ(controls[ID_WIZ_NAME_LABEL].text, label);
    }
    addElement(0, "a");
    addElement(1, "u");
    addElement(2, "y");
    EXPECT_EQ(listed(), (Lines{"port\t: a", "input\t: u", "output\t: y"}));

    wizard.next(controls);
    ASSERT_EQ(wizard.page(), 3);
    EXPECT_EQ(controls[ID_WIZ_RADIO1].text, "Causality");
    EXPECT_EQ(controls[ID_WIZ_KIND].items, (Lines{"fixed effort", "fixed flow", "preferred effort",
                                                 "preferred flow", "indifferent", "constraint"}));
    EXPECT_EQ(controls[ID_WIZ_PORT].items, (Lines{"a"}));
    EXPECT_EQ(controls[ID_WIZ_RELATION].items, (Lines{"equal", "not equal"}));
    EXPECT_EQ(controls[ID_WIZ_KIND].selected, 0);
    EXPECT_FALSE(controls[ID_WIZ_RELATION].shown);
    controls.selectIndex(ID_WIZ_KIND, 5);
    wizard.kindChosen(controls);
    EXPECT_TRUE(controls[ID_WIZ_RELATION].shown);
    EXPECT_TRUE(controls[ID_WIZ_OTHER_PORT].shown);
    chooseRadio(1);
    EXPECT_EQ(controls[ID_WIZ_KIND].items, (Lines{"fixed in", "fixed out", "constraint"}));
    EXPECT_FALSE(controls[ID_WIZ_RELATION].shown);
}

TEST_F(WizardLogic, AnInterfaceWithoutPortsSkipsTheRestrictions)
{
    wizard.start(controls);
    pageOne("gain", "1", true);
    addElement(1, "u");
    wizard.next(controls);
    EXPECT_EQ(wizard.page(), 4);
    // Back from 4 returns to the interface page while there are elements.
    wizard.back(controls);
    EXPECT_EQ(wizard.page(), 2);
    EXPECT_EQ(listed(), (Lines{"input\t: u"}));
}

TEST_F(WizardLogic, GoingBackForgetsWhatTheLaterPagesMade)
{
    buildValve();
    wizard.back(controls);
    ASSERT_EQ(wizard.page(), 3);
    EXPECT_EQ(listed().size(), 3u); // the restrictions survive going back from page 4
    wizard.back(controls);
    ASSERT_EQ(wizard.page(), 2);
    EXPECT_TRUE(wizard.currentTemplate()->causalityRestrictions.isEmpty());
    EXPECT_TRUE(wizard.currentTemplate()->orientationRestrictions.isEmpty());
    EXPECT_EQ(listed().size(), 5u);
    wizard.back(controls);
    ASSERT_EQ(wizard.page(), 1);
    EXPECT_FALSE(wizard.currentTemplate()->hasInterface());
    EXPECT_EQ(controls[ID_WIZ_NAME].text, "valve");
    EXPECT_EQ(controls[ID_WIZ_VERSION].text, "2");
}

TEST_F(WizardLogic, TheFirstPageRefusesBadNamesAndVersionsAndStays)
{
    struct Case {
        const char* name;
        const char* version;
        Lines box;
    };
    const Case cases[] = {
        {"", "1", {"Model name is not given"}},
        {"pumping", "1", {}},
        {"pumpings", "1", {"Model name is too long", "only 7 characters are allowed"}},
        {"pumpingstation", "1", {"Model name is too long", "only 7 characters are allowed"}},
        {"pump", "", {"Model version is nog given"}},
        {"pump", "10", {"Only one digit is allowed for the version number"}},
        {"pump", "x", {"Model version not correct"}},
        {"pump", "0", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " / " + c.version);
        boxes.clear();
        wizard.start(controls);
        pageOne(c.name, c.version, true);
        if (c.box.empty()) {
            EXPECT_EQ(wizard.page(), 2);
            EXPECT_TRUE(boxes.transcript().empty());
        } else {
            EXPECT_EQ(wizard.page(), 1);
            ASSERT_EQ(boxes.transcript().size(), 1u);
            EXPECT_EQ(boxes.transcript()[0].lines, c.box);
        }
    }
    // A reserved word is reported by the reserved-word check itself.
    boxes.clear();
    wizard.start(controls);
    pageOne("class", "1", true);
    EXPECT_EQ(wizard.page(), 1);
    EXPECT_EQ(boxes.transcript().size(), 1u);
}

TEST_F(WizardLogic, InterfaceElementsAreAddedOnceAndDeletedByTheirLine)
{
    wizard.start(controls);
    pageOne("valve", "1", true);
    addElement(0, "a");
    addElement(1, "a"); // already a port: ignored
    addElement(1, "u");
    addElement(2, "y");
    addElement(0, "b");
    addElement(0, "");
    EXPECT_EQ(listed(), (Lines{"port\t: a", "port\t: b", "input\t: u", "output\t: y"}));
    boxes.clear();
    addElement(0, "equations");
    EXPECT_EQ(boxes.transcript().size(), 1u);
    EXPECT_EQ(listed().size(), 4u);

    // The line number counts through the ports, then the inputs, then the outputs.
    controls.selectIndex(ID_WIZ_LIST, 2);
    wizard.deleteWizardEntry(controls);
    EXPECT_EQ(listed(), (Lines{"port\t: a", "port\t: b", "output\t: y"}));
    controls.selectIndex(ID_WIZ_LIST, 0);
    wizard.deleteWizardEntry(controls);
    EXPECT_EQ(listed(), (Lines{"port\t: b", "output\t: y"}));
    controls.selectIndex(ID_WIZ_LIST, -1);
    wizard.deleteWizardEntry(controls);
    EXPECT_EQ(listed().size(), 2u);
}

TEST_F(WizardLogic, RestrictionsAreAddedAndDeletedAndAConstraintNeedsTwoPorts)
{
    wizard.start(controls);
    pageOne("valve", "1", true);
    addElement(0, "a");
    addElement(0, "b");
    wizard.next(controls);
    ASSERT_EQ(wizard.page(), 3);

    addRestriction(0, 5, 1, 0, 1); // constraint b equal b
    ASSERT_EQ(boxes.transcript().size(), 1u);
    EXPECT_EQ(boxes.transcript()[0].lines, (Lines{"Use different ports for constraint restrictions."}));
    EXPECT_TRUE(listed().empty());

    addRestriction(0, 2, 1);       // preferred effort b
    addRestriction(1, 1, 0);       // fixed out a
    addRestriction(1, 2, 0, 1, 1); // constraint a notequal b
    addRestriction(0, 4, 0);       // indifferent a
    EXPECT_EQ(listed(), (Lines{"causality restr.\t: preferred effort b", "causality restr.\t: indifferent a",
                               "orientation restr.\t: fixed out a", "orientation restr.\t: constraint a notequal b"}));

    // Through the causality restrictions, then the orientation restrictions.
    controls.selectIndex(ID_WIZ_LIST, 2);
    wizard.deleteWizardEntry(controls);
    controls.selectIndex(ID_WIZ_LIST, 0);
    wizard.deleteWizardEntry(controls);
    EXPECT_EQ(listed(), (Lines{"causality restr.\t: indifferent a", "orientation restr.\t: constraint a notequal b"}));

    // No kind chosen adds nothing.
    controls.selectIndex(ID_WIZ_KIND, -1);
    wizard.addWizardEntry(controls);
    EXPECT_EQ(listed().size(), 2u);
}

TEST_F(WizardLogic, FinishWritesNothingWhenTheEditorKeepsItsTextAndCancelWritesNothing)
{
    buildValve();
    blankAnswer = 0;
    finish(true, true);
    EXPECT_EQ(blankSteps, 1);
    EXPECT_TRUE(pieces.empty());
    EXPECT_EQ(closes, 1);
    EXPECT_EQ(wizard.currentTemplate(), nullptr);

    buildValve();
    wizard.cancel();
    EXPECT_EQ(blankSteps, 1);
    EXPECT_TRUE(pieces.empty());
    EXPECT_EQ(closes, 2);
    // A wizard that has ended ignores its buttons.
    wizard.next(controls);
    wizard.addWizardEntry(controls);
    EXPECT_EQ(blankSteps, 1);
}

TEST_F(WizardLogic, AMissingPagePictureIsReportedAndThePageStillShown)
{
    picturesExist = false;
    wizard.start(controls);
    ASSERT_EQ(boxes.transcript().size(), 1u);
    EXPECT_EQ(boxes.transcript()[0].lines, (Lines{"The bitmap could not be loaded"}));
    EXPECT_EQ(controls[ID_WIZ_NAME_LABEL].text, "Model Name :");
}

using templatetest::parseModelText;

std::string withLineFeeds(std::string text)
{
    std::string out;
    for (char c : text)
        if (c != '\r')
            out += c;
    return out;
}

TEST(ModelSkeleton, SkeletonsAreReadByTheModelLanguageParserOnceTheyHaveEquations)
{
    // A two-port with restrictions the language accepts together.
    ModelTemplate model;
    model.name = "valve";
    model.addElement(1, "a");
    model.addElement(1, "b");
    model.addElement(2, "u");
    model.addElement(3, "y");
    model.causalityRestrictions.append(new CausResConstraint(1, "a", "b"));
    model.orientationRestrictions.append(new OriRes(0, "a"));
    model.orientationRestrictions.append(new OriRes(1, "b"));
    model.parameters = model.variables = 1;
    std::string valve = withLineFeeds(modelSkeletonText(model));

    // The heading, the interface and the declarations are read clean; the body waits for equations.
    EXPECT_EQ(parseModelText(valve, 1), Lines{});
    EXPECT_EQ(parseModelText(valve, 2), Lines{});
    EXPECT_FALSE(parseModelText(valve, 3).empty());

    ClassRec* cls = nullptr;
    EXPECT_EQ(parseModelText(valve + "a.e = par1 * b.e\nb.f = par1 * a.f\ny = u\n", 3, &cls), Lines{});
    ASSERT_NE(cls, nullptr);
    EXPECT_EQ(ttcount_ports(cls), 2);
    ttfree_class(cls);

    std::string pump = withLineFeeds(MainSkeleton) + "var1 = par1\nvar2 = par2 * var1\n";
    EXPECT_EQ(parseModelText(pump, 3, &cls), Lines{});
    ASSERT_NE(cls, nullptr);
    EXPECT_EQ(ttcount_ports(cls) + ttcount_ios(cls, 3) + ttcount_ios(cls, 4), 0);
    ttfree_class(cls);
}

} // namespace
