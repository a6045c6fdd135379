// Process-wide start-up settings of the runtime: the diagnostic stream and the levels.
#pragma once

#include <cstdio>

extern FILE* VELK_ERR;
extern int velk_warning_level;
extern int velk_debug_level;

void VLK_init();
void VLK_set_warning_level(int level);
int VLK_get_warning_level();
int VLK_set_debug_level(int level);
void VLK_print_flags(FILE* fp);
