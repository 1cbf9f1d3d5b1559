// The main() of a combined test executable: runs the one area named by the first argument.
#include "support/AreaRegistry.h"

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

namespace {

std::map<std::string, zinteva::test::AreaMain>& areas() {
    static std::map<std::string, zinteva::test::AreaMain> all;
    return all;
}

// ".../tests/tst_safety_files.cpp" -> "safety_files"
std::string areaOf(const char* file) {
    std::string name(file);
    if (const auto slash = name.find_last_of('/'); slash != std::string::npos)
        name.erase(0, slash + 1);
    if (const auto dot = name.rfind('.'); dot != std::string::npos)
        name.erase(dot);
    if (name.rfind("tst_", 0) == 0)
        name.erase(0, 4);
    return name;
}

int usage(const char* program, FILE* to, int status) {
    std::fprintf(to, "usage: %s AREA [test options]\nareas:", program);
    for (const auto& [name, main] : areas())
        std::fprintf(to, " %s", name.c_str());
    std::fprintf(to, "\n");
    return status;
}

} // namespace

bool zinteva::test::registerArea(const char* file, AreaMain main) {
    if (!areas().emplace(areaOf(file), main).second) {
        std::fprintf(stderr, "two test areas named %s\n", areaOf(file).c_str());
        std::abort();
    }
    return true;
}

int main(int argc, char* argv[]) {
    if (argc < 2)
        return usage(argv[0], stderr, 2);
    const std::string wanted = argv[1];
    if (wanted == "--areas" || wanted == "--help" || wanted == "-h")
        return usage(argv[0], stdout, 0);
    const auto area = areas().find(wanted);
    if (area == areas().end()) {
        std::fprintf(stderr, "no test area \"%s\"\n", wanted.c_str());
        return usage(argv[0], stderr, 2);
    }
    // The area sees the program's name and then its own options, as a test program of its own would.
    argv[1] = argv[0];
    return area->second(argc - 1, argv + 1);
}
