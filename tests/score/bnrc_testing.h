// The six-gene fixture of tests/tools/bnrc_golden.py and the helpers the BNRC tests share:
// data sets from rows, states with options and limits (their messages captured), score calls on
// vectors, random parent sets.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "VLK_BNRC.h"
#include "VLK_Data.h"
#include "VLK_KeyValues.h"
#include "VLK_Score.h"
#include "score_testing.h"
#include "velkcom.h"
#include "vlk_test.h"

namespace bnrc_testing {

using namespace score_testing;

// Six genes over 40 samples (bnrc_golden.py): x0 and x1 uniform, gene 2 a cubic in x0 plus a
// bend in x1, gene 3 the product x0 x1, gene 4 a near-copy of x0, gene 5 unrelated.
inline constexpr double kFixture[6][40] = {
    {
        0.388224,  -0.802941, -0.673301, 0.767894,  1.971138,  -1.589170, 1.910481,  1.880726,
        -1.025258, -0.667840, -0.631206, 1.096080,  1.617044,  1.158496,  -1.908494, -1.960575,
        -0.268378, 0.887547,  0.337716,  -1.089334, -1.969192, 0.254298,  -1.379964, 1.620369,
        0.204809,  -0.214795, 1.862297,  0.230680,  1.231763,  -0.155416, -0.294289, -0.424066,
        1.273742,  -1.451813, 1.338455,  0.937943,  0.533676,  -1.581038, -0.776300, 1.650979,
    },
    {
        0.836174,  0.245001,  -0.924193, 1.633582, -0.556285, 0.439758,  0.227430,  -0.349587,
        -0.500996, -0.682019, -0.178088, 1.446284, -0.288358, 0.763242,  0.812133,  1.630694,
        0.939679,  -0.008022, -0.961512, 0.548899, -0.187224, 1.916404,  0.474134,  0.950489,
        0.794831,  0.407818,  0.612804,  0.198985, 1.217303,  -0.633451, -0.219546, 1.178696,
        1.314493,  -0.995208, 0.651983,  0.555100, -0.207980, 1.248585,  1.754290,  1.544979,
    },
    {
        -0.337210, 0.642062,  2.093344,  0.408570,  0.982158,  0.720932,  0.011381, 0.302611,
        1.519971,  1.809488,  1.016286,  -0.180078, -0.113946, -0.809035, 0.108747, 1.196204,
        0.566971,  -0.540040, 1.394193,  0.820744,  0.327284,  1.286953,  0.851037, -0.463476,
        -0.135441, 0.272087,  -0.186118, -0.196145, -0.455060, 1.057607,  0.749481, 0.718976,
        -0.338928, 2.593816,  -0.825367, -0.659815, 0.055150,  0.959016,  2.042704, 0.473923,
    },
    {
        0.132085,  -0.042983, 0.638902,  1.248543,  -1.209200, -0.657837, 0.409866,  -0.546097,
        0.462291,  0.426690,  -0.154911, 1.746584,  -0.482164, 0.972792,  -1.262560, -3.424347,
        -0.019159, -0.011672, -0.484977, -0.718521, 0.419837,  0.751201,  -0.756030, 1.695612,
        -0.043542, -0.135277, 1.281359,  0.029786,  1.716502,  -0.192741, -0.154010, -0.710467,
        1.880916,  1.386310,  0.985605,  0.387715,  -0.175831, -1.936107, -1.202637, 2.688765,
    },
    {
        0.390236,  -0.799103, -0.676139, 0.760000,  1.966651,  -1.593176, 1.914367,  1.882272,
        -1.026906, -0.658433, -0.637679, 1.094697,  1.609757,  1.163272,  -1.913867, -1.970130,
        -0.271730, 0.888781,  0.331049,  -1.091779, -1.979107, 0.261269,  -1.377455, 1.613357,
        0.204818,  -0.214353, 1.867010,  0.223628,  1.233463,  -0.153875, -0.293376, -0.430727,
        1.276643,  -1.449715, 1.345280,  0.934523,  0.541465,  -1.585933, -0.767563, 1.654045,
    },
    {
        1.762902, 0.200816, 1.070808, 0.165563, 0.497773, 1.748052, 0.500219, 1.355540,
        1.832200, 1.101459, 1.764393, 0.397603, 1.401892, 0.473499, 0.096441, 1.593959,
        1.241647, 0.679402, 0.501493, 0.060885, 1.502890, 1.972860, 1.972273, 1.851536,
        1.964165, 0.315313, 1.966395, 0.606085, 1.022104, 1.016330, 0.332878, 0.166717,
        0.850362, 0.682585, 0.875372, 1.594962, 0.414023, 1.412922, 1.739618, 0.028874,
    },
};

inline std::vector<std::vector<double>> fixture_rows() {
  std::vector<std::vector<double>> rows;
  for (const auto& r : kFixture) rows.emplace_back(std::begin(r), std::end(r));
  return rows;
}

inline DataPtr fixture_data() { return make_data(fixture_rows()); }

struct BnrcDeleter {
  void operator()(VLK_BNRCBuff* bf) const {
    vlk_test::CaptureErr quiet;
    VLK_BNRC_finalize(bf);
  }
};
using BnrcPtr = std::unique_ptr<VLK_BNRCBuff, BnrcDeleter>;

// A state for data; what init prints goes to *log when given.
inline BnrcPtr make_state(VLK_Data* data, const Setup& s = {}, std::string* log = nullptr,
                          size_t* used = nullptr) {
  return init_state<BnrcPtr>(VLK_BNRC_init, data, s, log, used);
}

inline void init_only(VLK_Data* data, const Setup& s) { init_only_with(VLK_BNRC_init, data, s); }

inline double score(VLK_BNRCBuff* bf, int child, std::vector<int> parents) {
  return VLK_BNRC_score(bf, child, parents.data(), static_cast<int>(parents.size()));
}

inline uint64_t bits(double x) { return std::bit_cast<uint64_t>(x); }

// 1234567 -> "1,234,567"
inline std::string comma(size_t v) {
  std::string digits = std::to_string(v), out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

// Distinct parent sets of 0 .. 3 genes other than the child, in random order.
struct Query {
  int child;
  std::vector<int> parents;
};
inline std::vector<Query> random_queries(int p, int count, int max_q, unsigned seed) {
  std::mt19937 gen(seed);
  std::vector<Query> out;
  for (int i = 0; i < count; ++i) {
    std::vector<int> nodes(p);
    for (int v = 0; v < p; ++v) nodes[v] = v;
    std::shuffle(nodes.begin(), nodes.end(), gen);
    const int q = static_cast<int>(gen() % (max_q + 1));
    out.push_back({nodes[0], std::vector<int>(nodes.begin() + 1, nodes.begin() + 1 + q)});
  }
  return out;
}

// ---- reference values of bnrc_golden.py ----

struct Golden {
  int child;
  std::vector<int> parents;
  double score;
  std::vector<int> h;  // accepted grid index of every parent in the last sweep
};

// Sweeps: 1 for one parent; for several, the cases marked * run into the limit of 100 (the
// walks of {0, 1} and {1, 5, 0} under the default grid cycle between sweeps).
inline const Golden kDefaultGrid[] = {
    {2, {}, 105.83293732394631, {}},
    {3, {}, 130.49878444032123, {}},
    {2, {0}, 81.49611237045355, {7}},
    {2, {1}, 78.2626368947505, {6}},
    {3, {5}, 124.12694394231426, {0}},
    {2, {0, 1}, 56.524225120162214, {0, 7}},        // *
    {2, {1, 0}, 34.137144226779725, {7, 8}},        // *
    {3, {0, 1}, 114.28399717494051, {0, 0}},        // 5 sweeps
    {3, {0, 1, 4}, 115.69827015804513, {0, 0, 0}},  // *
    {3, {4, 1, 0}, 115.661828633282, {0, 0, 0}},    // *
    {2, {1, 5, 0}, 41.707102609086306, {7, 0, 9}},  // *
};
inline const Golden kLinearGrid[] = {
    {2, {}, 105.83293732394631, {}},
    {3, {}, 130.49878444032123, {}},
    {2, {0}, 87.09974999496214, {1}},
    {2, {1}, 89.85714101522719, {1}},
    {3, {5}, 124.12694394231426, {0}},
    {2, {0, 1}, 76.95161301408407, {0, 1}},         // 5 sweeps
    {2, {1, 0}, 76.95161301412169, {1, 0}},         // 7 sweeps
    {3, {0, 1}, 114.28399717494051, {0, 0}},        // 5 sweeps
    {3, {0, 1, 4}, 115.69827015804513, {0, 0, 0}},  // *
    {3, {4, 1, 0}, 115.661828633282, {0, 0, 0}},    // *
    {2, {1, 5, 0}, 81.64838067715611, {1, 0, 0}},   // 9 sweeps
};

inline void expect_golden(VLK_BNRCBuff* bf, const Golden& g) {
  SCOPED_TRACE(label_of(g.child, g.parents));
  EXPECT_NEAR(score(bf, g.child, g.parents), g.score, 1e-9 * std::fabs(g.score));
  for (size_t k = 0; k < g.h.size(); ++k) EXPECT_EQ(bf->beta_jk[0][k], g.h[k]) << "parent " << k;
}

}  // namespace bnrc_testing
