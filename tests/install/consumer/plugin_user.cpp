// Counts the members of an archive through the shared library ofe_plugin.
#include <cstdio>

extern "C" int ofe_plugin_count_members(const char* path);

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    std::printf("%s: %d members\n", argv[1], ofe_plugin_count_members(argv[1]));
    return 0;
}
