// The graph objects: name table, creation with unique names, connections and
// their attachments, deletion, hit testing, grid snapping and the object marks.
#include "grapheditor/graph_objects.h"

#include "common/message_boxes.h"
#include "common/settings_table.h"
#include "grapheditor/graph_view.h"
#include "grapheditor/submodel_library.h"
#include "platform/core/file_system.h"

#include <algorithm>
#include <cmath>
#include <tuple>

namespace {

class NoView : public GraphView {};

GraphView* g_view = nullptr;
int g_submodelCounter = 0;
int g_pioCounter = 0;
int g_connectionCounter = 0;

bool isCurrent(const GraphModel& model)
{
    return &model == &CurrentModel();
}

} // namespace

GraphView& View()
{
    static NoView none;
    return g_view ? *g_view : none;
}

void SetGraphView(GraphView* view)
{
    g_view = view;
}

// ---------------------------------------------------------------------------------------------
// Name table

void NameTable::add(const std::string& name, int kind, void* object)
{
    m_names[name].push_back({kind, object});
}

const NameEntry* NameTable::find(const std::string& name) const
{
    auto it = m_names.find(name);
    return it == m_names.end() || it->second.empty() ? nullptr : &it->second.back();
}

void NameTable::remove(const std::string& name, const void* object)
{
    auto it = m_names.find(name);
    if (it == m_names.end())
        return;
    auto& entries = it->second;
    for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
        if (entry->object == object) {
            entries.erase(std::next(entry).base());
            break;
        }
    }
    if (entries.empty())
        m_names.erase(it);
}

void NameTable::setKind(const std::string& name, const void* object, int kind)
{
    auto it = m_names.find(name);
    if (it == m_names.end())
        return;
    for (NameEntry& entry : it->second)
        if (entry.object == object)
            entry.kind = kind;
}

std::string UniqueName(const NameTable& names, const std::string& base)
{
    const std::string stem = base.substr(0, kMaxNameBase);
    for (int number = 1; number < kNameNumbers; ++number) {
        std::string name = stem + std::to_string(number);
        if (!names.find(name))
            return name;
    }
    return {};
}

// ---------------------------------------------------------------------------------------------
// The model

GraphModel& GraphModel::operator=(GraphModel&& other) noexcept = default;
GraphModel::~GraphModel() = default;

void GraphModel::clear()
{
    connections.clear();
    submodels.clear();
    pios.clear();
    arguments.clear();
    names.clear();
    types.clear();
    name.clear();
    version = 0;
    width = 1500;
    height = 1000;
    scrollX = scrollY = 0;
}

GraphModel& CurrentModel()
{
    static GraphModel model;
    return model;
}

ExprList& DefaultSizeList()
{
    static ExprList list = [] {
        ExprList three;
        three.push_back(MakeConstant(3));
        return three;
    }();
    return list;
}

void MarkEdited(GraphModel& model, int edited)
{
    if (model.edited == edited)
        return;
    model.edited = edited;
    if (isCurrent(model))
        View().editedChanged(edited);
}

int NextSubmodelId() { return ++g_submodelCounter; }
int NextPioId() { return ++g_pioCounter; }
int NextConnectionId() { return g_connectionCounter++; }

// ---------------------------------------------------------------------------------------------
// Grid and hit testing

int GridStep()
{
    static constexpr int steps[] = {20, 40, 80, 160};
    return steps[std::clamp(Settings().grid_snap_size, 0, 3)];
}

void snap_to_grid(int& x, int& y)
{
    if (!Settings().snap)
        return;
    const int step = std::max(GridStep(), 1);
    x = (x + step / 2) - (x + step / 2) % step;
    y = (y + step / 2) - (y + step / 2) % step;
}

namespace {

template <class Object>
bool holds(const Object& o, int x, int y)
{
    return o.left <= x && x <= o.left + o.width && o.top <= y && y <= o.top + o.height;
}

} // namespace

int hit_object(const GraphModel& model, int& x, int& y, void*& object)
{
    for (Submodel& submodel : model.submodels) {
        if (holds(submodel, x, y)) {
            object = &submodel;
            x = submodel.x;
            y = submodel.y;
            return END_SUBMODEL;
        }
    }
    for (Pio& pio : model.pios) {
        if (holds(pio, x, y)) {
            object = &pio;
            x = pio.x;
            y = pio.y;
            return END_PIO;
        }
    }
    object = nullptr;
    return 0;
}

Connection* hit_connection(const GraphModel& model, int x, int y, int* segment)
{
    for (Connection& connection : model.connections) {
        const double n = static_cast<double>(connection.size.size());
        const double tolerance = std::max(36.0 * n * n, 50.0);
        std::vector<std::pair<double, double>> points;
        points.emplace_back(connection.ends[0].edgeX, connection.ends[0].edgeY);
        for (const Midpoint& m : connection.midpoints)
            points.emplace_back(m.x, m.y);
        points.emplace_back(connection.ends[1].edgeX, connection.ends[1].edgeY);
        for (std::size_t i = 0; i + 1 < points.size(); ++i) {
            const auto [x0, y0] = points[i];
            const auto [x1, y1] = points[i + 1];
            const double dx = x1 - x0, dy = y1 - y0;
            const double vx = x - x0, vy = y - y0;
            const double cross = vy * dx - vx * dy;
            const double dot = vx * dx + vy * dy;
            const double length2 = dx * dx + dy * dy;
            const double to0 = vx * vx + vy * vy;
            const double to1 = (x - x1) * (x - x1) + (y - y1) * (y - y1);
            if ((cross * cross < tolerance * length2 && 0 < dot && dot < length2) || to0 < tolerance ||
                to1 < tolerance) {
                if (segment)
                    *segment = static_cast<int>(i);
                return &connection;
            }
        }
    }
    return nullptr;
}

// ---------------------------------------------------------------------------------------------
// Creation

std::string TypeKeyName(const std::string& name)
{
    return platform::toLower(name.substr(0, 7));
}

SubmodelType* FindOrAddType(GraphModel& model, const std::string& name, int version)
{
    const std::string key = TypeKeyName(name);
    for (SubmodelType& type : model.types)
        if (type.name == key && type.version == version)
            return &type;
    auto type = std::make_unique<SubmodelType>();
    type->name = key;
    type->version = version;
    type->libraryIndex = builtin_index(key);
    type->isEquationModel = library_equation_flag(key, version);
    return model.types.pushBack(std::move(type));
}

namespace {

/// Whether the snapped point is free of submodels and PIOs.
bool pointIsFree(const GraphModel& model, int x, int y)
{
    void* object = nullptr;
    return hit_object(model, x, y, object) == 0;
}

void reportNoFreeName(const std::string& base, const char* what)
{
    ShowMessage({std::string("No free name is left for a new ") + what + ":",
                 "every name from " + base + "1 to " + base + std::to_string(kNameNumbers - 1) + " is in use."});
}

} // namespace

Submodel* create_submodel(int x, int y, LibraryEntry& entry)
{
    GraphModel& model = CurrentModel();
    snap_to_grid(x, y);
    if (!pointIsFree(model, x, y))
        return nullptr;
    std::string typeName;
    int version = 0;
    SplitEntryText(entry.text, typeName, version);
    const std::string key = TypeKeyName(typeName);
    const std::string base = builtin_index(key) >= 0 ? key + "_" : key + "_" + std::to_string(version) + "_";
    std::string name = UniqueName(model.names, base);
    if (name.empty()) {
        reportNoFreeName(base.substr(0, kMaxNameBase), "submodel");
        return nullptr;
    }
    auto created = std::make_unique<Submodel>();
    Submodel* submodel = model.submodels.pushFront(std::move(created));
    submodel->number = ++entry.counter;
    MarkEdited(model, 1);
    submodel->type = FindOrAddType(model, typeName, version);
    submodel->id = NextSubmodelId();
    submodel->showName = Settings().showname;
    submodel->x = x;
    submodel->y = y;
    submodel->name = name;
    model.names.add(name, NAME_SUBMODEL, submodel);
    View().layoutSubmodel(*submodel);
    View().drawSubmodel(*submodel, 1);
    return submodel;
}

Pio* create_pio(int x, int y)
{
    GraphModel& model = CurrentModel();
    snap_to_grid(x, y);
    if (!pointIsFree(model, x, y))
        return nullptr;
    std::string name = UniqueName(model.names, "p_");
    if (name.empty()) {
        reportNoFreeName("p_", "PIO");
        return nullptr;
    }
    Pio* pio = model.pios.pushFront(std::make_unique<Pio>());
    MarkEdited(model, 1);
    pio->kind = PIO_PORT;
    pio->id = pio->order = NextPioId();
    pio->x = x;
    pio->y = y;
    pio->name = name;
    model.names.add(name, NAME_PORT, pio);
    View().layoutPio(*pio);
    View().drawPio(*pio, 1);
    return pio;
}

namespace {

template <class Object>
int renameObject(GraphModel& model, Object& object, const std::string& name, int kind)
{
    if (name.empty())
        return 0;
    if (const NameEntry* entry = model.names.find(name))
        return entry->object == &object ? 1 : 0;
    model.names.remove(object.name, &object);
    object.name = name;
    model.names.add(name, kind, &object);
    return 1;
}

} // namespace

int RenameSubmodel(GraphModel& model, Submodel& submodel, const std::string& name)
{
    return renameObject(model, submodel, name, NAME_SUBMODEL);
}

int RenamePio(GraphModel& model, Pio& pio, const std::string& name)
{
    return renameObject(model, pio, name, NAME_PORT + pio.kind);
}

Connection* AddConnection(GraphModel& model, EndObject start, EndObject end, std::vector<Midpoint> midpoints,
                          int isSignal, int direction, ExprList size)
{
    auto created = std::make_unique<Connection>();
    Connection* connection = created.get();
    connection->id = NextConnectionId();
    connection->isSignal = isSignal;
    connection->direction = direction;
    connection->size = std::move(size);
    connection->midpoints = std::move(midpoints);
    const EndObject objects[2] = {start, end};
    for (int e = 0; e < 2; ++e) {
        ConnectionEnd& at = connection->ends[e];
        at.objectKind = objects[e].kind;
        if (at.objectKind == END_SUBMODEL) {
            at.submodel = static_cast<Submodel*>(objects[e].object);
            at.anchorX = at.submodel->x;
            at.anchorY = at.submodel->y;
            at.submodel->attachments.insert(at.submodel->attachments.begin(), {connection, e});
        } else if (at.objectKind == END_PIO) {
            at.pio = static_cast<Pio*>(objects[e].object);
            at.anchorX = at.pio->x;
            at.anchorY = at.pio->y;
            at.pio->attachments.insert(at.pio->attachments.begin(), {connection, e});
            int kind = PIO_PORT;
            if (isSignal)
                kind = (direction == 1 && e == 0) || (direction == 2 && e == 1) ? PIO_INPUT : PIO_OUTPUT;
            at.pio->kind = kind;
            model.names.setKind(at.pio->name, at.pio, NAME_PORT + kind);
        }
    }
    for (int e = 0; e < 2; ++e) {
        ConnectionEnd& at = connection->ends[e];
        const ConnectionEnd& other = connection->ends[1 - e];
        int towardX = other.anchorX;
        int towardY = other.anchorY;
        if (!connection->midpoints.empty()) {
            const Midpoint& near = e == 0 ? connection->midpoints.front() : connection->midpoints.back();
            towardX = near.x;
            towardY = near.y;
        }
        std::tie(at.edgeX, at.edgeY) =
            View().edgePoint(at.anchorX, at.anchorY, towardX, towardY, at.objectKind, at.object());
    }
    model.connections.pushFront(std::move(created));
    MarkEdited(model, 1);
    if (isCurrent(model))
        View().drawConnection(*connection, 1);
    return connection;
}

int add_midpoint(Connection& connection, int x, int y, int index)
{
    auto& points = connection.midpoints;
    for (std::size_t i = 0; i < points.size(); ++i) {
        const long long dx = points[i].x - x;
        const long long dy = points[i].y - y;
        if (dx * dx + dy * dy < 200)
            return static_cast<int>(i);
    }
    const std::size_t at = index < 0 ? 0 : std::min(static_cast<std::size_t>(index), points.size());
    points.insert(points.begin() + static_cast<std::ptrdiff_t>(at), Midpoint{x, y});
    return static_cast<int>(at);
}

// ---------------------------------------------------------------------------------------------
// Deletion

namespace {

void detach(std::vector<Attachment>& attachments, const Connection* connection, int end)
{
    auto it = std::find_if(attachments.begin(), attachments.end(),
                           [&](const Attachment& a) { return a.connection == connection && a.end == end; });
    if (it != attachments.end())
        attachments.erase(it);
}

/// The one index or range of an end's port index list; false when it has another form.
bool singlePortRange(const ConnectionEnd& end, int& low, int& high)
{
    std::string error;
    return end.instanceIndex.empty() && end.portIndex.size() == 1 &&
           EvaluateRange(error, low, high, end.portIndex.front().get()) == 0 && low <= high;
}

/// A bond taken from a junction's port array leaves no gap: the bonds on the elements after it
/// move down by its width, so that the junction's elements stay 1 to the count of its bonds.
void closeJunctionGap(Submodel& junction, const ConnectionEnd& gone)
{
    int low = 0, high = 0;
    if (!is_junction_type(junction.type) || gone.portName.empty() || !singlePortRange(gone, low, high))
        return;
    const int width = high - low + 1;
    for (const Attachment& a : junction.attachments) {
        ConnectionEnd& end = a.connection->ends[a.end];
        int first = 0, last = 0;
        if (end.portName != gone.portName || !singlePortRange(end, first, last) || first <= high)
            continue;
        end.portIndex.clear();
        end.portIndex.push_back(first == last ? MakeConstant(first - width)
                                              : MakeOperator(EXPR_RANGE, MakeConstant(first - width),
                                                             MakeConstant(last - width)));
    }
}

} // namespace

void delete_connection(GraphModel& model, Connection* connection)
{
    if (!connection)
        return;
    if (isCurrent(model))
        View().drawConnection(*connection, 0);
    for (int e = 0; e < 2; ++e) {
        ConnectionEnd& end = connection->ends[e];
        if (end.objectKind == END_SUBMODEL && end.submodel) {
            detach(end.submodel->attachments, connection, e);
            closeJunctionGap(*end.submodel, end);
        } else if (end.objectKind == END_PIO && end.pio)
            detach(end.pio->attachments, connection, e);
    }
    model.connections.unlink(connection);
}

void delete_submodel(GraphModel& model, Submodel* submodel)
{
    if (!submodel)
        return;
    if (isCurrent(model))
        View().drawSubmodel(*submodel, 0);
    while (!submodel->attachments.empty())
        delete_connection(model, submodel->attachments.front().connection);
    model.names.remove(submodel->name, submodel);
    model.submodels.unlink(submodel);
}

void delete_pio(GraphModel& model, Pio* pio)
{
    if (!pio)
        return;
    if (isCurrent(model))
        View().drawPio(*pio, 0);
    while (!pio->attachments.empty())
        delete_connection(model, pio->attachments.front().connection);
    model.names.remove(pio->name, pio);
    model.pios.unlink(pio);
}

int delete_at(int x, int y)
{
    GraphModel& model = CurrentModel();
    void* object = nullptr;
    switch (hit_object(model, x, y, object)) {
    case END_SUBMODEL:
        if (!View().editorGuard(6, object))
            return 0;
        delete_submodel(model, static_cast<Submodel*>(object));
        break;
    case END_PIO:
        if (!View().editorGuard(8, object))
            return 0;
        delete_pio(model, static_cast<Pio*>(object));
        break;
    default: {
        Connection* connection = hit_connection(model, x, y);
        if (!connection || !View().editorGuard(5, connection))
            return 0;
        delete_connection(model, connection);
        break;
    }
    }
    MarkEdited(model, 1);
    return 1;
}

int is_junction_type(const SubmodelType* type)
{
    return type && (type->libraryIndex == 0 || type->libraryIndex == 1) ? 1 : 0;
}

int is_sum_type(const std::string& name)
{
    return name == "plus" || name == "Plus" || name == "minus" || name == "Minus";
}

// ---------------------------------------------------------------------------------------------
// Marks

namespace {

/// Changes a flag of an object, erasing it as it was and drawing it as it is now.
template <class Object, class Draw>
bool changeFlag(Object& object, int Object::*flag, int value, Draw draw)
{
    value = value ? 1 : 0;
    if (object.*flag == value)
        return false;
    draw(object, 0);
    object.*flag = value;
    draw(object, 1);
    return true;
}

auto drawSubmodel = [](Submodel& s, int draw) { View().drawSubmodel(s, draw); };
auto drawPio = [](Pio& p, int draw) { View().drawPio(p, draw); };

} // namespace

void SetSubmodelErrorMark(Submodel& submodel, int flag)
{
    changeFlag(submodel, &Submodel::errorMark, flag, drawSubmodel);
}

void SetSubmodelSelected(Submodel& submodel, int flag)
{
    if (!changeFlag(submodel, &Submodel::selected, flag, drawSubmodel))
        return;
    if (!submodel.selected) {
        View().showStatus("", 0);
        return;
    }
    View().showStatus(SubmodelSelectionText(submodel), 0);
}

std::string SubmodelSelectionText(const Submodel& submodel)
{
    const SubmodelType* type = submodel.type;
    return "Submodel \"" + (type ? type->name : std::string()) + "." + std::to_string(type ? type->version : 0) +
           "\" named \"" + submodel.name + "\"";
}

void SetPioErrorMark(Pio& pio, int flag)
{
    changeFlag(pio, &Pio::errorMark, flag, drawPio);
}

void SetPioSelected(Pio& pio, int flag)
{
    changeFlag(pio, &Pio::selected, flag, drawPio);
}

void SetConnectionSelected(Connection& connection, int flag)
{
    changeFlag(connection, &Connection::selected, flag,
               [](Connection& c, int draw) { View().drawConnection(c, draw); });
}
