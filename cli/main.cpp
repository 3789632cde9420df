#include <iostream>

#include "command_line.hpp"
#include "stop_signals.hpp"

int main(int argc, char** argv) {
    quorvel::cli::InstallStopHandlers();
    return quorvel::cli::RunCommandLine(argc, argv, std::cout, std::cerr);
}
