// The BNRC module's entry in the help registry: its options.
#include <cstdio>

#include "VLK_BNRC.h"

void VLK_BNRC_help(FILE* fp, const char* /*sub*/) {
  std::fprintf(fp,
               "\"BNRC\" (network score function):\n"
               "hyper_bg=x (double)\n"
               "hb=x (double)\n"
               "        The initial exponent number of the hyperparameter search range.  The\n"
               "        search range is from 10^x to 10^(x-iy) where x is the value of\n"
               "        \"hyper_bg\" (\"hb\"), y the value of \"hyper_inc\" (\"hi\"), and \n"
               "        0 <= i < n where n is the value of \"hyper_num\" (\"hn\"). (default: "
               "x=2.0)\n"
               "hyper_inc=x (double)\n"
               "hi=y (double)\n"
               "        The step of the exponent number for the hyperparameter search range.\n"
               "        (default: y=0.4)\n"
               "hyper_num=n (integer)\n"
               "hn=n (integer)\n"
               "        The number of hyper parameters to search. (default: n=21)\n"
               "linear\n"
               "        Linear mode. This does not take value.  This is an alias for\n"
               "        \"hyper_bg=2.0,hyper_inc=1.0,hyper_num=2\"\n");
}
