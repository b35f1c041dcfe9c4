// The program's entry.
#include "tools/ofdump/ofdump_tool.h"

int main(int argc, char** argv) { return ofdump_main(argc, argv); }
