// The model wizard's template, its skeleton text and its page machine.
#include "equationeditor/model_wizard.h"

#include "common/message_boxes.h"
#include "common/reserved_words.h"

#include <array>
#include <cstdio>
#include <initializer_list>

namespace {

constexpr std::array<const char*, 6> CausalityKinds = {"fixed effort",   "fixed flow",  "preferred effort",
                                                        "preferred flow", "indifferent", "constraint"};
constexpr std::array<const char*, 3> OrientationKinds = {"fixed in", "fixed out", "constraint"};
constexpr std::array<const char*, 2> Relations = {"equal", "notequal"};

/// Every control a page may show; a page first hides them all.
constexpr std::array<int, 23> PageControls = {
    ID_WIZ_MESSAGE, ID_WIZ_NAME_LABEL, ID_WIZ_NAME,    ID_WIZ_VERSION_LABEL, ID_WIZ_VERSION,
    ID_WIZ_ADD,     ID_WIZ_DELETE,     ID_WIZ_LIST,    ID_WIZ_RADIO1,        ID_WIZ_RADIO2,
    ID_WIZ_RADIO3,  ID_WIZ_KIND,       ID_WIZ_PORT,    ID_WIZ_RELATION,      ID_WIZ_OTHER_PORT,
    ID_WIZ_CANCEL,  ID_WIZ_BACK,       ID_WIZ_NEXT,    ID_WIZ_PICTURE,       ID_WIZ_PARAMETERS,
    ID_WIZ_VARIABLES, ID_WIZ_SECTIONS_LABEL, ID_WIZ_FRAME_SECTIONS,
};

void show(ControlAccess& view, std::initializer_list<int> ids)
{
    for (int id : ids)
        view.showControl(id, true);
}

/// An edit's text as a fixed buffer of `limit` characters would read it.
std::string readEdit(const ControlAccess& view, int id, std::size_t limit)
{
    std::string text = view.text(id);
    if (text.size() > limit)
        text.resize(limit);
    return text;
}

std::string joined(const BdList<BdString>& names)
{
    std::string out;
    for (const BdLink<BdString>* link = names.firstLink(); link; link = link->next()) {
        if (!out.empty())
            out += ", ";
        out += link->value().str();
    }
    return out;
}

template <class T>
void deleteAll(BdList<T*>& list)
{
    for (BdLink<T*>* link = list.firstLink(); link; link = link->next())
        delete link->value();
    list.clear();
}

/// Removes the `index`th element (from 0) of the list, handing its value to `release` first.
template <class T, class Release>
void removeAt(BdList<T>& list, int index, Release release)
{
    BdListIterator<T> it(list);
    for (; it.valid() && index > 0; it.advance())
        --index;
    if (index == 0 && it.valid()) {
        release(it.current());
        it.remove();
    }
}

/// What is left of a line index for the list after this one.
template <class T>
int indexPast(const BdList<T>& list, int index)
{
    return index - static_cast<int>(list.length());
}

const char* word(const char* const* words, std::size_t count, int index)
{
    return index >= 0 && static_cast<std::size_t>(index) < count ? words[index] : "";
}

} // namespace

const char* causalityKindWord(int kind)
{
    return word(CausalityKinds.data(), CausalityKinds.size(), kind);
}

const char* orientationKindWord(int kind)
{
    return word(OrientationKinds.data(), OrientationKinds.size(), kind);
}

const char* relationWord(int relation)
{
    return word(Relations.data(), Relations.size(), relation);
}

std::string CausRes::describe() const
{
    return std::string(causalityKindWord(kind)) + " " + port.str();
}

std::string CausResConstraint::describe() const
{
    return CausRes::describe() + " " + relationWord(relation) + " " + otherPort.str();
}

std::string OriRes::describe() const
{
    return std::string(orientationKindWord(kind)) + " " + port.str();
}

std::string OriResConstraint::describe() const
{
    return OriRes::describe() + " " + relationWord(relation) + " " + otherPort.str();
}

ModelTemplate::~ModelTemplate()
{
    clearRestrictions();
}

bool ModelTemplate::hasElement(const BdString& element) const
{
    return ports.contains(element) || inputs.contains(element) || outputs.contains(element);
}

bool ModelTemplate::addElement(int kind, const BdString& element)
{
    if (element.length() == 0 || hasElement(element))
        return false;
    (kind == 1 ? ports : kind == 2 ? inputs : outputs).append(element);
    return true;
}

void ModelTemplate::clearRestrictions()
{
    deleteAll(causalityRestrictions);
    deleteAll(orientationRestrictions);
}

void ModelTemplate::clearInterface()
{
    clearRestrictions();
    ports.clear();
    inputs.clear();
    outputs.clear();
}

void generateModelText(const ModelTemplate& model, const TextInserter& insert)
{
    insert("class " + model.name.str() + " version " + std::to_string(model.version) + "\r\n");
    if (model.hasInterface()) {
        insert("interface\r\n");
        if (!model.ports.isEmpty()) {
            insert("    ports: " + joined(model.ports) + "\r\n");
            if (!model.causalityRestrictions.isEmpty()) {
                insert("        causality restrictions\r\n");
                for (auto* link = model.causalityRestrictions.firstLink(); link; link = link->next())
                    insert("            " + link->value()->describe() + "\r\n");
            }
            if (!model.orientationRestrictions.isEmpty()) {
                insert("        orientation restrictions\r\n");
                for (auto* link = model.orientationRestrictions.firstLink(); link; link = link->next())
                    insert("            " + link->value()->describe() + "\r\n");
            }
        }
        if (!model.inputs.isEmpty())
            insert("    inputs: real " + joined(model.inputs) + "\r\n");
        if (!model.outputs.isEmpty())
            insert("    outputs: real " + joined(model.outputs) + "\r\n");
    }
    if (model.parameters) {
        insert("parameters\r\n");
        insert("    real par1, par2\t# write your own parameters here\r\n");
    }
    if (model.variables) {
        insert("variables\r\n");
        insert("    real var1, var2\t# write your own variables here\r\n");
    }
    insert("equations\r\n");
    insert("# write your own equations here\r\n\r\n");
}

std::string modelSkeletonText(const ModelTemplate& model)
{
    std::string text;
    generateModelText(model, [&](std::string_view piece) { text += piece; });
    return text;
}

ModelWizard::ModelWizard(NewBlankModelStep newBlankModel, TextInserter insert)
    : m_newBlankModel(std::move(newBlankModel)), m_insert(std::move(insert))
{
}

void ModelWizard::start(ControlAccess& view)
{
    m_template = std::make_unique<ModelTemplate>();
    m_page = 1;
    showWizardPage(view);
}

int ModelWizard::checkedRadio(const ControlAccess& view)
{
    return view.isChecked(ID_WIZ_RADIO1) ? 1 : view.isChecked(ID_WIZ_RADIO2) ? 2 : 3;
}

void ModelWizard::showWizardPage(ControlAccess& view)
{
    if (!m_template)
        return;
    for (int id : PageControls)
        view.showControl(id, false);
    view.setText(ID_WIZ_NAME, "");
    view.setText(ID_WIZ_VERSION, "");
    view.setChecked(ID_WIZ_RADIO1, true);
    view.setChecked(ID_WIZ_RADIO2, false);
    view.setChecked(ID_WIZ_RADIO3, false);
    if (m_window.loadPagePicture && !m_window.loadPagePicture("BM_WIZARD" + std::to_string(m_page)))
        ShowMessage({"The bitmap could not be loaded"});

    switch (m_page) {
    case 1:
        view.setText(ID_WIZ_MESSAGE, "This wizard will help you create equation models more easily. Just type in a "
                                     "modelname and version and select the kind of model (submodel or mainmodel).");
        view.setText(ID_WIZ_NAME_LABEL, "Model Name :");
        view.setText(ID_WIZ_RADIO1, "Sub Model");
        view.setText(ID_WIZ_RADIO2, "Main Model");
        view.setText(ID_WIZ_NEXT, "Next >");
        view.setText(ID_WIZ_NAME, m_template->name.str());
        view.setText(ID_WIZ_VERSION, std::to_string(m_template->version));
        view.enableControl(ID_WIZ_BACK, false);
        refreshList(view);
        show(view, {ID_WIZ_MESSAGE, ID_WIZ_NAME_LABEL, ID_WIZ_NAME, ID_WIZ_VERSION_LABEL, ID_WIZ_VERSION,
                    ID_WIZ_RADIO1, ID_WIZ_RADIO2, ID_WIZ_CANCEL, ID_WIZ_BACK, ID_WIZ_NEXT, ID_WIZ_PICTURE});
        view.focusControl(ID_WIZ_NAME);
        break;
    case 2:
        view.setText(ID_WIZ_MESSAGE, "Select the type of interface elements by using the radiobuttons. Type the name "
                                     "of the desired interface element and press Add to add this element. Double "
                                     "interface element names are ignored.");
        view.setText(ID_WIZ_NAME_LABEL, "Port Name :");
        view.setText(ID_WIZ_RADIO1, "Ports");
        view.setText(ID_WIZ_RADIO2, "Inputs");
        view.setText(ID_WIZ_NEXT, "Next >");
        view.enableControl(ID_WIZ_BACK, true);
        refreshList(view);
        show(view, {ID_WIZ_MESSAGE, ID_WIZ_NAME_LABEL, ID_WIZ_NAME, ID_WIZ_ADD, ID_WIZ_DELETE, ID_WIZ_LIST,
                    ID_WIZ_RADIO1, ID_WIZ_RADIO2, ID_WIZ_RADIO3, ID_WIZ_CANCEL, ID_WIZ_BACK, ID_WIZ_NEXT,
                    ID_WIZ_PICTURE});
        view.focusControl(ID_WIZ_NAME);
        break;
    case 3:
        view.setText(ID_WIZ_MESSAGE, "Select the type of restrictions (causality or orientation) using the radio "
                                     "buttons. Create a restriction using the droplists, and press Add to add the "
                                     "restriction.");
        view.setText(ID_WIZ_RADIO1, "Causality");
        view.setText(ID_WIZ_RADIO2, "Orientation");
        view.setText(ID_WIZ_NEXT, "Next >");
        view.enableControl(ID_WIZ_BACK, true);
        fillCombos(view);
        refreshList(view);
        show(view, {ID_WIZ_MESSAGE, ID_WIZ_ADD, ID_WIZ_DELETE, ID_WIZ_LIST, ID_WIZ_RADIO1, ID_WIZ_RADIO2,
                    ID_WIZ_KIND, ID_WIZ_PORT, ID_WIZ_CANCEL, ID_WIZ_BACK, ID_WIZ_NEXT, ID_WIZ_PICTURE});
        view.focusControl(ID_WIZ_KIND);
        break;
    case 4:
        view.setText(ID_WIZ_MESSAGE, "Press Finish to generate the model");
        view.setText(ID_WIZ_NEXT, "Finish");
        view.enableControl(ID_WIZ_BACK, true);
        refreshList(view);
        show(view, {ID_WIZ_MESSAGE, ID_WIZ_CANCEL, ID_WIZ_BACK, ID_WIZ_NEXT, ID_WIZ_PICTURE, ID_WIZ_PARAMETERS,
                    ID_WIZ_VARIABLES, ID_WIZ_SECTIONS_LABEL, ID_WIZ_FRAME_SECTIONS});
        view.focusControl(ID_WIZ_NEXT);
        break;
    default:
        break;
    }
}

void ModelWizard::refreshList(ControlAccess& view) const
{
    view.clearItems(ID_WIZ_LIST);
    if (m_page == 2) {
        for (auto* link = m_template->ports.firstLink(); link; link = link->next())
            view.addItem(ID_WIZ_LIST, "port\t: " + link->value().str());
        for (auto* link = m_template->inputs.firstLink(); link; link = link->next())
            view.addItem(ID_WIZ_LIST, "input\t: " + link->value().str());
        for (auto* link = m_template->outputs.firstLink(); link; link = link->next())
            view.addItem(ID_WIZ_LIST, "output\t: " + link->value().str());
    } else if (m_page == 3) {
        for (auto* link = m_template->causalityRestrictions.firstLink(); link; link = link->next())
            view.addItem(ID_WIZ_LIST, "causality restr.\t: " + link->value()->describe());
        for (auto* link = m_template->orientationRestrictions.firstLink(); link; link = link->next())
            view.addItem(ID_WIZ_LIST, "orientation restr.\t: " + link->value()->describe());
    }
}

void ModelWizard::fillCombos(ControlAccess& view) const
{
    for (int id : {ID_WIZ_KIND, ID_WIZ_PORT, ID_WIZ_RELATION, ID_WIZ_OTHER_PORT})
        view.clearItems(id);
    for (auto* link = m_template->ports.firstLink(); link; link = link->next()) {
        view.addItem(ID_WIZ_PORT, link->value().str());
        view.addItem(ID_WIZ_OTHER_PORT, link->value().str());
    }
    view.addItem(ID_WIZ_RELATION, "equal");
    view.addItem(ID_WIZ_RELATION, "not equal");
    if (view.isChecked(ID_WIZ_RADIO1)) {
        for (const char* kind : CausalityKinds)
            view.addItem(ID_WIZ_KIND, kind);
    } else {
        for (const char* kind : OrientationKinds)
            view.addItem(ID_WIZ_KIND, kind);
    }
    view.showControl(ID_WIZ_RELATION, false);
    view.showControl(ID_WIZ_OTHER_PORT, false);
    for (int id : {ID_WIZ_KIND, ID_WIZ_PORT, ID_WIZ_RELATION, ID_WIZ_OTHER_PORT})
        view.selectIndex(id, 0);
}

int ModelWizard::validateWizardNameVersion(ControlAccess& view)
{
    if (!m_template)
        return 0;
    switch (m_page) {
    case 1: {
        std::string name = readEdit(view, ID_WIZ_NAME, 8);
        if (name.empty()) {
            ShowMessage({"Model name is not given"});
            return 0;
        }
        if (name.size() > 7) {
            ShowMessage({"Model name is too long", "only 7 characters are allowed"});
            return 0;
        }
        if (IsReservedWord(name, 1))
            return 0;
        std::string version = readEdit(view, ID_WIZ_VERSION, 8);
        if (version.empty()) {
            ShowMessage({"Model version is nog given"});
            return 0;
        }
        if (version.size() > 1) {
            ShowMessage({"Only one digit is allowed for the version number"});
            return 0;
        }
        int number = 0;
        if (std::sscanf(version.c_str(), "%d", &number) != 1) {
            ShowMessage({"Model version not correct"});
            return 0;
        }
        m_template->name = BdString(std::string_view(name));
        m_template->version = number;
        m_page = view.isChecked(ID_WIZ_RADIO1) ? 2 : 4;
        return 1;
    }
    case 2:
        m_page = m_template->ports.isEmpty() ? 4 : 3;
        return 1;
    case 3:
    case 4:
        ++m_page;
        return 1;
    default:
        return 0;
    }
}

void ModelWizard::next(ControlAccess& view)
{
    if (!m_template || validateWizardNameVersion(view) != 1)
        return;
    if (m_page < 5) {
        showWizardPage(view);
        return;
    }
    m_template->parameters = view.isChecked(ID_WIZ_PARAMETERS) ? 1 : 0;
    m_template->variables = view.isChecked(ID_WIZ_VARIABLES) ? 1 : 0;
    if (m_newBlankModel && m_newBlankModel() && m_insert)
        generateModelText(*m_template, m_insert);
    end();
}

void ModelWizard::back(ControlAccess& view)
{
    if (!m_template)
        return;
    switch (m_page) {
    case 4:
        if (!m_template->hasInterface()) {
            m_template->clearInterface();
            m_page = 1;
        } else {
            m_page = m_template->ports.isEmpty() ? 2 : 3;
        }
        break;
    case 3:
        m_template->clearRestrictions();
        m_page = 2;
        break;
    case 2:
        m_template->clearInterface();
        m_page = 1;
        break;
    default:
        break;
    }
    showWizardPage(view);
}

void ModelWizard::addWizardEntry(ControlAccess& view)
{
    if (!m_template)
        return;
    int radio = checkedRadio(view);
    if (m_page == 2) {
        std::string name = readEdit(view, ID_WIZ_NAME, 24);
        if (IsReservedWord(name, 1))
            return;
        m_template->addElement(radio, BdString(std::string_view(name)));
        view.focusControl(ID_WIZ_NAME);
    } else if (m_page == 3) {
        int portIndex = view.selectedIndex(ID_WIZ_PORT);
        int kind = view.selectedIndex(ID_WIZ_KIND);
        if (portIndex >= 0 && kind >= 0 && radio <= 2) {
            BdString port(std::string_view(view.itemText(ID_WIZ_PORT, portIndex)));
            bool constraint = radio == 1 ? kind == 5 : kind == 2;
            bool known = radio == 1 ? kind <= 5 : kind <= 2;
            if (constraint) {
                BdString other(std::string_view(view.itemText(ID_WIZ_OTHER_PORT, view.selectedIndex(ID_WIZ_OTHER_PORT))));
                int relation = view.selectedIndex(ID_WIZ_RELATION);
                if (other == port) {
                    ShowMessage({"Use different ports for constraint restrictions."});
                } else if (relation == 0 || relation == 1) {
                    if (radio == 1)
                        m_template->causalityRestrictions.append(new CausResConstraint(relation, port, other));
                    else
                        m_template->orientationRestrictions.append(new OriResConstraint(relation, port, other));
                }
            } else if (known) {
                if (radio == 1)
                    m_template->causalityRestrictions.append(new CausRes(kind, port));
                else
                    m_template->orientationRestrictions.append(new OriRes(kind, port));
            }
        }
    }
    refreshList(view);
}

void ModelWizard::deleteWizardEntry(ControlAccess& view)
{
    if (!m_template)
        return;
    int index = view.selectedIndex(ID_WIZ_LIST);
    if (index < 0)
        return;
    auto keep = [](const auto&) {};
    auto release = [](auto* restriction) { delete restriction; };
    if (m_page == 2) {
        for (BdList<BdString>* list : {&m_template->ports, &m_template->inputs, &m_template->outputs}) {
            if (index < static_cast<int>(list->length())) {
                removeAt(*list, index, keep);
                break;
            }
            index = indexPast(*list, index);
        }
    } else if (m_page == 3) {
        if (index < static_cast<int>(m_template->causalityRestrictions.length()))
            removeAt(m_template->causalityRestrictions, index, release);
        else
            removeAt(m_template->orientationRestrictions, indexPast(m_template->causalityRestrictions, index),
                     release);
    }
    refreshList(view);
}

void ModelWizard::radioChosen(ControlAccess& view, int index)
{
    if (!m_template)
        return;
    if (m_page == 2) {
        static constexpr std::array<const char*, 3> Labels = {"Port name :", "Input name :", "Output name :"};
        if (index >= 0 && index < 3)
            view.setText(ID_WIZ_NAME_LABEL, Labels[static_cast<std::size_t>(index)]);
        view.focusControl(ID_WIZ_NAME);
    } else if (m_page == 3) {
        fillCombos(view);
    }
    if (m_page == 2 || m_page == 3)
        refreshList(view);
}

void ModelWizard::kindChosen(ControlAccess& view)
{
    int kind = view.selectedIndex(ID_WIZ_KIND);
    bool constraint = view.itemText(ID_WIZ_KIND, kind) == "constraint";
    view.showControl(ID_WIZ_RELATION, constraint);
    view.showControl(ID_WIZ_OTHER_PORT, constraint);
}

void ModelWizard::cancel()
{
    end();
}

void ModelWizard::end()
{
    m_template.reset();
    if (m_window.close)
        m_window.close();
}
