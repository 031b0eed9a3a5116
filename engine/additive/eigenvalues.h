#pragma once

#include <vector>

namespace trov {

// The eigenvalues of a small symmetric matrix (n x n, row by row) in increasing order, by cyclic Jacobi
// rotations: accurate to the rounding of the matrix's largest ones, for the few knots of a basis.
std::vector<double> symmetric_eigenvalues(std::vector<double> a, int n);

}  // namespace trov
