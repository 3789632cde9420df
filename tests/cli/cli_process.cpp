#include "cli_process.hpp"

#include <fcntl.h>
#include <cerrno>
#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#ifndef QUORVEL_CLI_PATH
#error "QUORVEL_CLI_PATH must name the quorvel-cli executable"
#endif

namespace quorvel::testing {
namespace {

std::string Slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

std::vector<std::string> CliRun::Lines() const {
    std::vector<std::string> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

CliRun RunCli(const std::vector<std::string>& arguments, const std::filesystem::path& cwd, long fileSizeLimit) {
    return FinishCli(StartCli(arguments, cwd, fileSizeLimit));
}

StartedCli StartCli(const std::vector<std::string>& arguments, const std::filesystem::path& cwd, long fileSizeLimit,
                    int stdoutFd) {
    static int runs = 0;
    const std::string program = QUORVEL_CLI_PATH;
    const std::filesystem::path capture =
        std::filesystem::temp_directory_path() / ("quorvel-cli-run-" + std::to_string(getpid()) + "-" +
                                                  std::to_string(runs++));
    StartedCli started;
    if (stdoutFd < 0) started.outName = capture.string() + ".out";
    started.errName = capture.string() + ".err";

    // Everything the child needs is made before fork: it only calls async-signal-safe
    // functions afterwards.
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const std::string directory = cwd.string();
    const std::string& outName = started.outName;
    const std::string& errName = started.errName;

    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        const int outFd = stdoutFd >= 0 ? stdoutFd : open(outName.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int errFd = open(errName.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (outFd < 0 || errFd < 0 || chdir(directory.c_str()) != 0) _exit(127);
        dup2(outFd, STDOUT_FILENO);
        dup2(errFd, STDERR_FILENO);
        if (outFd != STDOUT_FILENO) close(outFd);
        const int nullFd = open("/dev/null", O_RDONLY);
        if (nullFd >= 0) dup2(nullFd, STDIN_FILENO);
        if (fileSizeLimit >= 0) {
            signal(SIGXFSZ, SIG_IGN);
            rlimit limit{};
            limit.rlim_cur = limit.rlim_max = static_cast<rlim_t>(fileSizeLimit);
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(127);
        }
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    started.pid = pid;
    return started;
}

CliRun FinishCli(const StartedCli& started) {
    int waitStatus = 0;
    while (waitpid(started.pid, &waitStatus, 0) < 0)
        if (errno != EINTR) throw std::runtime_error("waitpid failed");
    CliRun run;
    run.status = WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : -1;
    if (!started.outName.empty()) {
        run.out = Slurp(started.outName);
        std::filesystem::remove(started.outName);
    }
    run.err = Slurp(started.errName);
    std::filesystem::remove(started.errName);
    return run;
}

}  // namespace quorvel::testing
