// The help registry: one row per module that prints help for its option strings.
#pragma once

#include <cstdio>

#include "VLK_StrArray.h"

struct VLK_HelpEntry {
  void (*help)(FILE* fp, const char* sub);  // prints the module's help; sub may be null
  const char* name;                         // module name
  const char* category;                     // "input", "algo", "score" or "io"
};

// Ended by a row whose help function is null.
extern const VLK_HelpEntry VLK_Help_lists[];

VLK_StrArray* VLK_Help_list(const char* category);
void VLK_Help_msg(FILE* fp, const char* category, const char* name, const char* sub);
// The module names of VLK_Help_list (category null: all), one per line.
void VLK_Help_print_list(FILE* fp, const char* category);

namespace vlk {

// Printed after a row's help, before the empty line that closes its block: what a program
// says of the module beside the module's own help.
using HelpAfter = void (*)(FILE* fp, const VLK_HelpEntry& row);

// The same operations over any table ended by a null help function.
VLK_StrArray* help_list(const VLK_HelpEntry* table, const char* category);
void help_msg(const VLK_HelpEntry* table, FILE* fp, const char* category, const char* name,
              const char* sub, HelpAfter after = nullptr);
void help_print_list(const VLK_HelpEntry* table, FILE* fp, const char* category);
// The first row of that name (without regard to case); null for none and for a null name.
const VLK_HelpEntry* help_find(const VLK_HelpEntry* table, const char* name);

}  // namespace vlk
