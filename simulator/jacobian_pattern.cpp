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
const double* destinationOf(const Instruction& row) { return row.destination; }
const double* firstOperandOf(const Instruction& row) { return row.operand1; }
const double* secondOperandOf(const Instruction& row) { return row.operand2; }
const Instruction* jumpTargetOf(const Instruction& row) { return row.target; }
std::int64_t arrayExtentOf(const Instruction& row) { return row.extent; }

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

/// One instruction row as numbers: its effect, its cells and the extent of its array or the
/// row its jump goes to.
struct Step {
    Effect effect;
    std::uint32_t destination, first, second;
    std::int64_t reach;
};

/// The dependency reading of one table over numbered cells. The sets, ascending components, live
/// in one arena: the starting sets first, then every set a pass makes.
class Reading {
public:
    Reading(std::vector<Step> steps, std::size_t cells, std::size_t budget)
        : m_steps(std::move(steps)), m_start(cells, Ref{0, 0}), m_written(cells, 0), m_readFirst(cells, 0),
          m_budget(budget)
    {
    }

    /// Gives cells their starting sets (replacing those they had) before the next pass.
    void startWith(const std::vector<std::pair<std::uint32_t, std::vector<int>>>& sets)
    {
        m_arena.resize(m_startEnd);
        for (const auto& [cell, set] : sets) {
            m_start[cell] = Ref{std::uint32_t(m_arena.size()), std::uint32_t(set.size())};
            m_arena.insert(m_arena.end(), set.begin(), set.end());
        }
        m_startEnd = m_arena.size();
    }

    /// One pass from the starting sets; false when it would cost more than its budget.
    bool pass()
    {
        m_arena.resize(m_startEnd);
        m_sets = m_start;
        std::fill(m_written.begin(), m_written.end(), 0);
        std::fill(m_readFirst.begin(), m_readFirst.end(), 0);
        std::vector<Region> regions;
        const std::int64_t rows = std::int64_t(m_steps.size());
        for (std::int64_t i = 0; i < rows; ++i) {
            while (!regions.empty() && regions.back().end <= i)
                regions.pop_back();
            const Step& s = m_steps[std::size_t(i)];
            const Set* taint = regions.empty() ? nullptr : &regions.back().taint;
            m_source.clear();
            switch (s.effect) {
            case Effect::Compute:
                read(s.first);
                read(s.second);
                write(s.destination, taint);
                break;
            case Effect::ArrayRead:
                read(s.second);
                for (std::int64_t k = 0; k < s.reach && s.first != None; ++k)
                    read(s.first + std::uint32_t(k));
                write(s.destination, taint);
                break;
            case Effect::ArrayWrite:
                read(s.first);
                read(s.second);
                for (std::int64_t k = 0; k < s.reach && s.destination != None; ++k)
                    write(s.destination + std::uint32_t(k), taint ? taint : &m_empty, true);
                break;
            case Effect::Reset:
                read(s.destination);
                read(s.second);
                write(s.first, taint ? taint : &m_empty, true);
                break;
            case Effect::Nothing:
            case Effect::End:
                break;
            case Effect::Jump:
            case Effect::ConditionalJump: {
                // The part ends where all paths from here meet: past every jump target inside it.
                std::int64_t end = s.reach;
                for (std::int64_t k = i + 1; k < end; ++k) {
                    const Step& inner = m_steps[std::size_t(k)];
                    if (inner.effect == Effect::Jump || inner.effect == Effect::ConditionalJump)
                        end = std::max(end, inner.reach);
                }
                if (s.effect == Effect::ConditionalJump)
                    read(s.first);
                Set combined = taint ? *taint : Set{};
                unite(combined, m_source.data(), m_source.size());
                regions.push_back({end, std::move(combined)});
                break;
            }
            case Effect::Opaque:
                return false;
            }
            if (m_arena.size() > m_budget)
                return false;
        }
        return true;
    }

    /// A cell's set after the pass.
    std::vector<int> setOf(std::uint32_t cell) const { return copy(m_sets[cell]); }

    /// Cells the pass read before writing them, and wrote, with their starting sets grown by the
    /// sets they ended with; empty when none grew.
    std::vector<std::pair<std::uint32_t, std::vector<int>>> carriedAndGrown() const
    {
        std::vector<std::pair<std::uint32_t, std::vector<int>>> grown;
        for (std::uint32_t c = 0; c < m_sets.size(); ++c) {
            if (!m_readFirst[c] || !m_written[c])
                continue;
            std::vector<int> before = copy(m_start[c]);
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

    std::vector<int> copy(Ref r) const { return std::vector<int>(m_arena.begin() + r.at, m_arena.begin() + r.at + r.size); }

    /// Adds a cell's set to the source of the row.
    void read(std::uint32_t cell)
    {
        if (cell == None || cell >= m_sets.size())
            return;
        if (!m_written[cell])
            m_readFirst[cell] = 1;
        const Ref r = m_sets[cell];
        unite(m_source, m_arena.data() + r.at, r.size);
    }

    /// The source becomes the cell's set; where the write may not happen, it joins the set the
    /// cell had, with the condition's.
    void write(std::uint32_t cell, const Set* taint, bool mayNotHappen = false)
    {
        if (cell == None || cell >= m_sets.size())
            return;
        m_written[cell] = 1;
        if (taint || mayNotHappen) {
            Set joined = copy(m_sets[cell]);
            unite(joined, m_source.data(), m_source.size());
            if (taint)
                unite(joined, taint->data(), taint->size());
            store(cell, joined);
        } else {
            store(cell, m_source);
        }
    }

    void store(std::uint32_t cell, const Set& set)
    {
        if (set.empty()) {
            m_sets[cell] = Ref{0, 0};
            return;
        }
        m_sets[cell] = Ref{std::uint32_t(m_arena.size()), std::uint32_t(set.size())};
        m_arena.insert(m_arena.end(), set.begin(), set.end());
    }

    /// into = into | [from, from + size), both ascending.
    static void unite(Set& into, const int* from, std::size_t size)
    {
        if (size == 0)
            return;
        if (into.empty()) {
            into.assign(from, from + size);
            return;
        }
        thread_local Set merged;
        merged.clear();
        std::set_union(into.begin(), into.end(), from, from + size, std::back_inserter(merged));
        into.swap(merged);
    }

    std::vector<Step> m_steps;
    std::vector<int> m_arena;
    std::size_t m_startEnd = 0;
    std::vector<Ref> m_start, m_sets;
    std::vector<char> m_written, m_readFirst;
    Set m_source;
    const Set m_empty;
    std::size_t m_budget;
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

} // namespace

std::optional<std::vector<std::vector<int>>> ResidualDependencies()
{
    ModelVariables& m = Variables();
    const int n = m.integratedTotal;
    const int ns = m.kinds[KindState].count;
    const int nS = m.kinds[KindDependentState].count;
    const int na = m.kinds[KindLoopInput].count;
    const InstructionTable& table = InstructionTables()[2];
    if (n <= 0 || m.y.size() < std::size_t(n) || m.yPrime.size() < std::size_t(n))
        return std::nullopt;

    CellNumbers cells;
    std::size_t rows = table.rows.size();
    for (std::size_t i = 0; i < table.rows.size(); ++i) {
        const Instruction& row = table.rows[i];
        const Effect effect = effectOf(handlerOf(row));
        if (effect == Effect::Opaque || (effect == Effect::End && i + 1 != table.rows.size()))
            return std::nullopt;
        if (effect == Effect::End) {
            rows = i;
            break;
        }
        if (effect == Effect::Compute || effect == Effect::ArrayRead)
            cells.written(destinationOf(row));
        else if (effect == Effect::Reset)
            cells.written(firstOperandOf(row));
    }
    std::vector<Step> steps(rows);
    const Instruction* base = table.rows.data();
    for (std::size_t i = 0; i < rows; ++i) {
        const Instruction& row = table.rows[i];
        Step& step = steps[i];
        step.effect = effectOf(handlerOf(row));
        step.destination = cells.number(destinationOf(row));
        step.first = cells.number(firstOperandOf(row));
        step.second = cells.number(secondOperandOf(row));
        step.reach = 0;
        if (step.effect == Effect::ArrayRead || step.effect == Effect::ArrayWrite)
            step.reach = arrayExtentOf(row);
        if (step.effect == Effect::Jump || step.effect == Effect::ConditionalJump) {
            step.destination = None;
            const Instruction* target = jumpTargetOf(row);
            step.reach = target ? std::int64_t(target - base) : std::int64_t(rows);
            if (step.reach <= std::int64_t(i))
                return std::nullopt;
        }
    }
    // The reading must cost well below what the dense Jacobian's n evaluations would.
    const std::size_t budget = 4'000'000 + 32 * rows + 4 * std::size_t(n);
    Reading reading(std::move(steps), cells.count(), budget);

    std::vector<std::pair<std::uint32_t, std::vector<int>>> start;
    start.reserve(2 * std::size_t(n));
    for (int c = 0; c < n; ++c) {
        start.emplace_back(cells.y + std::uint32_t(c), std::vector<int>{c});
        start.emplace_back(cells.yPrime + std::uint32_t(c), std::vector<int>{c});
    }
    reading.startWith(start);
    constexpr int MaximumPasses = 4;
    bool settled = false;
    for (int pass = 0; pass < MaximumPasses && !settled; ++pass) {
        if (!reading.pass())
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
    const auto& dae = daeStructure();
    Structures& s = g_structures;
    if (!s.vodeChosen) {
        s.vodeChosen = true;
        const int ns = Variables().kinds[KindState].count;
        if (dae && ns > 0) {
            // The rates over the independent states: CVODE perturbs nothing else.
            std::vector<std::vector<int>> rows(static_cast<std::size_t>(ns));
            for (int j = 0; j < ns; ++j)
                for (auto p = dae->columnStart[std::size_t(j)]; p < dae->columnStart[std::size_t(j) + 1]; ++p)
                    if (dae->rows[std::size_t(p)] < ns)
                        rows[std::size_t(dae->rows[std::size_t(p)])].push_back(j);
            s.vode = chosen(numerics::patternFromRows(rows));
        }
    }
    return s.vode.get();
}

void SetJacobianChoice(JacobianChoice choice)
{
    if (choice == g_choice)
        return;
    g_choice = choice;
    g_structures.bdfChosen = g_structures.vodeChosen = false;
    g_structures.bdf.reset();
    g_structures.vode.reset();
}
