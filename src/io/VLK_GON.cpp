#include "VLK_GON.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "CSMLObject.h"
#include "VLK_ArgDef.h"
#include "VLK_IO.h"
#include "VLK_Object.h"
#include "VLK_Str.h"
#include "velkcom.h"
#include "vlk_bind_options.h"
#include "vlk_data_read.h"
#include "vlk_option_help.h"
#include "vlk_xml_text.h"

namespace {

// The vocabulary of CSML version 1 models.
constexpr const char* kCsmlNamespace = "http://www.csml.org/csml/version1";

using vlk::or_empty;

struct GonOptions {
  std::optional<std::string> alias;
  int alias_keycol = 0;
  int alias_newcol = 1;
};

// The writer's options over *o; the help prints the same rows.
auto gon_table(GonOptions* o) {
  return std::to_array<VLK_ArgDef>({
      vlk::arg_call3("alias", vlk::bind_last_string, &o->alias),
      vlk::arg_int("alias_keycol", &o->alias_keycol),
      vlk::arg_int("alias_newcol", &o->alias_newcol),
      vlk::arg_end(),
  });
}

GonOptions gon_options(const VLK_KeyValues* list) {
  GonOptions o;
  const auto table = gon_table(&o);
  vlk::io::bind_or_warn(list, table.data(), "WARNING: CSML: illegal  arguments failure: %s\n");
  return o;
}

using StrMatrixPtr = vlk::Owned<VLK_StrMatrix, VLK_StrMatrix_delete>;

StrMatrixPtr alias_table(const GonOptions& o) {
  if (!o.alias) return nullptr;
  std::fprintf(VELK_ERR, "Reading the alias conversion table file: %s\n", o.alias->c_str());
  StrMatrixPtr table(VLK_StrMatrix_read_file(o.alias->c_str()));
  if (!table) std::fprintf(VELK_ERR, "WARNING: failed to read: %s\n", o.alias->c_str());
  return table;
}

// "<key>: <value>" lines of every property of an edge.
std::string comment_of(const CSMLObject* obj) {
  char* buf = nullptr;
  size_t len = 0;
  FILE* mem = open_memstream(&buf, &len);
  if (mem == nullptr) return {};
  for (size_t i = 0; i < CSMLObject_num_properties(obj); ++i) {
    std::fprintf(mem, "%s: ", CSMLObject_get_property_key(obj, i));
    VLK_Object_fprint(CSMLObject_get_property_value(obj, i), mem);
    std::fputc('\n', mem);
  }
  std::fclose(mem);
  std::string out(buf, len);
  std::free(buf);
  return out;
}

int relation_type(const VLK_Edge* e) {
  const int at = VLK_Edge_find_property_key(e, "EdgeType");
  return at >= 0 ? VLK_Edge_get_property_int_index(e, static_cast<size_t>(at)) : 0;
}

void put_entity(FILE* fp, const VLK_Node* node, int n, const VLK_StrMatrix* table,
                const GonOptions& o) {
  std::fprintf(fp, "  <csml:entity label=\"e%d\" name=\"", n);
  vlk::xml::put_attribute(
      fp, GON_str_conv(or_empty(node->alias), table, o.alias_keycol, o.alias_newcol));
  std::fprintf(fp, "\" type=\"continuous\" codelinkProbeID=\"");
  vlk::xml::put_attribute(fp, or_empty(node->name));
  std::fprintf(fp, "\" extension=\"\" accession=\"\">\n");
  std::fprintf(fp,
               "    <csml:parameter label=\"m%d\" type=\"Double\" initialValue=\"0\" "
               "minimumValue=\"0\" maximumValue=\"infinite\" unit=\"unit\"/>\n",
               n);
  std::fprintf(fp, "    <csml:graphics>\n      <csml:figure>\n");
  std::fprintf(fp, "        <csml:geneEntity location=\"%f %f\"/>\n", node->drawing->x,
               node->drawing->y);
  std::fprintf(fp, "      </csml:figure>\n    </csml:graphics>\n  </csml:entity>\n");
}

// One connector of process p: from its parent's entity into it, or out of it to its child's.
void put_connector(FILE* fp, int label, const char* from_kind, int from, const char* to_kind,
                   int to, bool into_process) {
  std::fprintf(fp,
               "      <csml:connector label=\"c%d\" name=\"c%d\" type=\"process\" from=\"%s%d\" "
               "to=\"%s%d\" linestyle=\"straight\" supportpath=\"true\">\n",
               label, label, from_kind, from, to_kind, to);
  std::fprintf(fp,
               "        <csml:firing type=\"Double\" value=\"0\" "
               "connectorFiringStyle=\"threshold\"/>\n"
               "        <csml:kinetic/>\n"
               "        <csml:graphics>\n");
  std::fprintf(fp, "          <csml:processConnector depth=\"10\" points=\"%s\"/>\n",
               into_process ? "137.0 73.0 231.5 84.5" : "0.0 0.0 0.0 0.0");
  std::fprintf(fp,
               "          <csml:targetArrow>\n"
               "            <csml:processConnectorArrow points=\"0.0 0.0 0.0 6.0 8.0 3.0\" "
               "pointsInAbsoluteCoordinate=\"%s\"/>\n"
               "          </csml:targetArrow>\n",
               into_process ? "231.87674055924842 81.52374958193751 231.12325944075158 "
                              "87.4762504180625 239.4366677815 85.50464149132912"
                            : "0.0 0.0 0.0 0.0 0.0 0.0");
  std::fprintf(fp, "        </csml:graphics>\n      </csml:connector>\n");
}

void put_process(FILE* fp, const VLK_Edge* e, int k, const char* score_key) {
  const int p = k + 1;
  const double score = score_key != nullptr ? VLK_Edge_get_property_double(e, score_key, 0.0) : 0.0;
  std::fprintf(fp,
               "  <csml:process label=\"p%d\" name=\"p%d\" type=\"continuous\" "
               "relationType=\"Type %d\" edgeScore=\"%f\">\n",
               p, p, relation_type(e), score);
  std::fprintf(fp, "    <csml:comment>");
  vlk::xml::put_cdata(fp, comment_of(e->drawing));
  std::fprintf(fp, "</csml:comment>\n");
  std::fprintf(fp,
               "    <csml:simulationCondition>\n"
               "      <csml:priority value=\"0\"/>\n"
               "      <csml:firing type=\"Boolean\" value=\"true\" firingStyle=\"and\"/>\n"
               "      <csml:delay type=\"Long\" value=\"0.0\" delayStyle=\"nodelay\"/>\n"
               "      <csml:calc calcStyle=\"speed\"/>\n"
               "      <csml:kinetic type=\"Double\" value=\"1\" kineticStyle=\"custom\">\n"
               "        <csml:parameter name=\"custom\" value=\"1\"/>\n"
               "      </csml:kinetic>\n"
               "    </csml:simulationCondition>\n"
               "    <csml:function>\n");
  put_connector(fp, 2 * k + 1, "e", e->parent->index + 1, "p", p, true);
  put_connector(fp, 2 * k + 2, "p", p, "e", e->child->index + 1, false);
  std::fprintf(fp,
               "    </csml:function>\n"
               "    <csml:biological>\n"
               "      <csml:effectList/>\n"
               "    </csml:biological>\n"
               "    <csml:graphics>\n"
               "      <csml:figure>\n"
               "        <csml:continuousProcess depth=\"10\" location=\"0 0\"/>\n"
               "      </csml:figure>\n"
               "    </csml:graphics>\n"
               "  </csml:process>\n");
}

}  // namespace

std::string GON_str_conv(const char* text, const VLK_StrMatrix* table, int key_col, int new_col) {
  std::string out = text;
  if (table == nullptr || key_col < 0 || new_col < 0) return out;
  for (size_t i = 0; i < VLK_StrMatrix_lines(table); ++i) {
    const char* key = VLK_StrMatrix_get(table, i, static_cast<size_t>(key_col));
    if (key == nullptr || std::strcmp(key, text) != 0) continue;
    const char* converted = VLK_StrMatrix_get(table, i, static_cast<size_t>(new_col));
    if (converted == nullptr) break;
    out = converted;
  }
  return out;
}

int GON_write_fp(FILE* fp, const VLK_Network* net, const VLK_KeyValues* options) {
  const GonOptions o = gon_options(options);
  std::fprintf(VELK_ERR, "Going to output a network in GON (CSML 1.9) format...\n");
  const StrMatrixPtr table = alias_table(o);

  std::fprintf(fp,
               "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<csml:model\n"
               " xmlns:csml=\"%s\" majorVersion=\"1\" minorVersion=\"9\">\n"
               "<csml:unitdefs/>\n"
               "<csml:net>\n",
               kCsmlNamespace);
  const size_t n = VLK_Network_num_nodes(net);
  for (size_t i = 0; i < n; ++i)
    put_entity(fp, VLK_Network_get_node(net, static_cast<int>(i)), static_cast<int>(i) + 1,
               table.get(), o);
  const char* score_key = VLK_Network_get_primary_score(net);
  const size_t m = VLK_Network_num_edges(net);
  for (size_t k = 0; k < m; ++k)
    put_process(fp, VLK_Network_get_edge(net, static_cast<int>(k)), static_cast<int>(k), score_key);
  std::fprintf(fp,
               "</csml:net>\n"
               "<csml:simulation enhancedFiring=\"true\" samplingInterval=\"0.1\" "
               "simulationTime=\"1000.0\" logUpdateInterval=\"1.0\" plotUpdateInterval=\"1.0\" "
               "useContinuousWeakFiring=\"false\" useDiscreteWeakFiring=\"false\" "
               "firingAccuracy=\"1.0E-10\"/>\n"
               "</csml:model>\n");
  return vlk::io::stream_result(fp);
}

void GON_help(FILE* fp, const char* /*sub*/) {
  GonOptions d;
  const auto table = gon_table(&d);
  const vlk::OptionHelp help[] = {
      {"alias", "=file (string)",
       "A TAB-delimited table that converts the node aliases written as entity names.",
       d.alias.value_or("none")},
      {"alias_keycol", nullptr, "The field of the alias table compared with the node alias."},
      {"alias_newcol", nullptr, "The field of the alias table written as the entity name."},
  };
  std::fprintf(fp, "\"GON\" (network output module):\n");
  vlk::print_option_help(fp, table.data(), help);
}
