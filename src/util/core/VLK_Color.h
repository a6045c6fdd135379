// RGBA colours of drawing records, on the 0..255 scale, with an HSV conversion and blends.
#pragma once

#include <cstdint>
#include <cstdio>

struct VLK_Color {
  int32_t r;
  int32_t g;
  int32_t b;
  int32_t a;
};

VLK_Color* VLK_Color_new();
VLK_Color* VLK_Color_new_RGB(int r, int g, int b, int a);
void VLK_Color_delete(VLK_Color* c);
VLK_Color* VLK_Color_clone(const VLK_Color* c);
void VLK_Color_set(VLK_Color* dst, const VLK_Color* src);
VLK_Color* VLK_Color_set_RGB(VLK_Color* c, int r, int g, int b, int a);
VLK_Color* VLK_Color_set_HSV(VLK_Color* c, int h, int s, int v, int a);
// Writes at most 48 bytes (the text of any four int components) into buffer.
void VLK_Color_sprint(const VLK_Color* c, char* buffer);
VLK_Color* VLK_Color_fprint(VLK_Color* c, FILE* fp);
void VLK_Color_HSV2RGB(int h, int s, int v, int* r, int* g, int* b);
void VLK_Color_set_grad(const VLK_Color* from, const VLK_Color* to, double t, VLK_Color* out);
