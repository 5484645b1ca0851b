// The least-squares solver: exact, overdetermined, underdetermined and
// rank-deficient systems, standard deviations, progress and abort.
#include "calibration/lsq_solver.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "marovia/zylbase/zylbase.h"

namespace marovia {
namespace {

using Rows = std::vector<std::vector<double>>;

TMatrix MatrixOf(const Rows& rows) {
  TMatrix a(static_cast<int32_t>(rows[0].size()), static_cast<int32_t>(rows.size()));
  for (size_t r = 0; r < rows.size(); ++r)
    for (size_t c = 0; c < rows[r].size(); ++c)
      a.SetVal(static_cast<int32_t>(c) + 1, static_cast<int32_t>(r) + 1, rows[r][c]);
  return a;
}

TVector VectorOf(const std::vector<double>& v) {
  TVector out(static_cast<int32_t>(v.size()));
  for (size_t i = 0; i < v.size(); ++i) out.SetVal(static_cast<int32_t>(i) + 1, v[i]);
  return out;
}

std::vector<double> Solve(const Rows& rows, const std::vector<double>& b, bool* truncated = nullptr,
                          TVector* stdDev = nullptr) {
  TMatrix a = MatrixOf(rows);
  TVector x;
  bool t = false;
  EXPECT_TRUE(SolveLeastSquares(a, VectorOf(b), x, stdDev, t));
  if (truncated) *truncated = t;
  std::vector<double> out;
  for (int32_t i = 1; i <= x.NrOfElem(); ++i) out.push_back(x.GetVal(i));
  return out;
}

// The solver hooks are process-wide; every test leaves them as it found them.
class SolverHooks : public ::testing::Test {
 protected:
  void SetUp() override {
    ProcStat = 0;
    MathFeedBackProc = nullptr;
    AbortMathProc = false;
  }
  void TearDown() override { SetUp(); }
};

using LeastSquaresSolver = SolverHooks;

TEST_F(LeastSquaresSolver, SolvesSquareSystemsExactly) {
  struct Case {
    Rows a;
    std::vector<double> x;
  };
  const Case cases[] = {
      {{{2}}, {3}},
      {{{1, 1}, {1, -1}}, {3, 1}},
      {{{0, 1}, {1, 0}}, {-2, 5}},  // zero on the diagonal
      {{{4, -2, 1}, {-2, 4, -2}, {1, -2, 4}}, {1, 2, 3}},
      {{{1, 1000, 1e6}, {1, 1500, 2.25e6}, {1, 2000, 4e6}}, {7, -0.5, 1e-4}},  // badly scaled
  };
  for (const Case& c : cases) {
    std::vector<double> b(c.a.size(), 0);
    for (size_t r = 0; r < c.a.size(); ++r)
      for (size_t j = 0; j < c.x.size(); ++j) b[r] += c.a[r][j] * c.x[j];
    bool truncated = true;
    const auto x = Solve(c.a, b, &truncated);
    EXPECT_FALSE(truncated);
    for (size_t j = 0; j < c.x.size(); ++j)
      EXPECT_NEAR(x[j], c.x[j], 1e-9 * (1 + std::fabs(c.x[j]))) << "parameter " << j;
  }
}

TEST_F(LeastSquaresSolver, OverdeterminedSystemsGetTheNormalEquationSolution) {
  // Many random rows in 4 parameters; compare with the normal equations
  // solved by Gaussian elimination (well conditioned here).
  std::mt19937 rng(7);
  std::uniform_real_distribution<double> u(-1, 1);
  const int m = 60, n = 4;
  Rows a(m, std::vector<double>(n));
  std::vector<double> b(m);
  for (int r = 0; r < m; ++r) {
    for (int c = 0; c < n; ++c) a[r][c] = u(rng);
    b[r] = u(rng);
  }
  std::vector<std::vector<double>> ne(n, std::vector<double>(n + 1, 0));
  for (int r = 0; r < m; ++r)
    for (int i = 0; i < n; ++i) {
      for (int j = 0; j < n; ++j) ne[i][j] += a[r][i] * a[r][j];
      ne[i][n] += a[r][i] * b[r];
    }
  for (int i = 0; i < n; ++i)
    for (int k = i + 1; k < n; ++k) {
      const double f = ne[k][i] / ne[i][i];
      for (int j = i; j <= n; ++j) ne[k][j] -= f * ne[i][j];
    }
  std::vector<double> expect(n);
  for (int i = n - 1; i >= 0; --i) {
    double s = ne[i][n];
    for (int j = i + 1; j < n; ++j) s -= ne[i][j] * expect[j];
    expect[i] = s / ne[i][i];
  }
  const auto x = Solve(a, b);
  for (int j = 0; j < n; ++j) EXPECT_NEAR(x[j], expect[j], 1e-12);
}

TEST_F(LeastSquaresSolver, UnderdeterminedSystemsGetTheMinimumNormSolution) {
  // x1 + x2 = 2 has the least-norm solution (1, 1).
  bool truncated = false;
  auto x = Solve({{1, 1}}, {2}, &truncated);
  EXPECT_TRUE(truncated);
  EXPECT_NEAR(x[0], 1, 1e-12);
  EXPECT_NEAR(x[1], 1, 1e-12);

  // Two observations of three parameters (a plane through two points):
  // x = A^T (A A^T)^-1 b.
  const Rows a = {{1, 0, 0}, {1, 100, 0}};
  x = Solve(a, {10, 20}, &truncated);
  EXPECT_TRUE(truncated);
  // A A^T = [[1, 1], [1, 10001]] gives y = (9.999, 0.001), x = A^T y.
  EXPECT_NEAR(x[0], 10, 1e-12);
  EXPECT_NEAR(x[1], 0.1, 1e-12);
  EXPECT_EQ(x[2], 0);
}

TEST_F(LeastSquaresSolver, DependentColumnsShareTheirWeightByLeastNorm) {
  // Columns 1, t and 2t: t and 2t split the slope 3 as (0.6, 1.2).
  bool truncated = false;
  const auto x = Solve({{1, 0, 0}, {1, 1, 2}, {1, 2, 4}, {1, 3, 6}}, {1, 4, 7, 10}, &truncated);
  EXPECT_TRUE(truncated);
  EXPECT_NEAR(x[0], 1, 1e-12);
  EXPECT_NEAR(x[1], 0.6, 1e-12);
  EXPECT_NEAR(x[2], 1.2, 1e-12);
}

TEST_F(LeastSquaresSolver, StandardDeviationsFollowTheSingularValues) {
  TVector sd;
  Solve({{2, 0}, {0, 4}}, {1, 1}, nullptr, &sd);
  ASSERT_EQ(sd.NrOfElem(), 2);
  EXPECT_NEAR(sd.GetVal(1), 0.5, 1e-15);
  EXPECT_NEAR(sd.GetVal(2), 0.25, 1e-15);
}

TEST_F(LeastSquaresSolver, CountsTwoStepsPerParameterAndReportsEachToTheHost) {
  std::vector<double> seen;
  MathFeedBackProc = [&](double count) { seen.push_back(count); };
  ProcStat = 10;
  Solve({{1, 2, 3}, {4, 5, 6}, {7, 8, 10}, {1, 0, 0}}, {1, 2, 3, 4});
  EXPECT_EQ(ProcStat, 16);
  EXPECT_EQ(seen, (std::vector<double>{11, 12, 13, 14, 15, 16}));
}

TEST_F(LeastSquaresSolver, StopsAndFailsWhenTheHostAborts) {
  for (const int abortAt : {1, 2, 4, 6}) {
    int calls = 0;
    MathFeedBackProc = [&](double) {
      if (++calls == abortAt) AbortMathProc = true;
    };
    AbortMathProc = false;
    TMatrix a = MatrixOf({{1, 2, 3}, {4, 5, 6}, {7, 8, 10}});
    TVector x(3);
    x.Fill(42);
    bool truncated = false;
    EXPECT_FALSE(SolveLeastSquares(a, VectorOf({1, 2, 3}), x, nullptr, truncated)) << abortAt;
    EXPECT_EQ(calls, abortAt);
    EXPECT_EQ(x.GetVal(1), 42);  // untouched
  }
  // A flag already set stops at the first step, also without a feedback
  // procedure.
  MathFeedBackProc = nullptr;
  AbortMathProc = true;
  TMatrix a = MatrixOf({{1}});
  TVector x;
  bool truncated = false;
  EXPECT_FALSE(SolveLeastSquares(a, VectorOf({1}), x, nullptr, truncated));
}

}  // namespace
}  // namespace marovia
