#include "nmea/Dop.h"

#include <array>
#include <cmath>

namespace fixcaster {

namespace {

constexpr int MaxUnknowns = 4;
using Matrix = std::array<std::array<double, MaxUnknowns>, MaxUnknowns>;

// Diagonal of the inverse of the k x k normal matrix by its Cholesky factor L:
// (N^-1)jj is the squared norm of column j of L^-1. False when a pivot vanishes
// against the matrix's scale, i.e. the geometry does not determine the unknowns.
bool InverseDiagonal(const Matrix& n, int k, std::array<double, MaxUnknowns>& diagonal) {
  double scale = 0;
  for (int i = 0; i < k; ++i) scale = std::fmax(scale, n[i][i]);
  Matrix l{};
  for (int j = 0; j < k; ++j) {
    double d = n[j][j];
    for (int p = 0; p < j; ++p) d -= l[j][p] * l[j][p];
    if (!(d > 1e-12 * scale)) return false;
    l[j][j] = std::sqrt(d);
    for (int i = j + 1; i < k; ++i) {
      double s = n[i][j];
      for (int p = 0; p < j; ++p) s -= l[i][p] * l[j][p];
      l[i][j] = s / l[j][j];
    }
  }
  Matrix inv{};  // L^-1, lower triangular
  for (int j = 0; j < k; ++j) {
    inv[j][j] = 1 / l[j][j];
    for (int i = j + 1; i < k; ++i) {
      double s = 0;
      for (int p = j; p < i; ++p) s -= l[i][p] * inv[p][j];
      inv[i][j] = s / l[i][i];
    }
  }
  for (int j = 0; j < k; ++j) {
    double s = 0;
    for (int i = j; i < k; ++i) s += inv[i][j] * inv[i][j];
    diagonal[j] = s;
  }
  return true;
}

}  // namespace

std::optional<DilutionOfPrecision> ComputeDop(std::span<const LineOfSight> used) {
  const bool threeD = used.size() >= 4;
  if (used.size() < 3) return std::nullopt;
  const int k = threeD ? 4 : 3;
  Matrix n{};
  for (const LineOfSight& s : used) {
    // Rows -e, -n, (-u,) 1; with the height held the up column is gone.
    std::array<double, MaxUnknowns> row{};
    if (threeD) {
      row = {-s.East, -s.North, -s.Up, 1};
    } else {
      row = {-s.East, -s.North, 1, 0};
    }
    for (int i = 0; i < k; ++i) {
      for (int j = 0; j <= i; ++j) n[i][j] += row[i] * row[j];
    }
  }
  for (int i = 0; i < k; ++i) {
    for (int j = i + 1; j < k; ++j) n[i][j] = n[j][i];
  }
  std::array<double, MaxUnknowns> q{};
  if (!InverseDiagonal(n, k, q)) return std::nullopt;
  DilutionOfPrecision d;
  d.Hdop = std::sqrt(q[0] + q[1]);
  if (threeD) {
    d.Vdop = std::sqrt(q[2]);
    d.Pdop = std::sqrt(q[0] + q[1] + q[2]);
    d.Dimensions = 3;
  } else {
    d.Vdop = 0;
    d.Pdop = d.Hdop;
    d.Dimensions = 2;
  }
  return d;
}

}  // namespace fixcaster
