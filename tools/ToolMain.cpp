#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "tools/Commands.h"

namespace {

// render draws with Qt; the rest of the tool runs without it (a field recorder has no display
// libraries). render is a separate program beside this one, started in this process's place.
int RunRender(char** argv) {
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    const std::filesystem::path render = (ec ? std::filesystem::path(argv[0]) : self).parent_path() /
                                         "sonotrap-tool-render";
    argv[0] = const_cast<char*>("sonotrap-tool");
    execv(render.c_str(), argv);
    std::fprintf(stderr, "sonotrap-tool render: cannot start %s (%s); it is built with the Qt program\n",
                 render.c_str(), std::strerror(errno));
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "render") == 0) return RunRender(argv);
    CLI::App app{"sonotrap-tool: the command-line companion of Sonotrap (analyse, scan, listen, encode, decode, render)"};
    app.require_subcommand(1);
    int exitStatus = 0;
    sonotrap::tool::AddAnalyzeCommand(app, exitStatus);
    sonotrap::tool::AddScanCommand(app, exitStatus);
    sonotrap::tool::AddListenCommand(app, exitStatus);
    sonotrap::tool::AddEncodeCommand(app, exitStatus);
    sonotrap::tool::AddDecodeCommand(app, exitStatus);
    app.add_subcommand("render", "The program's screen after analysing FILE, as a PNG (see render --help)");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        if (e.get_exit_code() == 0) return app.exit(e);  // --help
        // One line, for scripts and service logs.
        std::fprintf(stderr, "sonotrap-tool: %s (see --help)\n", e.what());
        return 2;
    }
    return exitStatus;
}
