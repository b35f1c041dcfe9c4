// The program's entry.
#include "nm/nm_tool.h"

int main(int argc, char** argv) { return nm_main(argc, argv); }
