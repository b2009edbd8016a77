// The generated chain models the model-processor benchmarks process.
#pragma once

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>

/// The junctions the generated chains are built of: three named ports with fixed orientations,
/// a 1-junction whose effort at p1 is spent over p2 and p3 and a 0-junction whose flow at p1
/// leaves through p2 and p3. The library's junctions take any number of bonds on one port array;
/// these keep the chains (and the processing tests written on them) as they were measured.
inline const char* const kThreePortOneJunction =
    "class 1j version 1\ninterface\n  ports: p1, p2, p3\n  orientation restrictions\n    fixed\n      in p1\n"
    "      out p2, p3\n  causality restrictions\n    constraint\n      1_effort p1, p2, p3\nequations\n"
    "  p2.f = p1.f\n  p3.f = p1.f\n  p1.e = p2.e + p3.e\n";
inline const char* const kThreePortZeroJunction =
    "class 0j version 1\ninterface\n  ports: p1, p2, p3\n  orientation restrictions\n    fixed\n      in p1\n"
    "      out p2, p3\n  causality restrictions\n    constraint\n      1_flow p1, p2, p3\nequations\n"
    "  p2.e = p1.e\n  p3.e = p1.e\n  p1.f = p2.f + p3.f\n";
inline const std::pair<const char*, const char*> kThreePortJunctions[] = {{"1j1.sf0", kThreePortOneJunction},
                                                                           {"0j1.sf0", kThreePortZeroJunction}};

/// Writes the three-port junctions into `dir`, in front of any library searched after it.
inline void writeThreePortJunctions(const std::filesystem::path& dir)
{
    for (const auto& [file, text] : kThreePortJunctions)
        std::ofstream(dir / file) << text;
}

/// A force drives the first cell, a damper ends the chain; each cell is a 1-junction with a
/// mass and a 0-junction with a spring, eight equations and two states.
inline std::string chainModel(int n)
{
    std::ostringstream text;
    text << "bond graph chain version 1\nsubclasses\n  se;1 f\n  r;1 d\n";
    for (int k = 0; k < n; ++k)
        text << "  1j;1 v" << k << "\n  0j;1 s" << k << "\n  i;1 m" << k << "\n  c;1 k" << k << "\n";
    text << "connections\n  f`p -> v0`p1\n";
    for (int k = 0; k < n; ++k) {
        text << "  v" << k << "`p2 -> m" << k << "`p\n  v" << k << "`p3 -> s" << k << "`p1\n";
        text << "  s" << k << "`p2 -> k" << k << "`p\n";
        if (k + 1 < n)
            text << "  s" << k << "`p3 -> v" << (k + 1) << "`p1\n";
        else
            text << "  s" << k << "`p3 -> d`p\n";
    }
    return text.str();
}

/// The chain with each cell a graph submodel of its own type "cell" (ports a and b), so that
/// expansion dissolves as many graph submodels as there are cells.
inline std::string nestedChainModel(int n)
{
    std::ostringstream text;
    text << "bond graph chain version 1\nsubclasses\n  se;1 f\n  r;1 d\n";
    for (int k = 0; k < n; ++k)
        text << "  cell;1 c" << k << "\n";
    text << "connections\n  f`p -> c0`a\n";
    for (int k = 0; k + 1 < n; ++k)
        text << "  c" << k << "`b -> c" << (k + 1) << "`a\n";
    text << "  c" << (n - 1) << "`b -> d`p\n";
    return text.str();
}

/// The graph submodel of one cell of the nested chain.
inline const char* const kNestedChainCell = "bond graph cell version 1\ninterface\n  ports: a, b\n"
                                            "subclasses\n  1j;1 v\n  0j;1 s\n  i;1 m\n  c;1 k\n"
                                            "connections\n  v`p1 -- a\n  v`p2 -> m`p\n  v`p3 -> s`p1\n"
                                            "  s`p2 -> k`p\n  s`p3 -- b\n";

/// A chain of cells of a 1-junction and a 0-junction with a damper each, driven by a force and
/// ended by a damper: nothing stores energy, so the dampers are left to the free phases of the
/// causal analysis, and every cell holds algebraic loops.
inline std::string damperChainModel(int n)
{
    std::ostringstream text;
    text << "bond graph dampers version 1\nsubclasses\n  se;1 f\n  r;1 d\n";
    for (int k = 0; k < n; ++k)
        text << "  1j;1 v" << k << "\n  0j;1 s" << k << "\n  r;1 a" << k << ", b" << k << "\n";
    text << "connections\n  f`p -> v0`p1\n";
    for (int k = 0; k < n; ++k) {
        text << "  v" << k << "`p2 -> a" << k << "`p\n  v" << k << "`p3 -> s" << k << "`p1\n";
        text << "  s" << k << "`p2 -> b" << k << "`p\n";
        text << "  s" << k << "`p3 -> " << (k + 1 < n ? "v" + std::to_string(k + 1) + "`p1" : std::string("d`p"))
             << "\n";
    }
    return text.str();
}

/// Makes `dir` afresh with the library elements the chain uses (from `library`), its three-port
/// junctions and the chain of `n` cells as "chain1.mg0".
inline void writeChainDirectory(const std::filesystem::path& dir, const std::string& library, int n)
{
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    for (const char* name : {"se1", "r1", "i1", "c1"})
        std::filesystem::copy_file(library + "/" + name + ".sf0", dir / (std::string(name) + ".sf0"));
    writeThreePortJunctions(dir);
    std::ofstream(dir / "chain1.mg0") << chainModel(n);
}
