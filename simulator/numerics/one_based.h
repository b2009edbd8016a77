// Views that index caller-owned arrays from 1, column by column, as the numerical routines do.
#pragma once

namespace numerics {

/// A vector seen with indices 1..n.
template <typename T>
struct Vec1 {
    T *data;
    T &operator()(int i) const { return data[i - 1]; }
    /// Address of element i, for handing a slice on.
    T *at(int i) const { return data + (i - 1); }
};

/// A column-major matrix with leading dimension ld, seen with indices (1..ld, 1..n).
template <typename T>
struct Mat1 {
    T *data;
    int ld;
    T &operator()(int i, int j) const { return data[(i - 1) + static_cast<long>(j - 1) * ld]; }
    T *at(int i, int j) const { return data + (i - 1) + static_cast<long>(j - 1) * ld; }
};

template <typename T>
Vec1<T> vec1(T *p) { return Vec1<T>{p}; }

template <typename T>
Mat1<T> mat1(T *p, int ld) { return Mat1<T>{p, ld}; }

} // namespace numerics
