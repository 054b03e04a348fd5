#pragma once
#include <CLI/CLI.hpp>

// Each sub-command of sonotrap-tool lives in its own file and registers itself here.
// A command's callback sets the process exit status through the returned reference.
namespace sonotrap::tool {

void AddAnalyzeCommand(CLI::App& app, int& exitStatus);
void AddScanCommand(CLI::App& app, int& exitStatus);
void AddListenCommand(CLI::App& app, int& exitStatus);
void AddEncodeCommand(CLI::App& app, int& exitStatus);
void AddDecodeCommand(CLI::App& app, int& exitStatus);
void AddRenderCommand(CLI::App& app, int& exitStatus);

}  // namespace sonotrap::tool
