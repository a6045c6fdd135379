#include "VLK_IO.h"

#include <strings.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "VLK_BSF.h"
#include "VLK_CSML.h"
#include "VLK_GON.h"
#include "VLK_LIST.h"
#include "VLK_ListReaders.h"
#include "VLK_Network_convert.h"
#include "VLK_TXT.h"
#include "VLK_VLK2.h"
#include "VLK_VLK3.h"
#include "velkcom.h"
#include "vlk_fatal.h"
#include "vlk_net_text.h"

constexpr VLK_IOFormat IO_list[IO_LIST_FORMATS + 1] = {
    {"TXT", TXT_read_fp, nullptr, TXT_write_fp, nullptr, nullptr},
    {"VLK", nullptr, nullptr, VLK_write_fp, nullptr, nullptr},
    {"VLK2", VLK2_read_fp, VLK2_read_file, VLK2_write_fp, nullptr, nullptr},
    {"VLK3", VLK3_read_fp, VLK3_read_file, VLK3_write_fp, VLK3_write_file, nullptr},
    {"CSML", VLK_CSML_read_fp, VLK_CSML_read_file, VLK_CSML_write_fp, nullptr, nullptr},
    {"DAG", DAG_read_fp, DAG_read_file, nullptr, nullptr, nullptr},
    {"LIST", nullptr, nullptr, LIST_write_fp, LIST_write_file, nullptr},
    {"NODELIST", nullptr, nullptr, NODELIST_write_fp, NODELIST_write_file, nullptr},
    {"GON", nullptr, nullptr, GON_write_fp, nullptr, nullptr},
    {"BSF", BSF_read_fp, nullptr, BSF_write_fp, nullptr, BSF_write_graph_fp},
    {"TXTS", TXTS_read_fp, nullptr, nullptr, nullptr, nullptr},
    {"PALIST", PALIST_read_fp, PALIST_read_file, nullptr, nullptr, nullptr},
    {"PARAOS", VLK_PARAOS_read_fp, nullptr, nullptr, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr, nullptr},
};

namespace {

const VLK_IOFormat* find_row(const char* name) {
  if (name == nullptr) return nullptr;
  for (const VLK_IOFormat* row = IO_list; row->name != nullptr; ++row)
    if (strcasecmp(row->name, name) == 0) return row;
  return nullptr;
}

template <class Op>
Op field_of(const char* name, Op VLK_IOFormat::*field) {
  const VLK_IOFormat* row = find_row(name);
  return row != nullptr ? row->*field : nullptr;
}

const char* shown(const char* s) { return s != nullptr ? s : "(null)"; }

IO_read_fp_fn reader_or_end(const char* name) {
  const IO_read_fp_fn read = IO_get_reader(name);
  if (read == nullptr) vlk::fatal("ERROR: IO: Unknown file type: %s\n", shown(name));
  return read;
}

// The writers' refusals go to the process's standard error stream, not to VELK_ERR (which may
// be the log file, or the very stream the network was to be written to). They end the process
// through the library's one fatal path, as the readers' refusals do.
[[noreturn]] void refuse_on_stderr(const char* format, const char* what) {
  vlk::fatal_stderr(format, shown(what));
}

IO_write_fp_fn writer_or_end(const char* name) {
  const IO_write_fp_fn write = IO_get_writer(name);
  if (write == nullptr) refuse_on_stderr("ERROR: unknown file type: %s\n", name);
  return write;
}

int written(int result, FILE* fp) {
  const int stream = vlk::io::stream_result(fp);
  return result != 0 ? result : stream;
}

// The writer's result, or non-zero when the stream ends in error or cannot be closed.
int write_and_close(FILE* fp, IO_write_fp_fn write, const VLK_Network* net,
                    const VLK_KeyValues* options) {
  const int result = written(write(fp, net, options), fp);
  const int closed = std::fclose(fp);
  return result != 0 ? result : (closed != 0 ? 1 : 0);
}

// "Input file broken", and on a second line which file and why, as far as the file shows it.
[[noreturn]] void broken(const char* path, const std::string& why) {
  vlk::fatal("ERROR: IO: Input file broken.\nERROR: IO: %s %s\n",
             path != nullptr ? path : "standard input", why.c_str());
}

// What the file held, for a reader that gave nothing: empty, or its first line as the reader
// saw it (CRs and TABs shown), when the stream can be read again from its start. The reader
// prints its own reason first, when it has one.
std::string refused_reason(FILE* fp, const char* name) {
  const std::string refused = std::string("was refused by the ") + name + " reader";
  if (std::fseek(fp, 0, SEEK_SET) != 0) return refused;
  std::clearerr(fp);
  std::string first;
  for (int c; first.size() <= 80 && (c = std::fgetc(fp)) != EOF && c != '\n';)
    first += static_cast<char>(c);
  if (first.empty() && std::feof(fp)) return "is empty";
  return refused + "; its first line is \"" + vlk::io::printable(first) + "\"";
}

}  // namespace

VLK_Network* IO_read_file(const char* path, const char* name, const VLK_KeyValues* options) {
  const IO_read_fp_fn read = reader_or_end(name);
  FILE* fp = stdin;
  if (path != nullptr) {
    fp = std::fopen(path, "r");
    if (fp == nullptr) vlk::fatal("ERROR: IO: Cannot open file: %s\n", path);
  }
  // A directory opens, then reads as an empty file, which some formats take as an empty network.
  struct stat st;
  if (fstat(fileno(fp), &st) == 0 && S_ISDIR(st.st_mode)) broken(path, "is a directory");
  VLK_Network* net = read(fp, options);
  // A read that failed half-way would leave the rest of the network unread.
  if (std::ferror(fp))
    broken(path, std::string("could not be read to its end: ") + std::strerror(errno));
  if (net == nullptr) broken(path, refused_reason(fp, find_row(name)->name));
  if (fp != stdin) std::fclose(fp);
  return net;
}

VLK_Network* IO_read_fp(FILE* fp, const char* name, const VLK_KeyValues* options) {
  return reader_or_end(name)(fp, options);
}

VLK_Graph* IO_read_graph_file(const char* path, const char* name, const VLK_KeyValues* options) {
  const vlk::NetworkPtr net(IO_read_file(path, name, options));
  return VLK_Network_graph(net.get());
}

int IO_output_network_fp(FILE* fp, const VLK_Network* net, const char* name,
                         const VLK_KeyValues* options) {
  return written(writer_or_end(name)(fp, net, options), fp);
}

int IO_output_network_file(const char* path, const VLK_Network* net, const char* name,
                           const VLK_KeyValues* options) {
  const IO_write_fp_fn write = writer_or_end(name);
  FILE* fp = path != nullptr ? std::fopen(path, "w") : nullptr;
  if (fp == nullptr) refuse_on_stderr("ERROR: cannot open file: %s\n", path);
  return write_and_close(fp, write, net, options);
}

IO_read_fp_fn IO_get_reader(const char* name) { return field_of(name, &VLK_IOFormat::read_fp); }

IO_read_file_fn IO_get_file_reader(const char* name) {
  return field_of(name, &VLK_IOFormat::read_file);
}

IO_write_fp_fn IO_get_writer(const char* name) { return field_of(name, &VLK_IOFormat::write_fp); }

IO_write_file_fn IO_get_file_writer(const char* name) {
  return field_of(name, &VLK_IOFormat::write_file);
}

IO_write_graph_fp_fn IO_get_graph_writer(const char* name) {
  return field_of(name, &VLK_IOFormat::write_graph_fp);
}

int IO_check(const char* name, int mode) {
  if (mode != 0) return 0;
  return IO_get_reader(name) != nullptr ? 1 : 0;
}

namespace vlk::io {

namespace {

// The path variants' reaction to a path that cannot be opened.
void open_failed(const char* open_failure, const char* path, bool fatal) {
  if (fatal) vlk::fatal(open_failure, shown(path));
  std::fprintf(VELK_ERR, open_failure, shown(path));
  std::fflush(VELK_ERR);
}

}  // namespace

VLK_Network* read_path(const char* path, const VLK_KeyValues* options, IO_read_fp_fn read,
                       const char* open_failure, bool fatal) {
  FILE* fp = path != nullptr ? std::fopen(path, "r") : nullptr;
  if (fp == nullptr) {
    open_failed(open_failure, path, fatal);
    return nullptr;
  }
  VLK_Network* net = read(fp, options);
  std::fclose(fp);
  return net;
}

int write_path(const char* path, const VLK_Network* net, const VLK_KeyValues* options,
               IO_write_fp_fn write, const char* open_failure, bool fatal) {
  FILE* fp = path != nullptr ? std::fopen(path, "w") : nullptr;
  if (fp == nullptr) {
    open_failed(open_failure, path, fatal);
    return 1;
  }
  return write_and_close(fp, write, net, options);
}

int stream_result(FILE* fp) { return std::fflush(fp) != 0 || std::ferror(fp) != 0 ? 1 : 0; }

std::string write_problem(const VLK_Network* net, const char* format,
                          const VLK_KeyValues* options) {
  using Problem = std::string (*)(const VLK_Network*, const VLK_KeyValues*);
  static constexpr std::pair<const char*, Problem> kChecked[] = {{"TXT", txt_write_problem},
                                                                 {"VLK2", vlk2_write_problem},
                                                                 {"VLK3", vlk3_write_problem},
                                                                 {"CSML", csml_write_problem}};
  for (const auto& [name, problem] : kChecked)
    if (format != nullptr && strcasecmp(format, name) == 0) return problem(net, options);
  return {};
}

}  // namespace vlk::io
