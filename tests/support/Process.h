#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

namespace pemberlock::test {

struct ProcessResult {
    int status = -1;          // exit status; -1 when killed or not started
    bool timedOut = false;
    std::string out;
    std::string err;
};

namespace detail {

inline std::vector<char*> Argv(std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    return argv;
}

// In the child: run program with args in folder, or exit 127.
[[noreturn]] inline void Exec(const std::string& folder, std::vector<std::string> args) {
    if (!folder.empty() && ::chdir(folder.c_str()) != 0) ::_exit(127);
    std::vector<char*> argv = Argv(args);
    ::execv(argv[0], argv.data());
    ::_exit(127);
}

}  // namespace detail

// Runs args[0] with args (no shell, so every byte of every argument arrives
// as given) in folder, collecting its output. Kills it after timeout.
inline ProcessResult RunProcess(const std::vector<std::string>& args, const std::string& folder,
                                std::chrono::milliseconds timeout = std::chrono::seconds(60)) {
    ProcessResult result;
    int outPipe[2];
    int errPipe[2];
    if (::pipe2(outPipe, O_CLOEXEC) != 0) return result;
    if (::pipe2(errPipe, O_CLOEXEC) != 0) return result;
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(outPipe[1], STDOUT_FILENO);
        ::dup2(errPipe[1], STDERR_FILENO);
        detail::Exec(folder, args);
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
    ::waitpid(pid, &status, 0);
    if (WIFEXITED(status)) result.status = WEXITSTATUS(status);
    return result;
}

// Starts args[0] with args in folder, its output thrown away. The caller
// kills or waits for the returned process.
inline pid_t StartProcess(const std::vector<std::string>& args, const std::string& folder) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, STDOUT_FILENO);
        ::dup2(null, STDERR_FILENO);
        detail::Exec(folder, args);
    }
    return pid;
}

}  // namespace pemberlock::test
