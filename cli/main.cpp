#include <iostream>

#include "command_line.hpp"

int main(int argc, char** argv) {
    return quorvel::cli::RunCommandLine(argc, argv, std::cout, std::cerr);
}
