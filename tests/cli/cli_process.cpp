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
               const std::filesystem::path& outName, const std::filesystem::path& errName) {
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
    BOOL started = FALSE;
    DWORD error = ERROR_INVALID_HANDLE;
    // Wine, busy with another test program's windows, now and then refuses a start with
    // ERROR_INTERNAL_ERROR; Windows gives that for no valid program. It is tried again,
    // a few times; any other failure ends the test at once.
    for (int attempt = 0; attempt < 3 && !started && out != INVALID_HANDLE_VALUE && err != INVALID_HANDLE_VALUE;
         ++attempt) {
        started = CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, cwd.c_str(),
                                 &startup, &process);
        error = started ? ERROR_SUCCESS : GetLastError();
        if (error != ERROR_INTERNAL_ERROR) break;
    }
    for (const HANDLE h : {out, err, in})
        if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
    if (!started) throw std::runtime_error("CreateProcessW failed: " + std::to_string(error));
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    const BOOL exited = GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return exited ? static_cast<int>(code) : -1;
}
#else
// Starts the program with fork and exec; standard output to stdoutFd when it is 0 or
// more, else to outName. The child only calls async-signal-safe functions.
int StartProcess(const std::vector<std::string>& arguments, const std::filesystem::path& cwd,
                 const std::string& outName, const std::string& errName, long fileSizeLimit, int stdoutFd) {
    const std::string program = QUORVEL_CLI_PATH;
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const std::string directory = cwd.string();

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
    return pid;
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

#ifdef _WIN32
CliRun RunCli(const std::vector<std::string>& arguments, const std::filesystem::path& cwd, long /*fileSizeLimit*/) {
    const std::filesystem::path capture = CaptureBase();
    std::filesystem::path outName = capture;
    outName += ".out";
    std::filesystem::path errName = capture;
    errName += ".err";
    CliRun run;
    run.status = RunProcess(arguments, cwd, outName, errName);
    run.rawOut = Slurp(outName);
    run.out = WithLineFeeds(run.rawOut);
    run.err = WithLineFeeds(Slurp(errName));
    std::filesystem::remove(outName);
    std::filesystem::remove(errName);
    return run;
}
#else
CliRun RunCli(const std::vector<std::string>& arguments, const std::filesystem::path& cwd, long fileSizeLimit) {
    return FinishCli(StartCli(arguments, cwd, fileSizeLimit));
}

StartedCli StartCli(const std::vector<std::string>& arguments, const std::filesystem::path& cwd, long fileSizeLimit,
                    int stdoutFd) {
    const std::string capture = CaptureBase().string();
    StartedCli started;
    if (stdoutFd < 0) started.outName = capture + ".out";
    started.errName = capture + ".err";
    started.pid = StartProcess(arguments, cwd, started.outName, started.errName, fileSizeLimit, stdoutFd);
    return started;
}

CliRun FinishCli(const StartedCli& started) {
    int waitStatus = 0;
    while (waitpid(started.pid, &waitStatus, 0) < 0)
        if (errno != EINTR) throw std::runtime_error("waitpid failed");
    CliRun run;
    run.status = WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : -1;
    if (!started.outName.empty()) {
        run.rawOut = Slurp(started.outName);
        run.out = WithLineFeeds(run.rawOut);
        std::filesystem::remove(started.outName);
    }
    run.err = WithLineFeeds(Slurp(started.errName));
    std::filesystem::remove(started.errName);
    return run;
}
#endif

}  // namespace quorvel::testing
