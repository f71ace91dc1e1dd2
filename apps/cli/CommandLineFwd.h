#pragma once

// The command-line library's types as the command headers name them. The library is header-only
// and costs seconds of compiling in every file that includes it, so only the files that build
// commands include <CLI/CLI.hpp> (and apps/CMakeLists.txt compiles those as one).
namespace CLI {
class App;
class Error;
}  // namespace CLI
