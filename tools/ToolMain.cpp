#include <cstdio>

#include "tools/Commands.h"

int main(int argc, char** argv) {
    CLI::App app{"sonotrap-tool: the command-line companion of Sonotrap (analyse, scan, encode, decode, render)"};
    app.require_subcommand(1);
    int exitStatus = 0;
    sonotrap::tool::AddAnalyzeCommand(app, exitStatus);
    sonotrap::tool::AddScanCommand(app, exitStatus);
    sonotrap::tool::AddEncodeCommand(app, exitStatus);
    sonotrap::tool::AddDecodeCommand(app, exitStatus);
    sonotrap::tool::AddRenderCommand(app, exitStatus);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int rc = app.exit(e);
        return rc == 0 ? 0 : 2;
    }
    return exitStatus;
}
