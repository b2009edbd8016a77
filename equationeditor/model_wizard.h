// The model wizard's logic: the template of a new equation model it collects
// over four pages (name, version and kind; ports, inputs and outputs;
// causality and orientation restrictions on the ports; the optional
// sections), the page machine over the wizard's controls by id, and the
// skeleton text in the model language that Finish writes into the editor.
//
// The dialog (model_wizard_dialog.h) only forwards its notifications here; the
// logic runs without a window system over any `ControlAccess`.
#pragma once

#include "common/bd_string.h"
#include "common/control_access.h"

#include <bdlist>

#include <functional>
#include <memory>
#include <string>
#include <string_view>

/// Control ids of the wizard (`DLG_TPLWIZ`).
enum WizardControl {
    ID_WIZ_ADD = 102,
    ID_WIZ_DELETE = 103,
    ID_WIZ_FRAME_BUTTONS = 104,
    ID_WIZ_BACK = 109,
    ID_WIZ_NEXT = 110,
    ID_WIZ_CANCEL = 2,
    ID_WIZ_LIST = 201,
    ID_WIZ_NAME = 202,
    ID_WIZ_VERSION = 203,
    ID_WIZ_MESSAGE = 204,
    ID_WIZ_NAME_LABEL = 205,
    ID_WIZ_VERSION_LABEL = 206,
    ID_WIZ_KIND = 301,
    ID_WIZ_PORT = 302,
    ID_WIZ_RELATION = 303,
    ID_WIZ_OTHER_PORT = 304,
    ID_WIZ_RADIO1 = 501,
    ID_WIZ_RADIO2 = 502,
    ID_WIZ_RADIO3 = 503,
    ID_WIZ_PICTURE = 648,
    ID_WIZ_PARAMETERS = 650,
    ID_WIZ_VARIABLES = 651,
    ID_WIZ_FRAME_SECTIONS = 652,
    ID_WIZ_SECTIONS_LABEL = 653,
};

/// A causality restriction on a port: kinds 0 "fixed effort", 1 "fixed flow",
/// 2 "preferred effort", 3 "preferred flow", 4 "indifferent", 5 "constraint".
class CausRes {
public:
    CausRes(int kind, BdString port) : kind(kind), port(std::move(port)) {}
    /// The kind's word, a blank and the port ("preferred effort p").
    virtual std::string describe() const;
    virtual ~CausRes() = default;

    int kind;
    BdString port;
};

/// A causality constraint between two ports; relation 0 "equal", 1 "notequal".
class CausResConstraint : public CausRes {
public:
    CausResConstraint(int relation, BdString port, BdString otherPort)
        : CausRes(5, std::move(port)), relation(relation), otherPort(std::move(otherPort)) {}
    /// "constraint p notequal q".
    std::string describe() const override;

    int relation;
    BdString otherPort;
};

/// An orientation restriction on a port: kinds 0 "fixed in", 1 "fixed out", 2 "constraint".
class OriRes {
public:
    OriRes(int kind, BdString port) : kind(kind), port(std::move(port)) {}
    virtual std::string describe() const;
    virtual ~OriRes() = default;

    int kind;
    BdString port;
};

/// An orientation constraint between two ports ("constraint p equal q").
class OriResConstraint : public OriRes {
public:
    OriResConstraint(int relation, BdString port, BdString otherPort)
        : OriRes(2, std::move(port)), relation(relation), otherPort(std::move(otherPort)) {}
    std::string describe() const override;

    int relation;
    BdString otherPort;
};

/// The words of the kinds and relations, as the wizard lists them.
const char* causalityKindWord(int kind);
const char* orientationKindWord(int kind);
const char* relationWord(int relation);

/// The skeleton being collected: a name occurs at most once over the three
/// name lists together; the restriction lists own their entries.
class ModelTemplate {
public:
    ModelTemplate() = default;
    ModelTemplate(const ModelTemplate&) = delete;
    ModelTemplate& operator=(const ModelTemplate&) = delete;
    ~ModelTemplate();

    /// Whether the name is a port, an input or an output already.
    bool hasElement(const BdString& name) const;
    /// Appends to the ports (kind 1), inputs (2) or outputs (3) unless the
    /// name is empty or is an element already; whether it was added.
    bool addElement(int kind, const BdString& name);
    bool hasInterface() const { return !ports.isEmpty() || !inputs.isEmpty() || !outputs.isEmpty(); }

    void clearRestrictions();
    /// Restrictions and the three name lists.
    void clearInterface();

    BdString name;
    int version = 1;
    BdList<BdString> ports;
    BdList<BdString> inputs;
    BdList<BdString> outputs;
    BdList<CausRes*> causalityRestrictions;
    BdList<OriRes*> orientationRestrictions;
    int parameters = 0;
    int variables = 0;
};

/// Receives each piece of the skeleton in turn; the editor inserts it at its
/// caret in place of the selection.
using TextInserter = std::function<void(std::string_view piece)>;

/// Writes the skeleton piece by piece (lines end with CR LF): the class
/// line, the interface with the restrictions under the ports, the optional
/// parameter and variable sections and the equations section.
void generateModelText(const ModelTemplate& model, const TextInserter& insert);

/// The whole skeleton as one text.
std::string modelSkeletonText(const ModelTemplate& model);

/// What the wizard's logic needs of its window beyond the controls.
struct WizardWindow {
    /// Shows the named page picture ("BM_WIZARD1" ...); false when there is none.
    std::function<bool(const std::string& name)> loadPagePicture;
    /// Closes the window.
    std::function<void()> close;
};

/// The new-blank-model step of the editor (1 when the editor now holds an
/// empty untitled model, 0 when the user kept the edited text).
using NewBlankModelStep = std::function<int()>;

/// The wizard's page machine over its current template.
class ModelWizard {
public:
    ModelWizard(NewBlankModelStep newBlankModel, TextInserter insert);

    /// The window the pages are shown in.
    void attachWindow(WizardWindow window) { m_window = std::move(window); }

    /// A new template in place of the current one, and page 1 shown.
    void start(ControlAccess& view);

    /// The current page, 1 to 4 (5 after Finish).
    int page() const { return m_page; }
    /// The current template; null once the wizard has ended.
    const ModelTemplate* currentTemplate() const { return m_template.get(); }

    /// Shows the current page's controls and texts.
    void showWizardPage(ControlAccess& view);
    /// Checks the page's input and moves the page on; 1 when accepted.
    int validateWizardNameVersion(ControlAccess& view);

    /// The buttons and boxes of the wizard.
    void next(ControlAccess& view);
    void back(ControlAccess& view);
    void addWizardEntry(ControlAccess& view);
    void deleteWizardEntry(ControlAccess& view);
    void radioChosen(ControlAccess& view, int index);
    void kindChosen(ControlAccess& view);
    /// Cancel or the close box: the template is gone, nothing is written.
    void cancel();

    /// The radio that is on, counted 1, 2 or 3.
    static int checkedRadio(const ControlAccess& view);

private:
    void refreshList(ControlAccess& view) const;
    void fillCombos(ControlAccess& view) const;
    /// Deletes the template and closes the window.
    void end();

    NewBlankModelStep m_newBlankModel;
    TextInserter m_insert;
    WizardWindow m_window;
    std::unique_ptr<ModelTemplate> m_template;
    int m_page = 1;
};
