#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "VLK_Color.h"
#include "vlk_test.h"

namespace {
std::string text(const VLK_Color* c) {
  char buf[48];
  VLK_Color_sprint(c, buf);
  return buf;
}
}  // namespace

TEST(Color, ConstructionClampingAndText) {
  VLK_Color* c = VLK_Color_new();
  EXPECT_EQ(text(c), "0 0 0 255");
  VLK_Color_set_RGB(c, -5, 300, 128, 255);
  EXPECT_EQ(text(c), "0 255 128 255");
  EXPECT_EQ(vlk_test::capture([&](FILE* fp) { VLK_Color_fprint(c, fp); }), "0 255 128 255");
  VLK_Color* d = VLK_Color_clone(c);
  EXPECT_EQ(text(d), text(c));
  EXPECT_EQ(VLK_Color_clone(nullptr), nullptr);
  VLK_Color_set_HSV(d, 0, 0, 9, 300);  // alpha stored as given
  EXPECT_EQ(text(d), "9 9 9 300");
  VLK_Color_set(c, d);
  EXPECT_EQ(c->a, 300);
  VLK_Color_delete(c);
  VLK_Color_delete(d);
}

TEST(Color, TextOfUnclampedComponentsStaysInBounds) {
  VLK_Color c{INT_MIN, INT_MIN, INT_MIN, INT_MIN};
  char buf[64];
  std::memset(buf, 'x', sizeof buf);
  VLK_Color_sprint(&c, buf);
  EXPECT_STREQ(buf, "-2147483648 -2147483648 -2147483648 -2147483648");
  EXPECT_EQ(buf[48], 'x');
}

TEST(Color, HsvConversion) {
  struct Case {
    int h, s, v, r, g, b;
  };
  // Expected values follow the integer arithmetic of the conversion: p, q and t truncated.
  const Case cases[] = {
      {0, 255, 255, 255, 0, 0},      {255, 255, 255, 255, 0, 0},  {85, 255, 255, 0, 255, 0},
      {170, 255, 255, 0, 0, 255},    {77, 0, 123, 123, 123, 123}, {-7, 255, 255, 255, 0, 0},
      {300, 255, 255, 246, 255, 0},  {44, 255, 255, 246, 255, 0}, {0, 300, -4, 0, 0, 0},
      {128, 128, 200, 99, 198, 200},
  };
  for (const Case& c : cases) {
    int r, g, b;
    VLK_Color_HSV2RGB(c.h, c.s, c.v, &r, &g, &b);
    EXPECT_EQ((std::vector<int>{r, g, b}), (std::vector<int>{c.r, c.g, c.b}))
        << c.h << " " << c.s << " " << c.v;
  }
}

TEST(Color, Gradient) {
  VLK_Color from{0, 0, 0, 255}, to{255, 255, 255, 255}, out{};
  VLK_Color_set_grad(&from, &to, 0.5, &out);
  EXPECT_EQ(text(&out), "127 127 127 255");
  VLK_Color_set_grad(&from, &to, -1, &out);
  EXPECT_EQ(text(&out), "0 0 0 255");
  VLK_Color_set_grad(&from, &to, 2, &out);
  EXPECT_EQ(text(&out), "255 255 255 255");
  VLK_Color down{200, 100, 0, 0}, up{0, 0, 100, 10};
  VLK_Color_set_grad(&down, &up, 0.3, &down);  // output may be an input
  EXPECT_EQ(text(&down), "140 70 30 3");
}

TEST(Color, HsvOverTheWholeCube) {
  // Over every (h, s, v): components stay in 0..255, the largest is v itself, the smallest is
  // v (1 - s) truncated (v itself for grey), and the hue circle closes at 255.
  for (int h = 0; h < 256; ++h)
    for (int s = 0; s < 256; s += 3)
      for (int v = 0; v < 256; v += 5) {
        int r, g, b;
        VLK_Color_HSV2RGB(h, s, v, &r, &g, &b);
        const int hi = std::max({r, g, b}), lo = std::min({r, g, b});
        ASSERT_GE(lo, 0);
        ASSERT_EQ(hi, v) << h << " " << s << " " << v;
        if (s == 0) {
          ASSERT_EQ(lo, v);
        } else {
          ASSERT_EQ(
              lo, static_cast<int>(v * 0.00392156862745098 * (1 - s * 0.00392156862745098) * 255.0))
              << h << " " << s << " " << v;
        }
        if (h == 255) {
          int r0, g0, b0;
          VLK_Color_HSV2RGB(0, s, v, &r0, &g0, &b0);
          ASSERT_EQ((std::vector<int>{r, g, b}), (std::vector<int>{r0, g0, b0}));
        }
      }
}
