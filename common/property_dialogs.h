// The five property pages' windows, one each per program, over the logic of
// property_pages.h, and the operations the programs show them with.
#pragma once

#include "common/module_dialog.h"
#include "common/property_pages.h"

#include <QPointer>

/// The description of a section's page ("DLG_GENERALPROPS", "DLG_BGEPROPS",
/// "DLG_EEPROP", "DLG_MPPROP", "DLG_SIMPROP").
const platform::DialogDescription& PropertyPageDescription(int section);

/// A page: attached to the module while it lives, its buttons handed on.
class PropertyPageDialog : public ModuleDialog {
public:
    PropertyPageDialog(int section, QWidget* parent);
    ~PropertyPageDialog() override;

    int section() const { return m_section; }
    void done(int result) override;

protected:
    void notify(int id, int code) override;

private:
    void revert();

    int m_section;
};

class TQNPropDialog final : public PropertyPageDialog {
public:
    explicit TQNPropDialog(QWidget* parent) : PropertyPageDialog(GeneralSection, parent) {}
};
class TQNBGEPropDialog final : public PropertyPageDialog {
public:
    explicit TQNBGEPropDialog(QWidget* parent) : PropertyPageDialog(GraphEditorSection, parent) {}
};
class TQNEEPropDialog final : public PropertyPageDialog {
public:
    explicit TQNEEPropDialog(QWidget* parent) : PropertyPageDialog(EquationEditorSection, parent) {}
};
class TQNMPPropDialog final : public PropertyPageDialog {
public:
    explicit TQNMPPropDialog(QWidget* parent) : PropertyPageDialog(ModelProcessorSection, parent) {}
};
class TQNSIMPropDialog final : public PropertyPageDialog {
public:
    explicit TQNSIMPropDialog(QWidget* parent) : PropertyPageDialog(SimulatorSection, parent) {}
};

/// The parent every page is made under (each main window sets itself).
void SetPropertiesParent(QWidget* parent);

/// Make a page hidden (or raise it when it exists); 1 when it exists.
int CreateGeneralPropertiesPage(QWidget* parent);
int CreateGraphEditorPropertiesPage(QWidget* parent);
int CreateEquationEditorPropertiesPage(QWidget* parent);
int CreateModelProcessorPropertiesPage(QWidget* parent);
int CreateSimulatorPropertiesPage(QWidget* parent);
/// The five in section order; 1 when all exist (stops at the first failure).
int CreateAllPropertyPages(QWidget* parent);

/// Make the page if needed, fill it from the settings and show it; the
/// callback runs when the page's values were accepted.
void ShowGraphEditorProperties(GraphEditorApplyCallback callback);
void ShowEquationEditorProperties();
void ShowModelProcessorProperties();
void ShowSimulatorProperties(SimulatorApplyCallback callback);

/// Opens the path finder on the settings' directory lists (the general page
/// made and filled for it, hidden); the callback runs when new lists were
/// accepted without errors.
void ShowPathFinder(DirectoryListCallback callback);
/// The general page's Edit: the path finder on the page's lists as they stand.
void ShowPathFinderFromPage();

/// The page of a section while it exists; null otherwise.
PropertyPageDialog* PropertyPageWindow(int section);
