#include "VLK_Network_mpi.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <type_traits>
#include <vector>

#include "VLK_DoubleArray.h"
#include "VLK_KeyObjects.h"
#include "VLK_Type.h"
#include "vlk_fatal.h"

// The root packs the whole network into one byte buffer; it travels as its length and then
// its bytes, and every other rank rebuilds the network from it. Edges are re-added in order,
// which restores each parent list in its original order as well.

namespace {

constexpr const char* kFn = "VLK_Network_MPI_Bcast";

// Marks in front of a value.
enum : uint8_t {
  kNone = 0,     // null pointer
  kPresent = 1,  // the value follows
  kOnText = 2,   // the shared "on" string of key/value lists
  kOnInt = 3,    // the shared int 1 of key/value lists
  kOffInt = 4,   // the shared int 0 of key/value lists
};

class Packer {
 public:
  template <class T>
  void put(T v) {
    static_assert(std::is_trivially_copyable_v<T>);
    const size_t at = buf_.size();
    buf_.resize(at + sizeof(T));
    std::memcpy(buf_.data() + at, &v, sizeof(T));
  }

  void put_count(size_t n) { put<uint64_t>(n); }

  void put_str(const char* s) {
    put<uint8_t>(s ? kPresent : kNone);
    if (s == nullptr) return;
    const size_t len = std::strlen(s);
    put_count(len);
    buf_.insert(buf_.end(), s, s + len);
  }

  void put_value(const void* v, int id, bool in_key_values) {
    if (v == nullptr || id == VLK_TYPE_NULL) return put<uint8_t>(kNone);
    if (in_key_values) {
      if (id == VLK_TYPE_STRING && v == VLK_KeyValues_DEFAULT_VALUE) return put<uint8_t>(kOnText);
      if (id == VLK_TYPE_INT && v == VLK_KeyValues_DEFAULT_VALUE_ON) return put<uint8_t>(kOnInt);
      if (id == VLK_TYPE_INT && v == VLK_KeyValues_DEFAULT_VALUE_OFF) return put<uint8_t>(kOffInt);
    }
    switch (id) {
      case VLK_TYPE_INT:
      case VLK_TYPE_ERROR:
        put<uint8_t>(kPresent);
        return put(*static_cast<const int*>(v));
      case VLK_TYPE_UINT:
        put<uint8_t>(kPresent);
        return put(*static_cast<const unsigned*>(v));
      case VLK_TYPE_FLOAT:
        put<uint8_t>(kPresent);
        return put(*static_cast<const float*>(v));
      case VLK_TYPE_DOUBLE:
        put<uint8_t>(kPresent);
        return put(*static_cast<const double*>(v));
      case VLK_TYPE_STRING:
        return put_str(static_cast<const char*>(v));
      case VLK_TYPE_DOUBLEARRAY: {
        const auto* a = static_cast<const VLK_DoubleArray*>(v);
        put<uint8_t>(kPresent);
        put_count(a->size);
        for (size_t i = 0; i < a->size; ++i) put(a->data[i]);
        return;
      }
      case VLK_TYPE_KEYVALUES:
        put<uint8_t>(kPresent);
        return put_key_values(static_cast<const VLK_KeyValues*>(v));
      default:
        vlk::fatal("FATAL ERROR: %s(): values of type %d cannot be sent\n", kFn, id);
    }
  }

  void put_key_values(const VLK_KeyValues* kv) {
    put_count(VLK_KeyValues_size(kv));
    for (size_t i = 0; i < VLK_KeyValues_size(kv); ++i) {
      const int id = VLK_KeyValues_get_type(kv, i);
      put_str(VLK_KeyValues_get_key(kv, i));
      put<int32_t>(id);
      put_value(VLK_KeyValues_get_value(kv, i), id, true);
    }
  }

  void put_key_objects(const VLK_KeyObjects* list) {
    put<uint8_t>(list ? kPresent : kNone);
    if (list == nullptr) return;
    put_count(VLK_KeyObjects_size(list));
    for (size_t i = 0; i < VLK_KeyObjects_size(list); ++i) {
      const VLK_Object* box = VLK_KeyObjects_get_const_value(list, i);
      put_str(VLK_KeyObjects_get_key(list, i));
      put<uint8_t>(box ? kPresent : kNone);
      if (box == nullptr) continue;
      put<int32_t>(box->type);
      put_value(box->value, box->type, false);
    }
  }

  void put_color(const VLK_Color* c) {
    put<uint8_t>(c ? kPresent : kNone);
    if (c != nullptr) put(*c);
  }

  void put_drawing(const CSMLObject* d) {
    put(d->kind);
    put(d->x);
    put(d->y);
    put(d->width);
    put(d->height);
    put_color(d->fill_color);
    put_color(d->line_color);
    put(d->line_width);
    put(d->depth);
    put(d->visible);
    put(d->cso_type);
    put_key_objects(d->properties);
  }

  void put_network(const VLK_Network* net) {
    put_count(net->nodes->size);
    for (size_t i = 0; i < net->nodes->size; ++i) {
      const auto* node = static_cast<const VLK_Node*>(net->nodes->data[i]);
      put_str(node->name);
      put_str(node->alias);
      put_drawing(node->drawing);
    }
    put_count(net->edges->size);
    for (size_t k = 0; k < net->edges->size; ++k) {
      const auto* e = static_cast<const VLK_Edge*>(net->edges->data[k]);
      put<int32_t>(e->parent->index);
      put<int32_t>(e->child->index);
      put_drawing(e->drawing);
    }
    put_str(net->primary_score);
    put<uint8_t>(net->properties ? kPresent : kNone);
    if (net->properties != nullptr) put_key_values(net->properties);
    put<uint8_t>(net->csml_objects ? kPresent : kNone);
    if (net->csml_objects != nullptr) {
      put_count(net->csml_objects->size);
      for (size_t i = 0; i < net->csml_objects->size; ++i)
        put_drawing(static_cast<const CSMLObject*>(net->csml_objects->data[i]));
    }
  }

  std::vector<char>& bytes() { return buf_; }

 private:
  std::vector<char> buf_;
};

[[noreturn]] void malformed() {
  vlk::fatal("FATAL ERROR: %s(): the received network is malformed\n", kFn);
}

void* need(void* p) {
  if (p == nullptr) vlk::fatal("FATAL ERROR: %s(): out of memory\n", kFn);
  return p;
}

template <class T>
T* heap(T v) {
  T* p = static_cast<T*>(need(std::malloc(sizeof(T))));
  *p = v;
  return p;
}

class Unpacker {
 public:
  Unpacker(const char* data, size_t size) : data_(data), size_(size) {}

  template <class T>
  T get() {
    static_assert(std::is_trivially_copyable_v<T>);
    if (size_ - pos_ < sizeof(T)) malformed();
    T v;
    std::memcpy(&v, data_ + pos_, sizeof(T));
    pos_ += sizeof(T);
    return v;
  }

  // A count of items of at least `item` bytes each, checked against the bytes left.
  size_t get_count(size_t item) {
    const uint64_t n = get<uint64_t>();
    if (n > (size_ - pos_) / std::max<size_t>(item, 1)) malformed();
    return static_cast<size_t>(n);
  }

  char* get_str() {
    const uint8_t mark = get<uint8_t>();
    if (mark == kNone) return nullptr;
    if (mark != kPresent) malformed();
    const size_t len = get_count(1);
    char* s = static_cast<char*>(need(std::malloc(len + 1)));
    std::memcpy(s, data_ + pos_, len);
    s[len] = '\0';
    pos_ += len;
    return s;
  }

  void* get_value(int id, bool in_key_values) {
    if (id == VLK_TYPE_STRING) {
      if (peek() == kOnText && in_key_values) {
        ++pos_;
        return VLK_KeyValues_DEFAULT_VALUE;
      }
      return get_str();
    }
    const uint8_t mark = get<uint8_t>();
    if (mark == kNone) return nullptr;
    if (in_key_values && id == VLK_TYPE_INT && mark == kOnInt)
      return VLK_KeyValues_DEFAULT_VALUE_ON;
    if (in_key_values && id == VLK_TYPE_INT && mark == kOffInt)
      return VLK_KeyValues_DEFAULT_VALUE_OFF;
    if (mark != kPresent) malformed();
    switch (id) {
      case VLK_TYPE_INT:
      case VLK_TYPE_ERROR:
        return heap(get<int>());
      case VLK_TYPE_UINT:
        return heap(get<unsigned>());
      case VLK_TYPE_FLOAT:
        return heap(get<float>());
      case VLK_TYPE_DOUBLE:
        return heap(get<double>());
      case VLK_TYPE_DOUBLEARRAY: {
        const size_t n = get_count(sizeof(double));
        VLK_DoubleArray* a = static_cast<VLK_DoubleArray*>(need(VLK_DoubleArray_news(n)));
        for (size_t i = 0; i < n; ++i) VLK_DoubleArray_add(a, get<double>());
        return a;
      }
      case VLK_TYPE_KEYVALUES:
        return get_key_values();
      default:
        malformed();
    }
  }

  VLK_KeyValues* get_key_values() {
    VLK_KeyValues* kv = static_cast<VLK_KeyValues*>(need(VLK_KeyValues_new()));
    const size_t n = get_count(1 + 4 + 1);
    for (size_t i = 0; i < n; ++i) {
      char* key = get_str();
      const int id = get<int32_t>();
      void* value = get_value(id, true);
      need(VLK_KeyValues_add(kv, key, id, value));
      std::free(key);
    }
    return kv;
  }

  VLK_KeyObjects* get_key_objects() {
    if (get<uint8_t>() == kNone) return nullptr;
    VLK_KeyObjects* list = static_cast<VLK_KeyObjects*>(need(VLK_KeyObjects_new()));
    const size_t n = get_count(1 + 1);
    for (size_t i = 0; i < n; ++i) {
      char* key = get_str();
      VLK_Object* box = nullptr;
      if (get<uint8_t>() != kNone) {
        const int id = get<int32_t>();
        box = static_cast<VLK_Object*>(need(VLK_Object_new_value(get_value(id, false), id)));
      }
      VLK_KeyObjects_add(list, key, box);
      std::free(key);
    }
    return list;
  }

  VLK_Color* get_color() {
    if (get<uint8_t>() == kNone) return nullptr;
    VLK_Color* c = static_cast<VLK_Color*>(need(VLK_Color_new()));
    *c = get<VLK_Color>();
    return c;
  }

  // Fills a drawing record that holds no properties and no colours yet.
  void get_drawing(CSMLObject* d) {
    d->kind = get<int32_t>();
    d->x = get<double>();
    d->y = get<double>();
    d->width = get<double>();
    d->height = get<double>();
    d->fill_color = get_color();
    d->line_color = get_color();
    d->line_width = get<double>();
    d->depth = get<int32_t>();
    d->visible = get<int32_t>();
    d->cso_type = get<int32_t>();
    d->properties = get_key_objects();
  }

  VLK_Network* get_network() {
    VLK_Network* net = static_cast<VLK_Network*>(need(VLK_Network_new()));
    const size_t n = get_count(1 + 1);
    for (size_t i = 0; i < n; ++i) {
      char* name = get_str();
      char* alias = get_str();
      VLK_Node* node = static_cast<VLK_Node*>(need(VLK_Node_new(name, alias)));
      std::free(name);
      std::free(alias);
      get_drawing(node->drawing);
      VLK_Network_add_node(net, node);
    }
    const size_t m = get_count(4 + 4);
    for (size_t k = 0; k < m; ++k) {
      const int pa = get<int32_t>();
      const int ch = get<int32_t>();
      if (pa < 0 || ch < 0 || static_cast<size_t>(pa) >= n || static_cast<size_t>(ch) >= n ||
          VLK_Network_check_edge_index(net, pa, ch))
        malformed();
      auto* e = static_cast<VLK_Edge*>(need(VLK_Network_add_edge_index(net, pa, ch)));
      get_drawing(e->drawing);
    }
    net->primary_score = get_str();
    if (get<uint8_t>() != kNone) net->properties = get_key_values();
    if (get<uint8_t>() != kNone) {
      const size_t e = get_count(1);
      net->csml_objects = static_cast<VLK_Array*>(need(VLK_Array_news(e)));
      for (size_t i = 0; i < e; ++i) {
        CSMLObject* d = static_cast<CSMLObject*>(need(CSMLObject_new()));
        get_drawing(d);
        VLK_Array_add(net->csml_objects, d);
      }
    }
    if (pos_ != size_) malformed();
    return net;
  }

 private:
  uint8_t peek() const {
    if (pos_ >= size_) malformed();
    return static_cast<uint8_t>(data_[pos_]);
  }

  const char* data_;
  size_t size_;
  size_t pos_ = 0;
};

// MPI counts are ints: large buffers travel in pieces.
void bcast_bytes(char* data, size_t n, int root, MPI_Comm comm) {
  constexpr size_t kPiece = size_t{1} << 30;
  for (size_t off = 0; off < n; off += kPiece)
    MPI_Bcast(data + off, static_cast<int>(std::min(kPiece, n - off)), MPI_BYTE, root, comm);
}

}  // namespace

void VLK_Network_MPI_Bcast(VLK_Network** net, int root, MPI_Comm comm) {
  int rank = 0;
  MPI_Comm_rank(comm, &rank);
  const bool is_root = rank == root;
  Packer packer;
  if (is_root) packer.put_network(*net);
  std::vector<char>& buf = packer.bytes();
  uint64_t size = buf.size();
  MPI_Bcast(&size, 1, MPI_UINT64_T, root, comm);
  if (!is_root) buf.resize(size);
  bcast_bytes(buf.data(), size, root, comm);
  if (!is_root) *net = Unpacker(buf.data(), buf.size()).get_network();
}
