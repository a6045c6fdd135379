#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "VLK_ArgDef.h"
#include "VLK_CSML.h"
#include "VLK_IO.h"
#include "VLK_Object.h"
#include "VLK_Str.h"
#include "VLK_Type.h"
#include "velkcom.h"
#include "vlk_data_read.h"
#include "vlk_fatal.h"
#include "vlk_net_text.h"
#include "vlk_option_help.h"
#include "vlk_xml_text.h"

namespace {

using StrMatrixPtr = vlk::Owned<VLK_StrMatrix, VLK_StrMatrix_delete>;

using vlk::or_empty;
const char* truth(int flag) { return flag != 0 ? "true" : "false"; }

// s as the text of an attribute value.
void put_text(FILE* fp, const char* s) {
  if (s != nullptr) vlk::xml::put_attribute(fp, s);
}

struct Options {
  std::optional<std::string> probe;
  std::optional<std::string> alias;
  int alias_keycol = 0;
  int alias_newcol = 1;
  std::optional<std::string> edge{"fact"};
  int show_name = 1;
  int show_property = 1;
  int place_holder = 0;
};

// The writer's options over *o; the help prints the same rows.
auto option_table(Options* o) {
  return std::to_array<VLK_ArgDef>({
      vlk::arg_call3("probe", vlk::bind_last_string, &o->probe),
      vlk::arg_call3("alias", vlk::bind_last_string, &o->alias),
      vlk::arg_int("alias_keycol", &o->alias_keycol),
      vlk::arg_int("alias_newcol", &o->alias_newcol),
      vlk::arg_call3("edge", vlk::bind_last_string, &o->edge),
      vlk::arg_onoff("show_name", &o->show_name),
      vlk::arg_onoff("show_property", &o->show_property),
      vlk::arg_onoff("place_holder", &o->place_holder),
      vlk::arg_end(),
  });
}

void bind_options(const VLK_KeyValues* list, Options* o, bool warn = true) {
  const auto table = option_table(o);
  const char* key = vlk::rejected_key(list, table.data());
  if (key != nullptr && warn)
    std::fprintf(VELK_ERR, "WARNING: VLK_CSML: illegal  arguments failure: %s\n", key);
}

// A hidden label of an entity, by its arrangement and its name.
void put_hidden_label(FILE* fp, const char* arrangement, const char* name) {
  std::fprintf(fp,
               "<fig:text xmlns:fig=\"%s\" arrangement=\"%s\" depth=\"0\" fillColor=\"0 0 0 0\" "
               "fontName=\"Dialog\" fontSize=\"12\" fontStyle=\"plain\" name=\"%s\" "
               "outlineColor=\"0 0 0 0\" outlineDash=\"\" outlineWidth=\"0.0\" spacing=\"-2.0\" "
               "textColor=\"0 0 0 255\" visible=\"false\"/>\n",
               VLK_CSML_NS_CIGRAPHICS, arrangement, name);
}

// The text written as the node's probeID, which the reader takes as its name: the name, or with
// "probe" the node's string property of that key when it has one.
const char* probe_of(const VLK_Node* node, const Options& o) {
  if (o.probe) {
    const VLK_Object* box = VLK_Node_get_property(node, o.probe->c_str());
    if (box != nullptr && box->type == VLK_TYPE_STRING && box->value != nullptr)
      return static_cast<const char*>(box->value);
  }
  return node->name;
}

// The numbers the reader takes back must be what it accepts: finite positions, sizes and Real
// properties, colour components 0 .. 255.
bool color_reads_back(const VLK_Color* c) {
  const auto component = [](int v) { return v >= 0 && v <= 255; };
  return c == nullptr || (component(c->r) && component(c->g) && component(c->b) && component(c->a));
}

// The key of the first double property of obj that is not finite, or null.
const char* non_finite_property(const CSMLObject* obj) {
  for (size_t j = 0; j < CSMLObject_num_properties(obj); ++j) {
    const VLK_Object* box = CSMLObject_get_property_value(obj, j);
    if (box != nullptr && box->type == VLK_TYPE_DOUBLE && box->value != nullptr &&
        !std::isfinite(*static_cast<const double*>(box->value)))
      return CSMLObject_get_property_key(obj, j);
  }
  return nullptr;
}

std::string property_problem(const char* key) {
  return "its property \"" + vlk::printable(or_empty(key)) +
         "\" is not a finite number, and would not read back";
}

std::string node_number_problem(const VLK_Node* node) {
  const CSMLObject* d = node->drawing;
  if (!std::isfinite(d->x) || !std::isfinite(d->y))
    return "its position is not finite, and would not read back";
  if (!std::isfinite(VLK_Node_get_size(node)))
    return "its size is not finite, and would not read back";
  if (!color_reads_back(d->fill_color))
    return "its fill colour has a component outside 0 to 255, and would not read back";
  if (const char* key = non_finite_property(d)) return property_problem(key);
  return {};
}

// In fact mode the reader takes back the line colour and the properties of every edge.
std::string edge_problem(const VLK_Network* net, const Options& o) {
  if (!o.edge || *o.edge != "fact") return {};
  for (size_t k = 0; k < VLK_Network_num_edges(net); ++k) {
    const CSMLObject* d = VLK_Network_get_edge(net, static_cast<int>(k))->drawing;
    std::string why;
    if (!color_reads_back(d->line_color))
      why = "its line colour has a component outside 0 to 255, and would not read back";
    else if (const char* key = non_finite_property(d))
      why = property_problem(key);
    if (!why.empty())
      return "ERROR: CSML: cannot write edge " + std::to_string(k) + " (counted from 0): " + why +
             "\n";
  }
  return {};
}

// The reader refuses an entity without a name, and takes a property "probeID" for the name;
// any other text is escaped and reads back.
std::string network_problem(const VLK_Network* net, const Options& o) {
  for (size_t i = 0; i < VLK_Network_num_nodes(net); ++i) {
    const VLK_Node* node = VLK_Network_get_node(net, static_cast<int>(i));
    const char* probe = probe_of(node, o);
    const std::string why = probe == nullptr || *probe == '\0'
                                ? (o.probe ? "its probeID is empty, and would not read back"
                                           : "its name is empty, and would not read back")
                            : VLK_Node_get_property(node, "probeID") != nullptr
                                ? "its property \"probeID\" would be read back as its name"
                                : node_number_problem(node);
    if (!why.empty())
      return "ERROR: CSML: cannot write node " + std::to_string(i) + " (counted from 0): " + why +
             "\n";
  }
  return edge_problem(net, o);
}

void put_entity(FILE* fp, const VLK_Node* node, int n, const Options& o,
                const VLK_StrMatrix* aliases) {
  const CSMLObject* d = node->drawing;
  std::fprintf(fp, "<csml:entity id=\"e%d\" name=\"", n);
  put_text(
      fp,
      VLK_CSML_str_conv(or_empty(node->alias), aliases, o.alias_keycol, o.alias_newcol).c_str());
  std::fprintf(fp, "\" type=\"%s\">\n", CSMLObject_get_CSO_type_name(d));
  std::fprintf(fp,
               "<csml:entitySimulationProperty>\n"
               "<csml:variable variableID=\"m%d\" type=\"csml-variable:Double\">\n"
               "<csml:parameter key=\"csml-variable:parameter:initialValue\" value=\"0\"/>\n"
               "<csml:parameter key=\"csml-variable:parameter:maximumValue\" value=\"infinite\"/>\n"
               "<csml:parameter key=\"csml-variable:parameter:minimumValue\" value=\"0\"/>\n"
               "<csml:parameter key=\"csml-variable:parameter:global\" value=\"false\"/>\n"
               "</csml:variable>\n"
               "</csml:entitySimulationProperty>\n",
               n);
  std::fprintf(fp,
               "<csml:viewProperty>\n"
               "<csml:position positionID=\"default\" position=\"auto\" x=\"%f\" y=\"%f\"/>\n"
               "<csml:shape depth=\"%d\" shapeID=\"default\" visible=\"%s\">\n"
               "<csml:toolSpecificGraphics xmlns=\"%s\">\n",
               d->x, d->y, static_cast<int>(d->depth), truth(d->visible), VLK_CSML_NS_CIGRAPHICS);
  char fill[CSMLObject_COLOR_EXPR_SIZE], line[CSMLObject_COLOR_EXPR_SIZE];
  CSMLObject_get_fill_color_expr(d, fill);
  CSMLObject_get_line_color_expr(d, line);
  const double size = VLK_Node_get_size(node);
  std::fprintf(fp,
               "<fig:figure xmlns:fig=\"%s\">\n"
               "<fig:geneEntity size=\"%f %f\" depth=\"0\" fillColor=\"%s\" outlineColor=\"%s\" "
               "outlineWidth=\"%f\" visible=\"true\"/>\n"
               "</fig:figure>\n",
               VLK_CSML_NS_CIGRAPHICS, size, size, fill, line, d->line_width);
  if (o.show_name == 0) put_hidden_label(fp, "left top", "name");
  if (o.show_property == 0) put_hidden_label(fp, "right bottom", "biologicalProperty");
  std::fprintf(fp,
               "</csml:toolSpecificGraphics>\n</csml:shape>\n</csml:viewProperty>\n"
               "<csml:biologicalProperty refCellComponentID=\"cso30:i:CC_CellComponent\">\n"
               "<csml:property key=\"probeID\" value=\"");
  put_text(fp, probe_of(node, o));
  std::fprintf(fp, "\"/>\n");
  VLK_CSML_put_properties(fp, d);
  std::fprintf(fp, "</csml:biologicalProperty>\n</csml:entity>\n");
}

// The edge's "EdgeType" as an int, 0 without one.
int relation_type(const VLK_Edge* e) {
  const long at = VLK_Edge_find_property(e, "EdgeType");
  return at < 0 ? 0 : VLK_Edge_get_property_int_index(e, static_cast<size_t>(at));
}

// The edge's value of the network's primary score, 0.0 without one.
double edge_score(const VLK_Network* net, const VLK_Edge* e) {
  return net->primary_score != nullptr ? VLK_Edge_get_property_double(e, net->primary_score, 0.0)
                                       : 0.0;
}

// The relation type and the score, unless the edge carries properties of those names itself,
// then the edge's own properties. `score_type` is the type attribute of the score, if any.
void put_edge_properties(FILE* fp, const VLK_Network* net, const VLK_Edge* e,
                         const char* score_type) {
  if (VLK_Edge_find_property(e, "relationType") < 0)
    std::fprintf(fp, "<csml:property key=\"relationType\" value=\"Type %d\"/>\n", relation_type(e));
  if (VLK_Edge_find_property(e, "edgeScore") < 0)
    std::fprintf(fp, "<csml:property key=\"edgeScore\" value=\"%f\"%s/>\n", edge_score(net, e),
                 score_type);
  VLK_CSML_put_properties(fp, e->drawing);
}

void put_fact(FILE* fp, const VLK_Network* net, const VLK_Edge* e, int n, int label_flag) {
  const CSMLObject* d = e->drawing;
  const double w = d->line_width;
  const char* kind = "processConnector";
  double width = 4 * (w - 1) + 8, height = 4 * (w - 1) + 6;
  switch (relation_type(e)) {
    case 1:
      kind = "inhibitoryConnector";
      width = 4 * w;
      height = 4 * (w - 1) + 14;
      break;
    case 2:
      kind = "ellipse";
      break;
    default:
      break;
  }
  char color[CSMLObject_COLOR_EXPR_SIZE];
  CSMLObject_get_line_color_expr(d, color);
  std::fprintf(fp,
               "<csml:fact id=\"f%d\" name=\"f%d\" type=\"cso30:f:DirectedRelation\">\n"
               "<csml:logProperty/>\n"
               "<csml:participant id=\"\" refID=\"e%d\" type=\"from\"/>\n"
               "<csml:participant id=\"\" refID=\"e%d\" type=\"to\"/>\n",
               n, n, e->parent->index + 1, e->child->index + 1);
  std::fprintf(fp,
               "<csml:viewProperty>\n"
               "<csml:position position=\"auto\" positionID=\"default\" x=\"0.0\" y=\"0.0\"/>\n"
               "<csml:shape depth=\"%d\" visible=\"%s\">\n"
               "<csml:toolSpecificGraphics>\n"
               "<fig:figure xmlns:fig=\"%s\">\n"
               "<fig:edge lineColor=\"%s\" lineWidth=\"%f\"/>\n",
               static_cast<int>(d->depth), truth(d->visible), VLK_CSML_NS_CIGRAPHICS, color, w);
  if (label_flag == 0) put_hidden_label(fp, "left top", "name");
  std::fprintf(fp,
               "<fig:targetArrow xmlns:fig=\"%s\">\n"
               "<fig:%sArrow fillColor=\"%s\" outlineColor=\"%s\" size=\"%f %f\"/>\n"
               "</fig:targetArrow>\n"
               "</fig:figure>\n</csml:toolSpecificGraphics>\n</csml:shape>\n</csml:viewProperty>\n"
               "<csml:animationProperty/>\n<csml:biologicalProperty>\n",
               VLK_CSML_NS_CIGRAPHICS, kind, color, color, width, height);
  put_edge_properties(fp, net, e, " type=\"Real\"");
  std::fprintf(fp, "</csml:biologicalProperty>\n<csml:comments/>\n</csml:fact>\n");
}

// The connector blocks of a process, which differ in their place and their drawing only.
struct Connector {
  const char* type;
  const char* x;
  const char* y;
  const char* line;  // the processConnector's attributes
  const char* absolute;
  bool comments;  // the output connector carries an empty comment
};

constexpr Connector kInput{"cso30:c:InputProcess",
                           "64.0",
                           "68.0",
                           "depth=\"0\" points=\"1.0 1.0 1.0 1.0\" visible=\"true\"",
                           "95.6 115.01 96.33 120.98 103.95 117.116",
                           false};
constexpr Connector kOutput{
    "cso30:c:OutputProcess",
    "96.0",
    "118.0",
    "name=\"default\" depth=\"0\" points=\"96.0 118.0 128.0 168.0\" visible=\"true\"",
    "130.51 166.365 125.484 169.63 132.359 174.70",
    true};

void put_connector(FILE* fp, const Connector& c, int number, int entity) {
  std::fprintf(fp, "<csml:connector id=\"c%d\" name=\"c%d\" refID=\"e%d\" type=\"%s\">", number,
               number, entity, c.type);
  std::fprintf(fp,
               "<csml:connectorSimulationProperty>\n"
               "<csml:connectorFiring "
               "connectorFiringStyle=\"csml-connectorFiringStyle:threshold\" value=\"0\"/>\n"
               "<csml:connectorKinetic>\n"
               "<csml:parameter key=\"stoichiometry\" value=\"1\"/>\n"
               "</csml:connectorKinetic>\n"
               "</csml:connectorSimulationProperty>\n");
  std::fprintf(fp,
               "<csml:viewProperty>\n"
               "<csml:position positionID=\"default\" position=\"auto\" x=\"%s\" y=\"%s\"/>\n"
               "<csml:shape shapeID=\"default\" depth=\"10\" visible=\"true\">\n"
               "<csml:toolSpecificGraphics>\n"
               "<figure xmlns=\"%s\">\n"
               "<processConnector %s/>\n"
               "<targetArrow xmlns=\"%s\">\n"
               "<processConnectorArrow size=\"8.0 6.0\" points=\"0.0 0.0 0.0 6.0 8.0 3.0\" "
               "pointsInAbsoluteCoordinate=\"%s\"/>\n"
               "</targetArrow>\n"
               "</figure>\n</csml:toolSpecificGraphics>\n</csml:shape>\n</csml:viewProperty>\n",
               c.x, c.y, VLK_CSML_NS_CIGRAPHICS, c.line, VLK_CSML_NS_CIGRAPHICS, c.absolute);
  if (c.comments)
    std::fprintf(fp, "<csml:comments>\n<csml:comment type=\"text\"/>\n</csml:comments>\n");
  std::fprintf(fp, "</csml:connector>\n");
}

void put_process(FILE* fp, const VLK_Network* net, const VLK_Edge* e, int index) {
  const int p = index + 1;
  std::fprintf(fp, "<csml:process id=\"p%d\" name=\"p%d\" type=\"cso30:c:-\">", p, p);
  put_connector(fp, kInput, 2 * index + 1, e->parent->index + 1);
  put_connector(fp, kOutput, 2 * index + 2, e->child->index + 1);
  std::fprintf(fp,
               "<csml:processSimulationProperty>\n"
               "<csml:priority value=\"0\"/>\n"
               "<csml:firing firingStyle=\"csml-firingStyle:and\" firingOnce=\"false\" "
               "type=\"csml-variable:Boolean\" value=\"true\"/>\n"
               "<csml:delay delayStyle=\"nodelay\" value=\"0.0\"/>\n"
               "<csml:processKinetic calcStyle=\"csml-calcStyle:speed\" "
               "kineticStyle=\"csml-kineticStyle:mass\" fast=\"false\">\n"
               "<csml:parameter key=\"coefficient2\" value=\"1.0\"/>\n"
               "<csml:parameter key=\"coefficient1\" value=\"0.1\"/>\n"
               "</csml:processKinetic>\n"
               "</csml:processSimulationProperty>\n");
  std::fprintf(fp,
               "<csml:viewProperty>\n"
               "<csml:position positionID=\"default\" position=\"auto\" x=\"85.5\" y=\"112.5\"/>\n"
               "<csml:shape shapeID=\"default\" depth=\"10\" visible=\"true\">\n"
               "<csml:toolSpecificGraphics>\n"
               "<figure xmlns=\"%s\">\n"
               "<continuousProcess outlineWidth=\"1\" depth=\"0\" visible=\"true\"/>\n"
               "</figure>\n</csml:toolSpecificGraphics>\n</csml:shape>\n</csml:viewProperty>\n"
               "<csml:biologicalProperty refBiologicalEventID=\"cso30:i:-\" "
               "refCellComponentID=\"cso30:i:CC_CellComponent\">\n",
               VLK_CSML_NS_CIGRAPHICS);
  put_edge_properties(fp, net, e, "");
  std::fprintf(fp,
               "</csml:biologicalProperty>\n"
               "<csml:comments>\n<csml:comment type=\"text\">\n\n</csml:comment>\n"
               "</csml:comments>\n</csml:process>\n");
}

void put_place_holder(FILE* fp, const char* id, const char* x, const char* y) {
  std::fprintf(fp,
               "<csml:fact id=\"%s\" name=\"%s\" type=\"cso30:c:FactViewElement\">\n"
               "<csml:logProperty/>\n"
               "<csml:viewProperty>\n"
               "<csml:position position=\"rotation:0.0\" positionID=\"default\" x=\"%s\" "
               "y=\"%s\"/>\n"
               "<csml:shape depth=\"0\" shapeID=\"default\" visible=\"true\">\n"
               "<csml:toolSpecificGraphics>\n"
               "<fig:figure xmlns:fig=\"%s\">\n"
               "<fig:roundRectangle arcRatio=\"5\" depth=\"0\" fillColor=\"0 0 0 0\" "
               "outlineColor=\"255 255 255 255\" outlineDash=\"\" outlineWidth=\"2.0\" "
               "size=\"10.0 10.0\" visible=\"true\"/>\n"
               "</fig:figure>\n</csml:toolSpecificGraphics>\n</csml:shape>\n</csml:viewProperty>\n"
               "<csml:animationProperty/>\n<csml:biologicalProperty/>\n<csml:comments/>\n"
               "</csml:fact>\n",
               id, id, x, y, VLK_CSML_NS_CIGRAPHICS);
}

}  // namespace

std::string vlk::io::csml_write_problem(const VLK_Network* net, const VLK_KeyValues* options) {
  Options o;
  bind_options(options, &o, false);
  return network_problem(net, o);
}

int VLK_CSML_write_fp(FILE* fp, const VLK_Network* net, const VLK_KeyValues* options) {
  Options o;
  bind_options(options, &o);
  std::fprintf(VELK_ERR, "CSML: Going to output a network in CSML format...\n");
  const std::string mode = o.edge ? *o.edge : "";
  // Checked before anything is written, so that no half project is left behind.
  if (mode != "fact" && mode != "process")
    vlk::fatal("ERROR: CSML: Unknown edge mode: %s\n", mode.c_str());
  vlk::io::refuse(network_problem(net, o));
  StrMatrixPtr aliases;
  if (o.alias) {
    std::fprintf(VELK_ERR, "Reading the alias conversion table file: %s\n", o.alias->c_str());
    aliases.reset(VLK_StrMatrix_read_file(o.alias->c_str()));
    if (!aliases) std::fprintf(VELK_ERR, "WARNING: failed to read: %s\n", o.alias->c_str());
  }

  std::fprintf(fp,
               "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
               "<csml:project majorVersion=\"3\" minorVersion=\"0\" projectID=\"local\" "
               "projectVersionID=\"undef\" xmlns:xlink=\"%s\" xmlns:csml=\"%s\">\n"
               "<csml:model modelID=\"undef\">\n"
               "<csml:entitySet>\n",
               VLK_CSML_NS_XLINK, VLK_CSML_NS_CSML);
  const size_t n = VLK_Network_num_nodes(net);
  for (size_t i = 0; i < n; ++i)
    put_entity(fp, VLK_Network_get_node(net, static_cast<int>(i)), static_cast<int>(i + 1), o,
               aliases.get());
  std::fprintf(fp, "</csml:entitySet>\n");
  if (mode == "fact") {
    std::fprintf(fp, "<csml:processSet/>\n<csml:factSet>\n");
    VLK_CSML_put_edges_as_facts(fp, net, 0);
  } else {
    VLK_CSML_put_edges_as_processes(fp, net);
    std::fprintf(fp, "<csml:factSet>\n");
  }
  VLK_CSML_put_CSMLObjects(fp, net);
  if (o.place_holder != 0) VLK_CSML_put_place_holder(fp, net);
  std::fprintf(fp, "</csml:factSet>\n</csml:model>\n</csml:project>\n");
  return vlk::io::stream_result(fp);
}

void VLK_CSML_put_properties(FILE* fp, const CSMLObject* obj) {
  for (size_t i = 0; i < CSMLObject_num_properties(obj); ++i) {
    const VLK_Object* box = CSMLObject_get_property_value(obj, i);
    if (box == nullptr) continue;
    const char* type = nullptr;
    switch (box->type) {
      case VLK_TYPE_INT:
        type = "Integer";
        break;
      case VLK_TYPE_DOUBLE:
        type = "Real";
        break;
      case VLK_TYPE_STRING:
        type = "String";
        break;
      case VLK_TYPE_DOUBLEARRAY:
        break;
      default:
        vlk::fatal("FATAL ERROR: VLK_CSML_put_properties(): Unknown CSML type: %s.\n",
                   VLK_Type_name(box->type));
    }
    std::fprintf(fp, "<csml:property key=\"");
    put_text(fp, CSMLObject_get_property_key(obj, i));
    std::fprintf(fp, "\" value=\"");
    if (box->type == VLK_TYPE_STRING)
      put_text(fp, static_cast<const char*>(box->value));
    else
      VLK_Object_fprint(box, fp);  // numbers only
    std::fputc('"', fp);
    if (type != nullptr) std::fprintf(fp, " type=\"%s\"", type);
    std::fprintf(fp, "/>\n");
  }
}

void VLK_CSML_put_edges_as_facts(FILE* fp, const VLK_Network* net, int label_flag) {
  const size_t m = VLK_Network_num_edges(net);
  for (size_t k = 0; k < m; ++k) {
    const VLK_Edge* e = VLK_Network_get_edge(net, static_cast<int>(k));
    if (k == 0 && VLK_Edge_find_property(e, "EdgeType") < 0)
      std::fprintf(VELK_ERR, "CSML: Warning: \"EdgeType\" not found.\n");
    put_fact(fp, net, e, static_cast<int>(k + 1), label_flag);
  }
}

void VLK_CSML_put_edges_as_processes(FILE* fp, const VLK_Network* net) {
  std::fprintf(fp, "<csml:processSet>\n");
  const size_t m = VLK_Network_num_edges(net);
  for (size_t k = 0; k < m; ++k)
    put_process(fp, net, VLK_Network_get_edge(net, static_cast<int>(k)), static_cast<int>(k));
  std::fprintf(fp, "</csml:processSet>\n");
}

void VLK_CSML_put_place_holder(FILE* fp, const VLK_Network* net) {
  double x = -1.0, y = -1.0;
  for (size_t i = 0; i < VLK_Network_num_nodes(net); ++i) {
    const VLK_Node* node = VLK_Network_get_node(net, static_cast<int>(i));
    x = std::max(x, VLK_Node_get_position_x(node));
    y = std::max(y, VLK_Node_get_position_y(node));
  }
  char far_x[64], far_y[64];
  std::snprintf(far_x, sizeof far_x, "%f", x + 120);
  std::snprintf(far_y, sizeof far_y, "%f", y + 60);
  put_place_holder(fp, "fpf1", "0", "0");
  put_place_holder(fp, "fpf2", far_x, far_y);
}

void VLK_CSML_put_CSMLObjects(FILE* fp, const VLK_Network* net) {
  // After the edge facts f1 to fE, so that no two facts share an id.
  const int first = static_cast<int>(VLK_Network_num_edges(net)) + 1;
  for (size_t i = 0; i < VLK_Network_num_CSMLObjects(net); ++i) {
    const int n = first + static_cast<int>(i);
    std::fprintf(fp, "<csml:fact id=\"f%d\" name=\"f%d\" type=\"cso30:c:FactViewElement\">\n", n,
                 n);
    CSMLObject_put_CSML(VLK_Network_get_CSMLObject(net, i), fp);
    std::fprintf(fp, "</csml:fact>\n");
  }
}

std::string VLK_CSML_str_conv(const char* text, const VLK_StrMatrix* table, int keycol,
                              int newcol) {
  std::string out = text != nullptr ? text : "";
  if (table == nullptr || text == nullptr || keycol < 0) return out;
  for (size_t i = 0; i < VLK_StrMatrix_lines(table); ++i) {
    const char* key = VLK_StrMatrix_get(table, i, static_cast<size_t>(keycol));
    if (key == nullptr || std::strcmp(key, text) != 0) continue;  // short lines match nothing
    const char* converted =
        newcol >= 0 ? VLK_StrMatrix_get(table, i, static_cast<size_t>(newcol)) : nullptr;
    if (converted == nullptr) break;
    out = converted;
  }
  return out;
}

void VLK_CSML_help(FILE* fp, const char* /*sub*/) {
  Options d;
  const auto table = option_table(&d);
  const vlk::OptionHelp help[] = {
      {"probe", "=key (string)",
       "The node property (a string) written as the entity's probeID, which a reader takes "
       "for the node's name; nodes without it keep their name.",
       d.probe.value_or("none")},
      {"alias", "=file (string)",
       "A TAB-delimited table that converts the node aliases written as entity names.",
       d.alias.value_or("none")},
      {"alias_keycol", nullptr, "The field of the alias table compared with the node alias."},
      {"alias_newcol", nullptr, "The field of the alias table written as the entity name."},
      {"edge", "=(fact|process)",
       "How edges are written: \"fact\" (a directed relation) or \"process\" (with an input "
       "and an output connector).",
       d.edge.value_or("none")},
      {"show_name", nullptr,
       "Show the entity names; off adds a hidden name label to every entity."},
      {"show_property", nullptr,
       "Show the entity properties; off adds a hidden property label to every entity."},
      {"place_holder", nullptr, "Add two place-holder facts around the drawing."},
  };
  std::fprintf(fp, "\"CSML\" (network input/output module; the options of the output):\n");
  vlk::print_option_help(fp, table.data(), help);
}
