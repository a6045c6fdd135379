// The acyclic extraction of the frequency network, which the DAG evaluation compares with the
// reference network.
#pragma once

#include "VLK_PCGraph.h"
#include "VLK_UShortArray.h"

// dst becomes the acyclic network of src's edges whose frequency (one per edge index) reaches
// the threshold, offered most frequent first (equal frequencies by ascending edge id), each kept
// unless it closes a cycle. src must be compact.
void extract_DAG(const VLK_PCGraph* src, const VLK_FloatArray* frequencies, VLK_PCGraph* dst,
                 float threshold);
// Comparator of the candidates {edge id (size_t), frequency (float)}: the higher frequency
// first, 0 for equal (or unordered) frequencies.
int size_t_float_cmp(const void* a, const void* b);
