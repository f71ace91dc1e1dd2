// quorvel: the command line front end to the engine.
#include <CLI/CLI.hpp>

int main(int argc, char** argv) {
    CLI::App app{"Quorvel"};
    CLI11_PARSE(app, argc, argv);
    return 0;
}
