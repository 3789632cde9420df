#include <iostream>

#include "command_line.hpp"
#include "stop_signals.hpp"

#ifdef _WIN32
#include <string>
#include <vector>

#include "windows_console.hpp"

// Windows: the arguments come from the UTF-16 command line as UTF-8 (the narrow argv
// would hold them in the ANSI code page), and the console gets UTF-16 text.
int main() {
    const quorvel::cli::WindowsConsole console;
    std::vector<std::string> arguments = quorvel::cli::Utf8Arguments();
    if (arguments.empty()) arguments.push_back("quorvel-cli");
    std::vector<const char*> argv;
    for (const std::string& argument : arguments) argv.push_back(argument.c_str());
    argv.push_back(nullptr);
    return quorvel::cli::RunCommandLine(static_cast<int>(arguments.size()), argv.data(), std::cout, std::cerr);
}
#else
int main(int argc, char** argv) {
    quorvel::cli::InstallStopHandlers();
    return quorvel::cli::RunCommandLine(argc, argv, std::cout, std::cerr);
}
#endif
