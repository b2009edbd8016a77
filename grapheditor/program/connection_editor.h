// The connection editor "GE: Connection Editor": for one submodel, which port
// of its type each bond or signal drawn to it uses and which elements. It edits
// the connection checker's working record; nothing reaches the model until the
// data are accepted, and until then the editor-conflict guard keeps other
// actions off the objects concerned.
#pragma once

#include "grapheditor/connection_checker.h"
#include "platform/qt/dialog.h"

#include <array>
#include <memory>
#include <string>

class TQNListBox;
struct Submodel;

/// Control ids of the connection editor.
enum ConnectionEditorControl : int {
    ID_CE_ROWS = 101,
    ID_CE_OTHER_LABEL = 102,
    ID_CE_OTHER = 103,
    ID_CE_SUBMODEL_LABEL = 104,
    ID_CE_SIZE_LABEL = 107,
    ID_CE_SIZE = 108,
    ID_CE_INDEX_LABEL = 109,
    ID_CE_INDEX = 110,
    ID_CE_GROUP_LABEL = 111,
    ID_CE_POWER_PORTS = 112,
    ID_CE_INPUTS = 113,
    ID_CE_OUTPUTS = 114,
    ID_CE_PORT_SIZE_LABEL = 116,
    ID_CE_PORT_SIZE = 117,
    ID_CE_PORT_INDEX_LABEL = 118,
    ID_CE_PORT_INDEX = 119,
    ID_CE_OK = 801,
    ID_CE_CANCEL = 802,
    ID_CE_MESSAGE = 805,
    ID_CE_APPLY = 807,
};

const platform::DialogDescription& ConnectionEditorDescription();

class TQNConEditorDialog : public platform::Dialog {
public:
    explicit TQNConEditorDialog(QWidget* parent);
    ~TQNConEditorDialog() override;

    /// Builds the record of the submodel (null: empty) and shows it.
    void load(Submodel* submodel);
    /// Empties the lists and forgets the record.
    void clear();

    Submodel* submodel() const { return m_submodel; }
    SubmodelConnections* record() const { return m_record.get(); }
    bool isEdited() const { return m_edited; }
    void setUnchanged();

    /// The current row from the edits and the selected port: false after
    /// "Error: submodel index" or "Error: PIO index".
    bool storeRow();
    /// Stores the row and checks: the number of errors, the check's text shown.
    int checkSubmodel();
    /// Writes the record into the model and redraws the submodel's connections.
    void applyData();

    void done(int result) override;

protected:
    void notify(int id, int code) override;

private:
    void fill();
    /// Checks the record as it stands and shows the result on the row of its fault (and
    /// its port when asked): 0 when it is correct, else 1.
    int showCheck(bool selectPort);
    void showRow(int row);
    void showPort(const Pio* port);
    void rebuildRowItem(int row);
    void setEditedFlag(bool edited);
    void updateTitle();
    void showMessage(const std::string& text);
    int groupList() const;

    Submodel* m_submodel = nullptr;
    std::unique_ptr<SubmodelConnections> m_record;
    int m_row = -1;
    int m_group = -1; ///< 0 power, 1 input, 2 output, -1 none shown
    bool m_edited = false;
    std::array<std::unique_ptr<TQNListBox>, 4> m_lists;
};

/// Makes the editor when needed, else brings it up; null when it could not be made.
TQNConEditorDialog* open_connection_editor(QWidget* parent);
/// The editor while it is open; null otherwise.
TQNConEditorDialog* ConnectionEditor();
void CloseConnectionEditor();

/// Loads the submodel into the editor (guard action 1), connects what is
/// unambiguous and says so; the text of a failed build is shown.
void load_into_editor(Submodel* submodel);
/// Opens the editor on the submodel.
void edit_connections_of(QWidget* parent, Submodel* submodel);

/// The connection editor as the editor-conflict guard sees it.
void RegisterConnectionEditorGuard();

/// The key of a row's symbol ("sbl", "mbrrc" ...) and of a port's ("sbr", "ssl" ...).
std::string row_symbol_key(const ConnectionRow& row);
std::string port_symbol_key(const Pio& port);
/// A row's text: "name[index]`port[index]", "*" for no port.
std::string row_text(const ConnectionRow& row);
