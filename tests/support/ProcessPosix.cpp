// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/Process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string_view>

extern char** environ;

namespace pemberlock::test {
namespace {

std::vector<char*> Argv(std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    return argv;
}

std::string_view VariableName(std::string_view entry) { return entry.substr(0, entry.find('=')); }

// This process's environment with the NAME=value entries of extra added,
// in place of any of the same name. Made before the fork: the child of a
// process with threads may only call what is safe in a signal handler.
std::vector<std::string> Environment(const std::vector<std::string>& extra) {
    std::vector<std::string> entries;
    for (char** entry = environ; *entry; ++entry) {
        bool replaced = false;
        for (const std::string& mine : extra) {
            replaced = replaced || VariableName(mine) == VariableName(*entry);
        }
        if (!replaced) entries.emplace_back(*entry);
    }
    entries.insert(entries.end(), extra.begin(), extra.end());
    return entries;
}

// In the child: run program with args in folder, or exit 127.
[[noreturn]] void Exec(const std::string& folder, std::vector<char*>& argv, char** envp) {
    if (!folder.empty() && ::chdir(folder.c_str()) != 0) ::_exit(127);
    ::execve(argv[0], argv.data(), envp);
    ::_exit(127);
}

}  // namespace

// Runs args[0] with args (no shell, so every byte of every argument arrives
// as given) in folder, collecting its output. Kills it after timeout.
// environment holds NAME=value entries to set for it alone.
ProcessResult RunProcess(std::vector<std::string> args, const std::string& folder,
                         std::chrono::milliseconds timeout,
                         const std::vector<std::string>& environment) {
    ProcessResult result;
    std::vector<char*> argv = Argv(args);
    std::vector<std::string> variables = Environment(environment);
    std::vector<char*> envp = Argv(variables);
    int outPipe[2];
    int errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0) return result;
    if (::pipe2(errPipe, O_CLOEXEC) != 0) return result;
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(outPipe[1], STDOUT_FILENO);
        ::dup2(errPipe[1], STDERR_FILENO);
        Exec(folder, argv, envp.data());
    }
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
    std::string* sinks[2] = {&result.out, &result.err};
    int open = 2;
    while (open > 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            result.timedOut = true;
            ::kill(pid, SIGKILL);
            break;
        }
        if (::poll(fds, 2, static_cast<int>(left.count())) < 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0) continue;
            char buffer[4096];
            const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(got));
                if (i == 0 && result.untilFirstLine.count() == 0 &&
                    result.out.find('\n') != std::string::npos) {
                    result.untilFirstLine = std::chrono::steady_clock::now() - start;
                }
            } else {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }
    for (pollfd& fd : fds) {
        if (fd.fd >= 0) ::close(fd.fd);
    }
    int status = 0;
    struct rusage usage {};
    ::wait4(pid, &status, 0, &usage);
    if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
    result.peakKilobytes = usage.ru_maxrss;
    return result;
}

// Starts args[0] with args in folder, its output thrown away. The caller
// kills or waits for the returned process.
int StartProcess(std::vector<std::string> args, const std::string& folder,
                 const std::vector<std::string>& environment) {
    std::vector<char*> argv = Argv(args);
    std::vector<std::string> variables = Environment(environment);
    std::vector<char*> envp = Argv(variables);
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        Exec(folder, argv, envp.data());
    }
    return pid;
}

}  // namespace pemberlock::test
