// tarvex-manual PAGE VERSION DATE OUT: writes the manual page of tarvex or tarvex-cli (PAGE) to
// OUT, from the same descriptions the programs' --help prints. Run by the build.
#include <cstdio>
#include <fstream>
#include <string_view>

#include "manual/Manual.h"

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "Usage: tarvex-manual tarvex|tarvex-cli VERSION YYYY-MM-DD OUT\n");
        return 2;
    }
    const std::string_view name = argv[1];
    const tarvex::manual::Page* page = name == "tarvex"       ? &tarvex::manual::windowPage()
                                       : name == "tarvex-cli" ? &tarvex::manual::cliPage()
                                                              : nullptr;
    if (page == nullptr) {
        std::fprintf(stderr, "tarvex-manual: no page for '%s'\n", argv[1]);
        return 2;
    }
    std::ofstream out(argv[4], std::ios::binary | std::ios::trunc);
    out << tarvex::manual::manPage(*page, argv[2], argv[3]);
    out.close();
    if (!out) {
        std::fprintf(stderr, "tarvex-manual: cannot write %s\n", argv[4]);
        return 1;
    }
    return 0;
}
