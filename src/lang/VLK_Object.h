// Boxed values: a value pointer owned by the box plus its type id, and the array of boxes.
#pragma once

#include <cstddef>
#include <cstdio>

#include "VLK_Type.h"
#include "vlk_grow_array.h"

struct VLK_Object {
  void* value;  // owned by the box
  int type;     // type id; an empty box holds null with type 0 ("NULL")
};

VLK_Object* VLK_Object_new();
VLK_Object* VLK_Object_new_value(void* value, int id);
VLK_Object* VLK_Object_new_int(int v);
VLK_Object* VLK_Object_new_double(double x);
VLK_Object* VLK_Object_new_string(const char* s);
VLK_Object* VLK_Object_new_error(int code);
VLK_Object* VLK_Object_new_by_string(const char* text, int id);
// Frees the old value through its type, then stores value and id as given.
void VLK_Object_set(VLK_Object* box, void* value, int id);
// Stores value and id and hands back the old value, not freed.
void* VLK_Object_set_ret(VLK_Object* box, void* value, int id);
// Frees the value through its type and empties the box.
void VLK_Object_release(VLK_Object* box);
void VLK_Object_delete(VLK_Object* box);
void VLK_Object_delete_v(void* box);
// Frees the box only; the value stays alive.
void VLK_Object_delete_ref(VLK_Object* box);
VLK_Object* VLK_Object_clone(const VLK_Object* box);
void* VLK_Object_pointer(const VLK_Object* box);
void* VLK_Object_ptr(const VLK_Object* box);
int VLK_Object_type(const VLK_Object* box);
const char* VLK_Object_type_name(const VLK_Object* box);
// The value when the box holds type id, else null.
void* VLK_Object_get(const VLK_Object* box, int id);
int VLK_Object_int_value(const VLK_Object* box, int def);
double VLK_Object_double_value(const VLK_Object* box, double def);
const char* VLK_Object_string_value(const VLK_Object* box, const char* def);
void VLK_Object_fprint(const VLK_Object* box, FILE* fp);

// Growable array of boxes. It owns them: the *_all calls delete boxes with their values,
// delete and clear leave them alive.
// The constructors, clone and the appends return null when memory runs out; an index must
// name an element in use (checked in Debug and sanitizer builds).
using VLK_ObjArray = vlk::GrowArray<VLK_Object*>;

VLK_ObjArray* VLK_ObjArray_new();
VLK_ObjArray* VLK_ObjArray_news(size_t n);
void VLK_ObjArray_delete(VLK_ObjArray* a);
void VLK_ObjArray_delete_all(VLK_ObjArray* a);
void VLK_ObjArray_clear(VLK_ObjArray* a);
void VLK_ObjArray_clear_all(VLK_ObjArray* a);
// Frees the values held by the boxes (the boxes are left empty); boxes and array stay.
void VLK_ObjArray_delete_ref(VLK_ObjArray* a);
VLK_ObjArray* VLK_ObjArray_clone(const VLK_ObjArray* a);
VLK_ObjArray* VLK_ObjArray_add(VLK_ObjArray* a, VLK_Object* obj);
VLK_ObjArray* VLK_ObjArray_add_copy(VLK_ObjArray* a, const VLK_Object* obj);
VLK_ObjArray* VLK_ObjArray_add_type(VLK_ObjArray* a, void* value, int id);
VLK_Object* VLK_ObjArray_get(const VLK_ObjArray* a, size_t i);
size_t VLK_ObjArray_size(const VLK_ObjArray* a);
VLK_Object* VLK_ObjArray_remove(VLK_ObjArray* a, size_t i);
void VLK_ObjArray_remove_obj(VLK_ObjArray* a, size_t i);
// qsort; cmp receives pointers to the VLK_Object pointers.
void VLK_ObjArray_sort(VLK_ObjArray* a, int (*cmp)(const void*, const void*));
