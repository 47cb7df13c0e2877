#pragma once
// A child process with its standard input or output piped to us, for benchmarks that time sound
// through the sound server's own tools (parec, pacat) without an event loop in between.
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

struct ChildProcess {
    pid_t pid = -1;
    int fd = -1; // our end of the pipe: its output when we read, its input when we write

    // `childFd` is the child's end: its standard output (or error) when we read, its input when we write.
    static ChildProcess spawn(const std::vector<std::string>& argv, bool weRead, int childFd = -1,
                              char* const* env = environ) {
        if (childFd < 0) childFd = weRead ? 1 : 0;
        int p[2];
        if (pipe2(p, O_CLOEXEC) != 0) return {};
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, weRead ? p[1] : p[0], childFd);
        std::vector<char*> args;
        for (const auto& a : argv)
            args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ChildProcess c;
        if (posix_spawnp(&c.pid, args[0], &fa, nullptr, args.data(), env) != 0) c.pid = -1;
        posix_spawn_file_actions_destroy(&fa);
        ::close(weRead ? p[1] : p[0]);
        c.fd = weRead ? p[0] : p[1];
        return c;
    }
    // Reads exactly n bytes unless the child's output ends.
    bool readFully(char* p, std::size_t n) const {
        while (n > 0) {
            const ssize_t got = ::read(fd, p, n);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) return false;
            p += got;
            n -= std::size_t(got);
        }
        return true;
    }
    void end() {
        if (fd >= 0) ::close(fd);
        if (pid > 0) {
            ::kill(pid, SIGTERM);
            ::waitpid(pid, nullptr, 0);
        }
        fd = -1;
        pid = -1;
    }
};
