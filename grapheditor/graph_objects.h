// The graph editor's in-memory model: submodels, PIOs, the submodel types they
// use, bonds and signals between them, the model's name table, and the creation,
// naming, deletion and marking of these objects.
#pragma once

#include "grapheditor/integer_expressions.h"
#include "grapheditor/object_list.h"

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

struct Connection;
struct GraphModel;
struct LibraryEntry;

/// Kinds of the name table (the model-file reader's name tokens).
enum NameKind : int {
    NAME_PORT = 258,
    NAME_INPUT = 259,
    NAME_OUTPUT = 260,
    NAME_SUBMODEL = 261,
    NAME_ARGUMENT = 262,
};

/// Kinds of the object at a connection end.
enum EndObjectKind : int { END_NONE = 0, END_SUBMODEL = 1, END_PIO = 2 };

/// Kinds of a PIO.
enum PioKind : int { PIO_PORT = 0, PIO_INPUT = 1, PIO_OUTPUT = 2 };

/// One connection end at an object.
struct Attachment {
    Connection* connection = nullptr;
    int end = 0;
};

struct Midpoint {
    int x = 0;
    int y = 0;
};

struct SubmodelType : ListLinks<SubmodelType> {
    std::string name;  ///< lower-cased, at most 7 characters
    int version = 0;
    int libraryIndex = -2;    ///< position among the built-in names, -1 none, -2 no name
    int isEquationModel = -2; ///< 1 equation, 0 graph, -1 in no library list, -2 no name
    std::unique_ptr<GraphModel> interface; ///< the type's model file as read; null until read
    std::int64_t fileTime = 0;             ///< modification time of the file `interface` came from
    std::string filePath;                  ///< that file
};

struct Submodel : ListLinks<Submodel> {
    int id = 0;
    SubmodelType* type = nullptr;
    ExprList arguments;
    ExprList size;
    std::string name;
    std::vector<Attachment> attachments; ///< the newest first
    int number = 0;
    int showName = 0;
    int errorMark = 0;
    int selected = 0;
    int x = 0, y = 0;
    int left = 0, top = 0, width = 0, height = 0;
};

struct Pio : ListLinks<Pio> {
    int id = 0;
    int kind = PIO_PORT;
    std::string name;
    ExprList size;
    int x = 0, y = 0; ///< -1, -1: read without a point
    int left = 0, top = 0, width = 0, height = 0;
    int order = 0;
    int errorMark = 0;
    int selected = 0;
    std::vector<Attachment> attachments;
    int orientation = 0; ///< of a type's power port: 0 free, 1 out, 2 in
};

struct ConnectionEnd {
    int objectKind = END_NONE;
    int anchorX = 0, anchorY = 0;
    int edgeX = 0, edgeY = 0;
    Submodel* submodel = nullptr; ///< the object when the kind is END_SUBMODEL
    Pio* pio = nullptr;           ///< the object when the kind is END_PIO
    ExprList instanceIndex;
    std::string portName; ///< empty: no port named
    ExprList portIndex;

    const void* object() const
    {
        return objectKind == END_SUBMODEL ? static_cast<const void*>(submodel)
                                          : objectKind == END_PIO ? static_cast<const void*>(pio) : nullptr;
    }
};

struct Connection : ListLinks<Connection> {
    int id = 0;
    int isSignal = 0;
    ExprList size;
    int causality = 0;         ///< 0 none, 1 stroke at end 1, 2 stroke at end 0
    int computedCausality = 0; ///< the same, from processing
    int direction = 0;         ///< 0 none, 1 end 0 to end 1, 2 end 1 to end 0
    ConnectionEnd ends[2];
    std::vector<Midpoint> midpoints; ///< in drawing order from end 0
    int selected = 0;
};

/// One level left on the way down the model hierarchy.
struct ParentFrame {
    std::string parentName; ///< with its version digit; empty for an untitled parent
    int version = 0;
    std::string submodelName;
};

/// A name of the model and what it names.
struct NameEntry {
    int kind = 0;
    void* object = nullptr;
};

/// The names of a model's submodels, PIOs and arguments.
class NameTable {
public:
    void add(const std::string& name, int kind, void* object);
    /// The entry entered last under the name; null when none.
    const NameEntry* find(const std::string& name) const;
    /// Takes out the entry of the name that names the object.
    void remove(const std::string& name, const void* object);
    void setKind(const std::string& name, const void* object, int kind);
    void clear() { m_names.clear(); }
    std::size_t size() const { return m_names.size(); }

private:
    std::unordered_map<std::string, std::vector<NameEntry>> m_names;
};

/// Names are made from a base text of at most this many characters and a number below 10000.
inline constexpr std::size_t kMaxNameBase = 90;
inline constexpr int kNameNumbers = 10000;

/// The base text (cut to 90 characters) followed by the smallest number from 1 that
/// makes a name the table does not hold; empty when every number up to 9999 is taken.
std::string UniqueName(const NameTable& names, const std::string& base);

struct GraphModel {
    std::string name; ///< empty for an untitled model
    ArgumentList arguments;
    int version = 0;
    ObjectList<Pio> pios;
    ObjectList<Submodel> submodels;
    ObjectList<SubmodelType> types;
    ObjectList<Connection> connections;
    NameTable names;
    int width = 1500, height = 1000; ///< extent of the drawing
    int scrollX = 0, scrollY = 0;    ///< the stored scroll position
    int edited = 0;

    GraphModel() = default;
    GraphModel(GraphModel&&) noexcept = default;
    GraphModel& operator=(GraphModel&& other) noexcept;
    ~GraphModel();

    /// Deletes every object, argument, type and name; the extent becomes that of a new
    /// model. The edited flag stays (`MarkEdited` changes it).
    void clear();
};

/// The model being edited.
GraphModel& CurrentModel();

/// The size new multibonds and multisignals get.
ExprList& DefaultSizeList();

/// Sets the edited flag; the view hears of a change to the current model.
void MarkEdited(GraphModel& model, int edited);

/// Snaps a point to the grid when the `snap` setting is on.
void snap_to_grid(int& x, int& y);
/// The grid spacing of the `grid_snap_size` setting: 20, 40, 80 or 160.
int GridStep();

/// The submodel (1) or PIO (2) whose box holds the point, which becomes its anchor; 0 none.
int hit_object(const GraphModel& model, int& x, int& y, void*& object);
/// The first connection within its tolerance of the point, with the index of the segment hit.
Connection* hit_connection(const GraphModel& model, int x, int y, int* segment = nullptr);

/// A new submodel of the library entry's type at the snapped point, at the head of
/// the current model's list; null when the point is taken or no name is free.
Submodel* create_submodel(int x, int y, LibraryEntry& entry);
/// A new port PIO "p_<n>" at the snapped point; null when the point is taken or no name is free.
Pio* create_pio(int x, int y);

/// The type of that name (lower-cased, cut to 7) and version, appended when new.
SubmodelType* FindOrAddType(GraphModel& model, const std::string& name, int version);

/// Lower-cases and cuts to 7 characters, as type names are kept.
std::string TypeKeyName(const std::string& name);

/// Gives an object a new name: 1, or 0 when the name is empty or names another object.
int RenameSubmodel(GraphModel& model, Submodel& submodel, const std::string& name);
int RenamePio(GraphModel& model, Pio& pio, const std::string& name);

/// The object at one end of a connection being made.
struct EndObject {
    int kind = END_NONE;
    void* object = nullptr;
};

/// A new connection at the head of the model's list between the two objects, with
/// an attachment at each; sets a PIO end's kind from the connection. Edge points
/// come from the view.
Connection* AddConnection(GraphModel& model, EndObject start, EndObject end, std::vector<Midpoint> midpoints,
                          int isSignal, int direction, ExprList size);

/// Inserts a midpoint before the one at `index` (appends past the end) and gives its
/// position; when a midpoint lies within squared distance 200 of the point, nothing
/// is added and that one's position is given.
int add_midpoint(Connection& connection, int x, int y, int index);

/// Deletes the connection; the bonds after it on a junction's port array move down to close the gap.
void delete_connection(GraphModel& model, Connection* connection);
void delete_submodel(GraphModel& model, Submodel* submodel);
void delete_pio(GraphModel& model, Pio* pio);
/// Deletes the submodel, PIO or connection at the point of the current model; 1 when one was.
int delete_at(int x, int y);

/// 1 for the junction types "0j" and "1j" (library index 0 or 1).
int is_junction_type(const SubmodelType* type);

/// 1 for the summation types "plus", "Plus", "minus", "Minus".
int is_sum_type(const std::string& name);

void SetSubmodelErrorMark(Submodel& submodel, int flag);
void SetSubmodelSelected(Submodel& submodel, int flag);
/// What the status line says of a selected submodel: "Submodel \"type.version\" named \"name\"".
std::string SubmodelSelectionText(const Submodel& submodel);
void SetPioErrorMark(Pio& pio, int flag);
void SetPioSelected(Pio& pio, int flag);
void SetConnectionSelected(Connection& connection, int flag);

/// The next creation numbers (per process).
int NextSubmodelId();
int NextPioId();
int NextConnectionId();
