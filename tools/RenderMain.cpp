#include <cstdio>

#include "tools/Commands.h"

// sonotrap-tool-render: the render command alone, the one command that needs Qt (its text is
// drawn by Qt's fonts). sonotrap-tool starts it for "sonotrap-tool render ...".
int main(int argc, char** argv) {
    CLI::App app{"sonotrap-tool: the command-line companion of Sonotrap (render)"};
    app.name("sonotrap-tool");
    app.require_subcommand(1);
    int exitStatus = 0;
    sonotrap::tool::AddRenderCommand(app, exitStatus);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int rc = app.exit(e);
        return rc == 0 ? 0 : 2;
    }
    return exitStatus;
}
