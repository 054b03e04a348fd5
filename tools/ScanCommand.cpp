#include <cstdio>

#include "tools/Commands.h"

namespace sonotrap::tool {

// Not built yet: the command exists so that scripts get a clear answer.
void AddScanCommand(CLI::App& app, int& exitStatus) {
    auto* cmd = app.add_subcommand("scan", "(not available yet)");
    cmd->allow_extras();
    cmd->callback([&exitStatus] {
        std::fprintf(stderr, "sonotrap-tool: scan is not available yet\n");
        exitStatus = 2;
    });
}

}  // namespace sonotrap::tool
