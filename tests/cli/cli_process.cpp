#include "cli_process.hpp"

#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

#include "quorvel/batch/file_names.hpp"

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <cerrno>
#include <csignal>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#ifndef QUORVEL_CLI_PATH
#error "QUORVEL_CLI_PATH must name the quorvel-cli executable"
#endif

namespace quorvel::testing {
namespace {

std::string Slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string WithLineFeeds(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) out += text[i];
    return out;
}

// A fresh pair of names for the captured output of one run.
std::filesystem::path CaptureBase() {
    static int runs = 0;
#ifdef _WIN32
    const unsigned long process = GetCurrentProcessId();
#else
    const long process = getpid();
#endif
    return std::filesystem::temp_directory_path() /
           ("quorvel-cli-run-" + std::to_string(process) + "-" + std::to_string(runs++));
}

#ifdef _WIN32
HANDLE InheritableFile(const std::filesystem::path& name, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    return CreateFileW(name.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

int RunProcess(const std::vector<std::string>& arguments, const std::filesystem::path& cwd,
               const std::filesystem::path& outName, const std::filesystem::path& errName, long /*fileSizeLimit*/) {
    std::vector<std::string> all{QUORVEL_CLI_PATH};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::wstring commandLine = batch::PathFromUtf8(WindowsCommandLine(all)).native();
    const std::wstring program = batch::PathFromUtf8(QUORVEL_CLI_PATH).native();

    const HANDLE out = InheritableFile(outName, GENERIC_WRITE, CREATE_ALWAYS);
    const HANDLE err = InheritableFile(errName, GENERIC_WRITE, CREATE_ALWAYS);
    const HANDLE in = InheritableFile(L"NUL", GENERIC_READ, OPEN_EXISTING);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = in;
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process{};
    const BOOL started = out != INVALID_HANDLE_VALUE && err != INVALID_HANDLE_VALUE &&
                         CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        cwd.c_str(), &startup, &process);
    for (const HANDLE h : {out, err, in})
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    if (!started) throw std::runtime_error("CreateProcessW failed: " + std::to_string(GetLastError()));
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    const BOOL exited = GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return exited ? static_cast<int>(code) : -1;
}
#else
int RunProcess(const std::vector<std::string>& arguments, const std::filesystem::path& cwd,
               const std::filesystem::path& outPath, const std::filesystem::path& errPath, long fileSizeLimit) {
    const std::string program = QUORVEL_CLI_PATH;
    const std::string outName = outPath.string();
    const std::string errName = errPath.string();
    // Everything the child needs is made before fork: it only calls async-signal-safe
    // functions afterwards.
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const std::string directory = cwd.string();

    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        const int outFd = open(outName.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int errFd = open(errName.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (outFd < 0 || errFd < 0 || chdir(directory.c_str()) != 0) _exit(127);
        dup2(outFd, STDOUT_FILENO);
        dup2(errFd, STDERR_FILENO);
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
    int waitStatus = 0;
    while (waitpid(pid, &waitStatus, 0) < 0)
        if (errno != EINTR) throw std::runtime_error("waitpid failed");
    return WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : -1;
}
#endif

}  // namespace

std::vector<std::string> CliRun::Lines() const {
    std::vector<std::string> lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::string WindowsCommandLine(const std::vector<std::string>& arguments) {
    std::string line;
    for (const std::string& argument : arguments) {
        if (!line.empty()) line += ' ';
        if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) {
            line += argument;
            continue;
        }
        line += '"';
        std::size_t backslashes = 0;
        for (const char c : argument) {
            if (c == '\\') {
                ++backslashes;
                continue;
            }
            // Backslashes count double only before a quote.
            line.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
            backslashes = 0;
            line += c;
        }
        // Before the closing quote, too.
        line.append(2 * backslashes, '\\');
        line += '"';
    }
    return line;
}

CliRun RunCli(const std::vector<std::string>& arguments, const std::filesystem::path& cwd, long fileSizeLimit) {
    const std::filesystem::path capture = CaptureBase();
    std::filesystem::path outName = capture;
    outName += ".out";
    std::filesystem::path errName = capture;
    errName += ".err";
    CliRun run;
    run.status = RunProcess(arguments, cwd, outName, errName, fileSizeLimit);
    run.rawOut = Slurp(outName);
    run.out = WithLineFeeds(run.rawOut);
    run.err = WithLineFeeds(Slurp(errName));
    std::filesystem::remove(outName);
    std::filesystem::remove(errName);
    return run;
}

}  // namespace quorvel::testing
