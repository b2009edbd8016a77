// The main arguments editor "GE: Main Arguments": the formal arguments of the
// main model and their optional values, edited as a copy of the model's list.
#pragma once

#include "grapheditor/program/attribute_editors.h"

#include <string>
#include <vector>

struct Argument;

/// The most arguments a model may have: a model with more could not have its
/// arguments given where it is used as a submodel.
inline constexpr int kMaxMainArguments = 48;

class TQNMainArgDialog : public AttributeEditor {
public:
    explicit TQNMainArgDialog(QWidget* parent);

    /// One argument as the editor holds it.
    struct Row {
        std::string name;
        std::string value; ///< empty: no value
        Argument* original = nullptr;
    };
    const std::vector<Row>& rows() const { return m_rows; }

    /// The model's arguments copied again (nameless ones taken out of the model first).
    void copyArguments();
    /// A new empty argument after the selected row, in the copy and the model.
    void addArgument();
    void deleteArgument();

protected:
    void fillFields() override;
    int acceptEdits() override;
    std::string savedText() const override { return {}; }
    std::vector<std::string> conflictLines() const override { return {}; }
    void notify(int id, int code) override;
    void setEditedFlag(bool edited) override;

private:
    void showRows(int select);
    /// The two edits into the selected row: false when the value is no integer.
    bool storeEdits();

    std::vector<Row> m_rows;
    int m_row = -1;
};

/// Opens the editor on the current model's arguments.
TQNMainArgDialog* OpenMainArguments(QWidget* parent);
TQNMainArgDialog* MainArgumentsEditor();
void RegisterMainArgumentsGuard();
void CloseMainArguments();
