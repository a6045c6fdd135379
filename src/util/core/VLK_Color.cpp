#include "VLK_Color.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {
constexpr int clamp255(int v) { return std::clamp(v, 0, 255); }
}  // namespace

VLK_Color* VLK_Color_new() {
  auto* c = static_cast<VLK_Color*>(std::malloc(sizeof(VLK_Color)));
  if (c != nullptr) *c = VLK_Color{0, 0, 0, 255};
  return c;
}

VLK_Color* VLK_Color_new_RGB(int r, int g, int b, int a) {
  VLK_Color* c = VLK_Color_new();
  return c ? VLK_Color_set_RGB(c, r, g, b, a) : nullptr;
}

void VLK_Color_delete(VLK_Color* c) { std::free(c); }

VLK_Color* VLK_Color_clone(const VLK_Color* c) {
  if (c == nullptr) return nullptr;
  auto* copy = static_cast<VLK_Color*>(std::malloc(sizeof(VLK_Color)));
  if (copy != nullptr) *copy = *c;
  return copy;
}

void VLK_Color_set(VLK_Color* dst, const VLK_Color* src) { *dst = *src; }

VLK_Color* VLK_Color_set_RGB(VLK_Color* c, int r, int g, int b, int a) {
  *c = VLK_Color{clamp255(r), clamp255(g), clamp255(b), clamp255(a)};
  return c;
}

VLK_Color* VLK_Color_set_HSV(VLK_Color* c, int h, int s, int v, int a) {
  int r, g, b;
  VLK_Color_HSV2RGB(h, s, v, &r, &g, &b);
  *c = VLK_Color{r, g, b, a};
  return c;
}

void VLK_Color_sprint(const VLK_Color* c, char* buffer) {
  // Components set without clamping can be any int: 4 x 11 characters, 3 blanks and a NUL.
  std::snprintf(buffer, 48, "%d %d %d %d", c->r, c->g, c->b, c->a);
}

VLK_Color* VLK_Color_fprint(VLK_Color* c, FILE* fp) {
  std::fprintf(fp, "%d %d %d %d", c->r, c->g, c->b, c->a);
  return c;
}

void VLK_Color_HSV2RGB(int h, int s, int v, int* r, int* g, int* b) {
  if (h < 0) h = 0;
  if (h > 255) h %= 256;
  s = clamp255(s);
  v = clamp255(v);
  if (s == 0) {
    *r = *g = *b = v;
    return;
  }
  if (h == 255) h = 0;  // the hue circle closes at 255
  const double x = h * 0.023529411764705882;
  const int i = static_cast<int>(std::floor(x)) % 6;
  const double f = x - i;
  const double S = s * 0.00392156862745098;
  const double V = v * 0.00392156862745098;
  const int p = static_cast<int>(V * (1 - S) * 255.0);
  const int q = static_cast<int>(V * (1 - S * f) * 255.0);
  const int t = static_cast<int>(V * (1 - S * (1 - f)) * 255.0);
  const int table[6][3] = {{v, t, p}, {q, v, p}, {p, v, t}, {p, q, v}, {t, p, v}, {v, p, q}};
  *r = table[i][0];
  *g = table[i][1];
  *b = table[i][2];
}

void VLK_Color_set_grad(const VLK_Color* from, const VLK_Color* to, double t, VLK_Color* out) {
  t = std::clamp(t, 0.0, 1.0);
  const auto blend = [t](int32_t a, int32_t b) {
    return static_cast<int32_t>(a + static_cast<double>(b - a) * t);
  };
  *out = VLK_Color{blend(from->r, to->r), blend(from->g, to->g), blend(from->b, to->b),
                   blend(from->a, to->a)};
}
