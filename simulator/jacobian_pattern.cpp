// The structure of the stiff methods' Jacobians from the dynamic-model table.
//
// One forward pass over the table carries, for every value cell, the set of integrated
// components its value depends on: a cell of the integrated vector y or of its derivative y'
// starts as its own component, every other cell as nothing; an operation's result gets the union
// of its operands' sets. Jumps only go forward, so a conditional part ends where every path from
// its jump meets again; inside it a write may not happen, so it adds to the cell's set instead of
// replacing it, together with the set of the condition. A cell read before the table writes it
// holds the value of the evaluation before, so such cells start the next pass with the sets they
// ended with, until nothing changes. The residual rows then read off the sets of the rate, dependent
// state and loop-result cells.
#include "simulator/jacobian_pattern.h"

#include "simulator/interpreter.h"
#include "simulator/model_variables.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <new>
#include <string_view>
#include <unordered_map>

namespace {

// The fields of an instruction row that the reading needs, in one place.
OperationHandler handlerOf(const Instruction& row) { return row.handler; }
const double* destinationOf(const Instruction& row) { return IsJumpHandler(row.handler) ? nullptr : row.destination; }
const double* firstOperandOf(const Instruction& row) { return row.operand1; }
const double* secondOperandOf(const Instruction& row) { return row.operand2; }
const Instruction* jumpTargetOf(const Instruction& row) { return JumpTarget(row); }
std::int64_t arrayExtentOf(const Instruction& row) { return DetailOf(&row).extent; }

/// What an operation does to the cells, as far as dependencies go.
enum class Effect {
    Compute,         ///< destination from operand 1 and operand 2 (when present)
    ArrayRead,       ///< `mar`: destination from any element of operand 1's array and operand 2
    ArrayWrite,      ///< `mra`: some element of the destination's array from both operands
    Reset,           ///< `rst`: perhaps operand 1 from operand 2, on the destination's value
    Nothing,         ///< writes no cell
    Jump,            ///< `jmp`
    ConditionalJump, ///< jump on operand 1
    End,
    Opaque,          ///< writes cells no operand names (`dll`)
};

Effect effectOfRow(const OpcodeRow& row)
{
    const std::string_view m = row.mnemonic;
    if (m == "mar")
        return Effect::ArrayRead;
    if (m == "mra")
        return Effect::ArrayWrite;
    if (m == "rst")
        return Effect::Reset;
    if (m == "plf" || m == "hlg" || m == "flk")
        return Effect::Nothing;
    if (m == "dll")
        return Effect::Opaque;
    switch (row.token) {
    case ShapeNone: return Effect::End;
    case ShapeJump: return Effect::Jump;
    case ShapeCondJump: return Effect::ConditionalJump;
    default: return Effect::Compute;
    }
}

Effect effectOf(OperationHandler handler)
{
    static const std::unordered_map<OperationHandler, Effect> effects = [] {
        std::unordered_map<OperationHandler, Effect> map;
        for (const OpcodeRow& row : OpcodeTable)
            map.emplace(row.handler, effectOfRow(row));
        return map;
    }();
    const auto found = effects.find(handler);
    return found != effects.end() ? found->second : Effect::Opaque;
}

/// Numbers the value cells: the variable arrays by position; any other cell the table writes as
/// met, and any other cell it only reads (a constant) not at all.
class CellNumbers {
public:
    static constexpr std::uint32_t None = ~std::uint32_t(0);

    CellNumbers()
    {
        ModelVariables& m = Variables();
        auto add = [this](const double* begin, std::size_t size) {
            if (begin && size > 0)
                m_ranges.push_back({begin, size, 0});
        };
        add(m.y.data(), m.y.size());
        add(m.yPrime.data(), m.yPrime.size());
        add(m.rates.data(), m.rates.size());
        add(m.dependentStates.data(), m.dependentStates.size());
        add(m.loopResults.data(), m.loopResults.size());
        for (const VariableKind& k : m.kinds)
            add(k.values, std::size_t(k.count) + 1);
        std::sort(m_ranges.begin(), m_ranges.end(), [](const Range& a, const Range& b) { return a.begin < b.begin; });
        // The integrated kinds live inside the vectors above: keep the outermost ranges only.
        std::vector<Range> outer;
        for (const Range& r : m_ranges)
            if (outer.empty() || r.begin >= outer.back().begin + outer.back().size)
                outer.push_back(r);
        m_ranges = std::move(outer);
        for (Range& r : m_ranges) {
            r.first = m_count;
            m_count += r.size;
        }
        y = number(m.y.data());
        yPrime = number(m.yPrime.data());
    }

    /// Gives a number to a written cell outside the variable arrays.
    void written(const double* cell)
    {
        if (cell && inRanges(cell) == None && m_others.emplace(cell, std::uint32_t(m_count)).second)
            ++m_count;
    }

    std::uint32_t number(const double* cell) const
    {
        if (!cell)
            return None;
        const std::uint32_t inside = inRanges(cell);
        if (inside != None || m_others.empty())
            return inside;
        const auto found = m_others.find(cell);
        return found != m_others.end() ? found->second : None;
    }

    std::size_t count() const { return m_count; }

    std::uint32_t y = 0;      ///< number of y[0]
    std::uint32_t yPrime = 0; ///< number of y'[0]

private:
    std::uint32_t inRanges(const double* cell) const
    {
        auto it = std::upper_bound(m_ranges.begin(), m_ranges.end(), cell,
                                   [](const double* p, const Range& r) { return p < r.begin; });
        if (it == m_ranges.begin())
            return None;
        --it;
        return cell < it->begin + it->size ? std::uint32_t(it->first + std::size_t(cell - it->begin)) : None;
    }

    struct Range {
        const double* begin;
        std::size_t size;
        std::size_t first;
    };
    std::vector<Range> m_ranges;
    std::unordered_map<const double*, std::uint32_t> m_others;
    std::size_t m_count = 0;
};

constexpr std::uint32_t None = CellNumbers::None;

/// The dependency reading of one table over numbered cells, straight from its rows. The sets,
/// ascending components, live in one arena: the starting sets first, then the sets a pass makes;
/// a set that shrinks or keeps its size is rewritten in place.
class Reading {
public:
    Reading(const std::vector<Instruction>& rows, std::vector<Effect> effects, const CellNumbers& cells,
            std::size_t budget)
        : m_rows(rows), m_effects(std::move(effects)), m_cells(cells), m_sets(cells.count(), Ref{0, 0}),
          m_flags(cells.count(), 0), m_budget(budget)
    {
    }

    /// Gives cells their starting sets (replacing those they had) before the next pass.
    void startWith(const std::vector<std::pair<std::uint32_t, std::vector<int>>>& sets)
    {
        m_arena.resize(m_startEnd);
        for (const auto& [cell, set] : sets) {
            auto known = std::find_if(m_start.begin(), m_start.end(), [c = cell](const auto& s) { return s.first == c; });
            const Ref ref{std::uint32_t(m_arena.size()), std::uint32_t(set.size())};
            if (known != m_start.end())
                known->second = ref;
            else
                m_start.emplace_back(cell, ref);
            m_arena.insert(m_arena.end(), set.begin(), set.end());
        }
        m_startEnd = m_arena.size();
    }

    /// Starts every integrated component's own two cells, y and y', with the component itself.
    void startWithComponents(int n)
    {
        m_arena.resize(m_startEnd);
        for (int c = 0; c < n; ++c) {
            for (const std::uint32_t cell : {m_cells.y + std::uint32_t(c), m_cells.yPrime + std::uint32_t(c)}) {
                m_start.emplace_back(cell, Ref{std::uint32_t(m_arena.size()), 1});
                m_arena.push_back(c);
            }
        }
        m_startEnd = m_arena.size();
    }

    /// One pass from the starting sets; false when it would cost more than its budget.
    bool pass()
    {
        m_arena.resize(m_startEnd);
        std::fill(m_sets.begin(), m_sets.end(), Ref{0, 0});
        std::fill(m_flags.begin(), m_flags.end(), 0);
        for (const auto& [cell, ref] : m_start)
            m_sets[cell] = ref;
        std::vector<Region> regions;
        const Instruction* base = m_rows.data();
        const std::int64_t rows = std::int64_t(m_effects.size());
        for (std::int64_t i = 0; i < rows; ++i) {
            while (!regions.empty() && regions.back().end <= i)
                regions.pop_back();
            const Instruction& row = m_rows[std::size_t(i)];
            const Effect effect = m_effects[std::size_t(i)];
            const Set* taint = regions.empty() ? nullptr : &regions.back().taint;
            const std::uint32_t destination = m_cells.number(destinationOf(row));
            const std::uint32_t first = m_cells.number(firstOperandOf(row));
            const std::uint32_t second = m_cells.number(secondOperandOf(row));
            m_source.clear();
            switch (effect) {
            case Effect::Compute:
                read(first);
                read(second);
                write(destination, taint);
                break;
            case Effect::ArrayRead:
                read(second);
                for (std::int64_t k = 0; k < arrayExtentOf(row) && first != None && m_spent <= m_budget; ++k)
                    read(first + std::uint32_t(k));
                write(destination, taint);
                break;
            case Effect::ArrayWrite:
                read(first);
                read(second);
                for (std::int64_t k = 0; k < arrayExtentOf(row) && destination != None; ++k)
                    write(destination + std::uint32_t(k), taint ? taint : &m_empty);
                break;
            case Effect::Reset:
                read(destination);
                read(second);
                write(first, taint ? taint : &m_empty);
                break;
            case Effect::Nothing:
            case Effect::End:
                break;
            case Effect::Jump:
            case Effect::ConditionalJump: {
                // The part ends where all paths from here meet: past every jump target inside it.
                std::int64_t end = targetOf(row, base);
                for (std::int64_t k = i + 1; k < end; ++k) {
                    const Effect inner = m_effects[std::size_t(k)];
                    if (inner == Effect::Jump || inner == Effect::ConditionalJump)
                        end = std::max(end, targetOf(m_rows[std::size_t(k)], base));
                }
                m_spent += std::size_t(end - i);
                if (effect == Effect::ConditionalJump)
                    read(first);
                Set combined = taint ? *taint : Set{};
                unite(combined, m_source.data(), m_source.size());
                regions.push_back({end, std::move(combined)});
                break;
            }
            case Effect::Opaque:
                return false;
            }
            if (m_spent > m_budget)
                return false;
        }
        return true;
    }

    /// The work done so far, in set elements made.
    std::size_t spent() const { return m_spent; }

    /// A cell's set after the pass.
    std::vector<int> setOf(std::uint32_t cell) const { return cell == None ? std::vector<int>{} : copy(m_sets[cell]); }

    /// Cells the pass read before writing them, and wrote, with their starting sets grown by the
    /// sets they ended with; empty when none grew.
    std::vector<std::pair<std::uint32_t, std::vector<int>>> carriedAndGrown() const
    {
        std::vector<std::pair<std::uint32_t, std::vector<int>>> grown;
        for (std::uint32_t c = 0; c < m_sets.size(); ++c) {
            if (m_flags[c] != (ReadFirst | Written))
                continue;
            auto known = std::find_if(m_start.begin(), m_start.end(), [c](const auto& s) { return s.first == c; });
            std::vector<int> before = known != m_start.end() ? copy(known->second) : std::vector<int>{};
            std::vector<int> after = before;
            const Ref end = m_sets[c];
            unite(after, m_arena.data() + end.at, end.size);
            if (after != before)
                grown.emplace_back(c, std::move(after));
        }
        return grown;
    }

private:
    using Set = std::vector<int>;
    struct Ref {
        std::uint32_t at, size;
    };
    /// A conditional part: the row where its paths meet, and what decides whether it runs.
    struct Region {
        std::int64_t end;
        Set taint;
    };
    enum : char { Written = 1, ReadFirst = 2 };

    /// The row a jump goes to; a jump nowhere goes past the last row.
    std::int64_t targetOf(const Instruction& row, const Instruction* base) const
    {
        const Instruction* target = jumpTargetOf(row);
        return target ? std::int64_t(target - base) : std::int64_t(m_effects.size());
    }

    std::vector<int> copy(Ref r) const { return std::vector<int>(m_arena.begin() + r.at, m_arena.begin() + r.at + r.size); }

    /// Adds a cell's set to the source of the row.
    void read(std::uint32_t cell)
    {
        if (cell == None)
            return;
        if (!(m_flags[cell] & Written))
            m_flags[cell] |= ReadFirst;
        const Ref r = m_sets[cell];
        unite(m_source, m_arena.data() + r.at, r.size);
        m_spent += m_source.size();
    }

    /// The source becomes the cell's set; where the write may not happen (a taint is given), it
    /// joins the set the cell had, with the taint.
    void write(std::uint32_t cell, const Set* taint)
    {
        if (cell == None)
            return;
        m_flags[cell] |= Written;
        if (!taint) {
            store(cell, m_source);
            return;
        }
        m_joined = m_source;
        const Ref old = m_sets[cell];
        unite(m_joined, m_arena.data() + old.at, old.size);
        unite(m_joined, taint->data(), taint->size());
        store(cell, m_joined);
    }

    void store(std::uint32_t cell, const Set& set)
    {
        Ref& ref = m_sets[cell];
        m_spent += set.size();
        if (ref.at >= m_startEnd && set.size() <= ref.size) {
            std::copy(set.begin(), set.end(), m_arena.begin() + ref.at);
            ref.size = std::uint32_t(set.size());
            return;
        }
        if (set.empty()) {
            ref = Ref{0, 0};
            return;
        }
        ref = Ref{std::uint32_t(m_arena.size()), std::uint32_t(set.size())};
        m_arena.insert(m_arena.end(), set.begin(), set.end());
    }

    /// into = into | [from, from + size), both ascending.
    void unite(Set& into, const int* from, std::size_t size) const
    {
        if (size == 0)
            return;
        if (into.empty()) {
            into.assign(from, from + size);
            return;
        }
        m_merged.clear();
        std::set_union(into.begin(), into.end(), from, from + size, std::back_inserter(m_merged));
        into.swap(m_merged);
    }

    const std::vector<Instruction>& m_rows;
    std::vector<Effect> m_effects;
    const CellNumbers& m_cells;
    std::vector<int> m_arena;
    std::size_t m_startEnd = 0;
    std::vector<std::pair<std::uint32_t, Ref>> m_start;
    std::vector<Ref> m_sets;
    std::vector<char> m_flags;
    Set m_source, m_joined;
    mutable Set m_merged;
    const Set m_empty;
    std::size_t m_budget;
    std::size_t m_spent = 0;
};

/// The cache of the loaded model's structures, recognised by a fingerprint of the table and the
/// variable layout.
struct Structures {
    std::uint64_t fingerprint = 0;
    bool read = false;
    std::optional<numerics::SparsePattern> dae; ///< the full structure of the BDF residual
    bool bdfChosen = false, vodeChosen = false;
    std::unique_ptr<numerics::SparseJacobian> bdf, vode;
};

Structures g_structures;
JacobianChoice g_choice = JacobianChoice::FromStructure;

std::uint64_t mix(std::uint64_t h, std::uint64_t v)
{
    h ^= v + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
    return h * 0xff51afd7ed558ccdULL;
}

std::uint64_t fingerprint()
{
    const InstructionTable& table = InstructionTables()[2];
    const ModelVariables& m = Variables();
    std::uint64_t h = 0x12345;
    auto word = [&h](const void* p) { h = mix(h, std::uint64_t(reinterpret_cast<std::uintptr_t>(p))); };
    for (const auto* v : {&m.y, &m.yPrime, &m.rates, &m.dependentStates, &m.loopResults}) {
        word(v->data());
        h = mix(h, v->size());
    }
    for (const VariableKind& k : m.kinds) {
        word(k.values);
        h = mix(h, std::uint64_t(k.count));
    }
    h = mix(h, table.rows.size());
    for (const Instruction& row : table.rows) {
        word(reinterpret_cast<const void*>(handlerOf(row)));
        word(destinationOf(row));
        word(firstOperandOf(row));
        word(secondOperandOf(row));
        word(jumpTargetOf(row));
        h = mix(h, std::uint64_t(arrayExtentOf(row)));
    }
    return h;
}

/// Makes sure the cache belongs to the loaded model.
Structures& structures()
{
    const std::uint64_t now = fingerprint();
    if (!g_structures.read || g_structures.fingerprint != now) {
        g_structures = Structures{};
        g_structures.fingerprint = now;
    }
    return g_structures;
}

const std::optional<numerics::SparsePattern>& daeStructure()
{
    Structures& s = structures();
    if (!s.read) {
        s.read = true;
        try {
            if (auto rows = ResidualDependencies())
                s.dae = numerics::patternFromRows(*rows);
        } catch (const std::bad_alloc&) {
            s.dae.reset(); // no room to read it: the dense matrix says so itself
        }
    }
    return s.dae;
}

std::unique_ptr<numerics::SparseJacobian> chosen(numerics::SparsePattern pattern)
{
    if (pattern.n == 0 || g_choice == JacobianChoice::Dense)
        return nullptr;
    if (g_choice == JacobianChoice::FromStructure && !numerics::sparseIsWorthwhile(pattern))
        return nullptr;
    try {
        return std::make_unique<numerics::SparseJacobian>(std::move(pattern));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

/// True when the structure is not worth reading: the dense matrix serves a small model anyway.
bool tooSmall(int n) { return g_choice == JacobianChoice::FromStructure && n < numerics::MinimumSparseOrder; }

/// The work of the last reading, in set elements made.
std::size_t g_lastReadingWork = 0;

} // namespace

std::size_t LastDependencyReadingWork() { return g_lastReadingWork; }

std::optional<std::vector<std::vector<int>>> ResidualDependencies()
{
    g_lastReadingWork = 0;
    ModelVariables& m = Variables();
    const int n = m.integratedTotal;
    const int ns = m.kinds[KindState].count;
    const int nS = m.kinds[KindDependentState].count;
    const int na = m.kinds[KindLoopInput].count;
    const InstructionTable& table = InstructionTables()[2];
    if (n <= 0 || m.y.size() < std::size_t(n) || m.yPrime.size() < std::size_t(n))
        return std::nullopt;

    CellNumbers cells;
    std::vector<Effect> effects;
    effects.reserve(table.rows.size());
    for (std::size_t i = 0; i < table.rows.size(); ++i) {
        const Instruction& row = table.rows[i];
        const Effect effect = effectOf(handlerOf(row));
        if (effect == Effect::Opaque || (effect == Effect::End && i + 1 != table.rows.size()))
            return std::nullopt;
        if (effect == Effect::End)
            break;
        if (effect == Effect::Compute || effect == Effect::ArrayRead)
            cells.written(destinationOf(row));
        else if (effect == Effect::Reset)
            cells.written(firstOperandOf(row));
        else if ((effect == Effect::Jump || effect == Effect::ConditionalJump) && jumpTargetOf(row) &&
                 jumpTargetOf(row) <= &row)
            return std::nullopt;
        effects.push_back(effect);
    }
    // The reading (counted in set elements made) must cost well below what the dense Jacobian's
    // n evaluations would.
    const std::size_t budget = 4'000'000 + 64 * effects.size() + 4 * std::size_t(n);
    Reading reading(table.rows, std::move(effects), cells, budget);
    reading.startWithComponents(n);
    constexpr int MaximumPasses = 4;
    bool settled = false;
    for (int pass = 0; pass < MaximumPasses && !settled; ++pass) {
        const bool finished = reading.pass();
        g_lastReadingWork = reading.spent();
        if (!finished)
            return std::nullopt;
        const auto grown = reading.carriedAndGrown();
        settled = grown.empty();
        reading.startWith(grown);
    }
    if (!settled)
        return std::nullopt;

    std::vector<std::vector<int>> dependencies(static_cast<std::size_t>(n));
    auto rowOf = [&](int row, const double* cell) { dependencies[std::size_t(row)] = reading.setOf(cells.number(cell)); };
    for (int i = 0; i < ns; ++i)
        rowOf(i, &m.rates[std::size_t(i)]);
    for (int j = 0; j < nS; ++j)
        rowOf(ns + j, &m.dependentStates[std::size_t(j)]);
    for (int k = 0; k < na; ++k)
        rowOf(ns + nS + k, &m.loopResults[std::size_t(k)]);
    return dependencies;
}

numerics::SparseJacobian* BdfSparseJacobian()
{
    if (tooSmall(Variables().integratedTotal))
        return nullptr;
    const auto& dae = daeStructure();
    Structures& s = g_structures;
    if (!s.bdfChosen) {
        s.bdfChosen = true;
        if (dae)
            s.bdf = chosen(*dae);
    }
    return s.bdf.get();
}

numerics::SparseJacobian* VodeSparseJacobian()
{
    if (tooSmall(Variables().kinds[KindState].count))
        return nullptr;
    const auto& dae = daeStructure();
    Structures& s = g_structures;
    if (!s.vodeChosen) {
        s.vodeChosen = true;
        const int ns = Variables().kinds[KindState].count;
        if (dae && ns > 0) {
            // The rates over the independent states: CVODE perturbs nothing else.
            try {
                std::vector<std::vector<int>> rows(static_cast<std::size_t>(ns));
                for (int j = 0; j < ns; ++j)
                    for (auto p = dae->columnStart[std::size_t(j)]; p < dae->columnStart[std::size_t(j) + 1]; ++p)
                        if (dae->rows[std::size_t(p)] < ns)
                            rows[std::size_t(dae->rows[std::size_t(p)])].push_back(j);
                s.vode = chosen(numerics::patternFromRows(rows));
            } catch (const std::bad_alloc&) {
                s.vode.reset();
            }
        }
    }
    return s.vode.get();
}

void ReleaseJacobianStructures() { g_structures = Structures{}; }

void SetJacobianChoice(JacobianChoice choice)
{
    if (choice == g_choice)
        return;
    g_choice = choice;
    g_structures.bdfChosen = g_structures.vodeChosen = false;
    g_structures.bdf.reset();
    g_structures.vode.reset();
}
