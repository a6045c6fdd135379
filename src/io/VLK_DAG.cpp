#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "VLK_IO.h"
#include "VLK_ListReaders.h"
#include "VLK_Str.h"
#include "velkcom.h"
#include "vlk_data_read.h"
#include "vlk_fatal.h"
#include "vlk_net_text.h"

namespace {

// One record's parents, kept until every node is known.
struct Parents {
  int child;
  size_t line;  // of the parent line
  std::vector<int> ids;
};

[[noreturn]] void broken(size_t line, const char* why) {
  vlk::fatal("ERROR: file boken at line %zu\n%s", line, why);
}

class Reader {
 public:
  explicit Reader(FILE* fp) : fp_(fp) {}

  VLK_Network* read() {
    while (buf_.read_lf(fp_)) {
      ++line_;
      // The four lines after the parents are not read, whatever they hold.
      if (state_ < 3 || state_ == 7) vlk::check_no_nul(buf_, line_);
      char* text = VLK_Str_trim(buf_.data);
      // Two blanks in a row make an empty token; an empty line has none.
      if (*text == '\0')
        tokens_.clear();
      else
        vlk::io::cut_fields(text, tokens_, ' ');
      take();
    }
    if (state_ != 0) broken(line_ + 1, "  The file ends inside a record.\n");
    std::fprintf(VELK_ERR, "  Constructing a network structure...\n");
    std::fflush(VELK_ERR);
    const size_t n = VLK_Network_num_nodes(net_.get());
    for (const Parents& r : records_) {
      for (const int p : r.ids) {
        if (static_cast<size_t>(p) >= n)
          vlk::fatal("ERROR: file boken at line %zu\n  Parent ID %d not found. [nodes=%zu]\n",
                     r.line, p, n);
        VLK_Network_add_edge_index(net_.get(), p, r.child);
      }
    }
    std::fprintf(VELK_ERR, "  Finished. nodes=%zu,  edges=%zu.\n", n,
                 VLK_Network_num_edges(net_.get()));
    return net_.release();
  }

 private:
  void take() {
    switch (state_) {
      case 0:
        node();
        break;
      case 1:
        if (tokens_.size() != 4) broken(line_, "  No. of parents missing.\n");
        if (vlk::io::parse_index(tokens_[3], INT_MAX, &k_) != vlk::io::Index::ok)
          broken(line_, "  No. of parents missing.\n");
        break;
      case 2:
        parents();
        break;
      case 7:
        if (!tokens_.empty()) broken(line_, "");
        state_ = 0;
        return;
      default:  // the four lines that are not read
        break;
    }
    ++state_;
  }

  void node() {
    if (tokens_.size() < 3) broken(line_, "  Node ID missing.\n");
    const int record = static_cast<int>(VLK_Network_num_nodes(net_.get()));
    int id = -1;
    // Ids are the node indexes of the parent lists: each must be its record's number.
    if (vlk::io::parse_index(tokens_[2], INT_MAX, &id) != vlk::io::Index::ok || id != record)
      vlk::fatal("ERROR: file boken at line %zu\n  Node ID inconsistent. [this=%s vs record=%d]\n",
                 line_, tokens_[2], record);
    std::string name;
    const char* alias;
    if (tokens_.size() == 3) {
      name = "Node " + std::to_string(id);
      alias = name.c_str();
    } else {
      // Two blanks before the name leave an empty token: a node no name-keyed format can write.
      if (*tokens_[3] == '\0') broken(line_, "  Node name empty (two blanks before it).\n");
      name = tokens_[3];
      alias = tokens_.size() == 4 ? tokens_[3] : tokens_[4];
      if (tokens_.size() >= 5) std::fprintf(VELK_ERR, "node: %s (%d)\n", tokens_[3], id);
    }
    VLK_Network_add_node(net_.get(), VLK_Node_new(name.c_str(), alias));
  }

  void parents() {
    if (tokens_.size() != static_cast<size_t>(k_)) {
      std::string line = tokens_.empty() ? "" : tokens_[0];  // joined again at their blanks
      for (size_t i = 1; i < tokens_.size(); ++i) (line += ' ') += tokens_[i];
      vlk::fatal(
          "ERROR: file boken at line %zu\n  No. of parents inconsistent. [this=%zu vs "
          "prev=%d]\n  line %zu> %s\n",
          line_, tokens_.size(), k_, line_, line.c_str());
    }
    Parents r{static_cast<int>(VLK_Network_num_nodes(net_.get())) - 1, line_, {}};
    for (const char* token : tokens_) {
      int p = -1;
      if (vlk::io::parse_index(token, INT_MAX, &p) != vlk::io::Index::ok)
        vlk::fatal("ERROR: file boken at line %zu\n  Parent ID broken: \"%s\"\n", line_, token);
      r.ids.push_back(p);
    }
    records_.push_back(std::move(r));
  }

  FILE* fp_;
  vlk::LineBuffer buf_;
  size_t line_ = 0;
  int state_ = 0;
  int k_ = 0;  // parents of the record being read
  std::vector<char*> tokens_;
  std::vector<Parents> records_;
  vlk::NetworkPtr net_{VLK_Network_new()};
};

}  // namespace

VLK_Network* DAG_read_fp(FILE* fp, const VLK_KeyValues* /*options*/) {
  std::fprintf(VELK_ERR, "Reading a DAG network file...\n");
  std::fflush(VELK_ERR);
  return Reader(fp).read();
}

VLK_Network* DAG_read_file(const char* path, const VLK_KeyValues* options) {
  return vlk::io::read_path(path, options, DAG_read_fp, "DAG_read_file(): cannot open file: %s\n");
}
