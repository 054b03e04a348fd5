#include <cstdio>

#include "tools/Commands.h"

namespace sonotrap::tool {

// Not built yet: the command exists so that scripts get a clear answer.
void AddRenderCommand(CLI::App& app, int& exitStatus) {
    auto* cmd = app.add_subcommand("render", "(not available yet)");
    cmd->allow_extras();
    cmd->callback([&exitStatus] {
        std::fprintf(stderr, "sonotrap-tool: render is not available yet\n");
        exitStatus = 2;
    });
}

}  // namespace sonotrap::tool
