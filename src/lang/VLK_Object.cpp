#include "VLK_Object.h"

#include <cstdlib>
#include <cstring>

#include "vlk_owned.h"

namespace {

// An error box holds the heap int of its code; the registry has no delete for "ERROR", so the
// box frees that int itself instead of ending the process.
void free_value(void* value, int type) {
  if (type == VLK_TYPE_ERROR) {
    std::free(value);
    return;
  }
  VLK_Type_delete(value, type);
}

}  // namespace

VLK_Object* VLK_Object_new() {
  return static_cast<VLK_Object*>(std::calloc(1, sizeof(VLK_Object)));
}

VLK_Object* VLK_Object_new_value(void* value, int id) {
  VLK_Object* box = VLK_Object_new();
  if (box != nullptr) *box = {value, id};
  return box;
}

VLK_Object* VLK_Object_new_int(int v) {
  return VLK_Object_new_value(vlk::heap_value(v), VLK_TYPE_INT);
}

VLK_Object* VLK_Object_new_double(double x) {
  return VLK_Object_new_value(vlk::heap_value(x), VLK_TYPE_DOUBLE);
}

VLK_Object* VLK_Object_new_string(const char* s) {
  return VLK_Object_new_value(s ? strdup(s) : nullptr, VLK_TYPE_STRING);
}

VLK_Object* VLK_Object_new_error(int code) {
  return VLK_Object_new_value(vlk::heap_value(code), VLK_TYPE_ERROR);
}

VLK_Object* VLK_Object_new_by_string(const char* text, int id) {
  return VLK_Object_new_value(VLK_Type_from_str(id, text, nullptr), id);
}

void VLK_Object_set(VLK_Object* box, void* value, int id) {
  free_value(box->value, box->type);
  *box = {value, id};
}

void* VLK_Object_set_ret(VLK_Object* box, void* value, int id) {
  void* old = box->value;
  *box = {value, id};
  return old;
}

void VLK_Object_release(VLK_Object* box) {
  free_value(box->value, box->type);
  *box = {nullptr, VLK_TYPE_NULL};
}

void VLK_Object_delete(VLK_Object* box) {
  if (box == nullptr) return;
  free_value(box->value, box->type);
  std::free(box);
}

void VLK_Object_delete_v(void* box) { VLK_Object_delete(static_cast<VLK_Object*>(box)); }

void VLK_Object_delete_ref(VLK_Object* box) { std::free(box); }

VLK_Object* VLK_Object_clone(const VLK_Object* box) {
  // An empty box (or a box without value) has nothing to copy.
  void* value = box->value ? VLK_Type_clone(box->value, box->type) : nullptr;
  return VLK_Object_new_value(value, box->type);
}

void* VLK_Object_pointer(const VLK_Object* box) { return box->value; }
void* VLK_Object_ptr(const VLK_Object* box) { return box->value; }
int VLK_Object_type(const VLK_Object* box) { return box->type; }
const char* VLK_Object_type_name(const VLK_Object* box) { return VLK_Type_name(box->type); }

void* VLK_Object_get(const VLK_Object* box, int id) {
  return box != nullptr && box->type == id ? box->value : nullptr;
}

int VLK_Object_int_value(const VLK_Object* box, int def) {
  if (box == nullptr || box->value == nullptr) return def;
  if (box->type == VLK_TYPE_INT) return *static_cast<const int*>(box->value);
  if (box->type == VLK_TYPE_STRING) return std::atoi(static_cast<const char*>(box->value));
  return def;
}

double VLK_Object_double_value(const VLK_Object* box, double def) {
  if (box == nullptr || box->value == nullptr) return def;
  if (box->type == VLK_TYPE_DOUBLE) return *static_cast<const double*>(box->value);
  if (box->type == VLK_TYPE_STRING) return std::atof(static_cast<const char*>(box->value));
  return def;
}

const char* VLK_Object_string_value(const VLK_Object* box, const char* def) {
  if (box == nullptr || box->type != VLK_TYPE_STRING) return def;
  return static_cast<const char*>(box->value);
}

void VLK_Object_fprint(const VLK_Object* box, FILE* fp) {
  VLK_Type_fprint_value(box->value, box->type, fp);
}

// ---- array of boxes --------------------------------------------------------------------------

namespace {

void delete_boxes(VLK_ObjArray* a) {
  for (size_t i = 0; i < a->size; ++i) VLK_Object_delete_v(a->data[i]);
}

}  // namespace

VLK_ObjArray* VLK_ObjArray_new() { return vlk::make<VLK_ObjArray>(); }

VLK_ObjArray* VLK_ObjArray_news(size_t n) { return vlk::make<VLK_ObjArray>(n); }

void VLK_ObjArray_delete(VLK_ObjArray* a) { vlk::destroy(a); }

void VLK_ObjArray_delete_all(VLK_ObjArray* a) {
  if (a == nullptr) return;
  delete_boxes(a);
  vlk::destroy(a);
}

void VLK_ObjArray_clear(VLK_ObjArray* a) { a->size = 0; }

void VLK_ObjArray_clear_all(VLK_ObjArray* a) {
  delete_boxes(a);
  a->size = 0;
}

void VLK_ObjArray_delete_ref(VLK_ObjArray* a) {
  for (size_t i = 0; i < a->size; ++i)
    if (a->data[i] != nullptr) VLK_Object_release(a->data[i]);
}

VLK_ObjArray* VLK_ObjArray_clone(const VLK_ObjArray* a) {
  VLK_ObjArray* c = VLK_ObjArray_news(a->size);
  if (c == nullptr) return nullptr;
  for (size_t i = 0; i < a->size; ++i) {
    VLK_Object* box = VLK_Object_clone(a->data[i]);
    if (box == nullptr) {
      VLK_ObjArray_delete_all(c);
      return nullptr;
    }
    c->data[c->size++] = box;
  }
  return c;
}

VLK_ObjArray* VLK_ObjArray_add(VLK_ObjArray* a, VLK_Object* obj) { return vlk::append(a, obj); }

VLK_ObjArray* VLK_ObjArray_add_copy(VLK_ObjArray* a, const VLK_Object* obj) {
  VLK_Object* copy = VLK_Object_clone(obj);
  if (copy == nullptr) return nullptr;
  if (vlk::append(a, copy) == nullptr) {
    VLK_Object_delete(copy);
    return nullptr;
  }
  return a;
}

VLK_ObjArray* VLK_ObjArray_add_type(VLK_ObjArray* a, void* value, int id) {
  VLK_Object* box = VLK_Object_new();
  if (box == nullptr) return nullptr;
  VLK_Object_set(box, value, id);
  if (vlk::append(a, box) == nullptr) {
    VLK_Object_delete_ref(box);  // the value stays with the caller
    return nullptr;
  }
  return a;
}

VLK_Object* VLK_ObjArray_get(const VLK_ObjArray* a, size_t i) { return vlk::at(a, i); }
size_t VLK_ObjArray_size(const VLK_ObjArray* a) { return a->size; }
VLK_Object* VLK_ObjArray_remove(VLK_ObjArray* a, size_t i) { return vlk::remove_at(a, i); }
void VLK_ObjArray_remove_obj(VLK_ObjArray* a, size_t i) { VLK_Object_delete(vlk::remove_at(a, i)); }

void VLK_ObjArray_sort(VLK_ObjArray* a, int (*cmp)(const void*, const void*)) {
  if (a->size > 1) std::qsort(a->data, a->size, sizeof(VLK_Object*), cmp);
}
