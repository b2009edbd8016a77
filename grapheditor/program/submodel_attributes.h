// The submodel attributes editor "GE: Submodel Attributes": the type and
// version a submodel instantiates, its instance name, whether the name is
// shown, its size, and the actual values of its type's arguments.
#pragma once

#include "grapheditor/program/attribute_editors.h"

#include <string>
#include <vector>

struct Submodel;
struct SubmodelType;

/// The most argument rows the editor holds.
inline constexpr int kMaxArgumentRows = 48;

class TQNSubAttrDialog : public AttributeEditor {
public:
    explicit TQNSubAttrDialog(QWidget* parent);
    Submodel* submodel() const { return static_cast<Submodel*>(boundObject()); }

    /// One formal argument of the type and its actual value's text.
    struct Row {
        std::string name;
        std::string actual;
    };
    const std::vector<Row>& rows() const { return m_rows; }
    /// The actual value of the selected row is taken from field 608, and the next row selected.
    void storeActual();

protected:
    void fillFields() override;
    int acceptEdits() override;
    std::string savedText() const override { return "Previous submodel attributes saved."; }
    std::vector<std::string> conflictLines() const override;
    void notify(int id, int code) override;

private:
    /// The rows from the type's interface and the submodel's actual arguments;
    /// false after the reason is in the status line.
    bool buildRows(SubmodelType* type, const Submodel* actuals);
    void showRows();
    /// The rows for the type the fields name, when the rows are not its own; false when a
    /// changed type is refused (rows and the model's types then stay as they were).
    bool rowsForType(Submodel& submodel, SubmodelType*& type, const std::string& typeName, int version);

    std::vector<Row> m_rows;
    SubmodelType* m_rowsType = nullptr; ///< the type the rows were built from; null when none
    bool m_tooManyRows = false;
    bool m_forceRead = false; ///< the next rows read the type's file again (Reload)
    int m_row = -1;
};

TQNSubAttrDialog* OpenSubmodelAttributes(QWidget* parent, Submodel* submodel);
TQNSubAttrDialog* SubmodelAttributesEditor();
void RegisterSubmodelAttributesGuard();
void CloseSubmodelAttributes();
