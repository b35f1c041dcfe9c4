// Runs a command in a child process and waits for it: the golden runner's and the hostile-input test's way.
#pragma once

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

struct CHILD_RESULT {
    int status = -1;       // the exit status, or 128 + the number of the signal that ended the child
    int signal = 0;        // that signal, or 0
    long max_rss_kib = 0;  // the child's peak resident memory
};

// Runs argv (the program found on the PATH) in `dir` (the current directory when empty) with standard input
// from /dev/null and standard output and error written to the files named, under a CPU-time limit of
// `cpu_seconds` when that is not 0.
inline CHILD_RESULT run_child(const std::vector<std::string>& argv, const std::string& out, const std::string& err,
                              const std::string& dir = "", int cpu_seconds = 0) {
    const pid_t pid = fork();
    if (pid == 0) {
        const rlimit cpu{static_cast<rlim_t>(cpu_seconds), static_cast<rlim_t>(cpu_seconds + 1)};
        if (cpu_seconds > 0) setrlimit(RLIMIT_CPU, &cpu);
        if (!dir.empty() && chdir(dir.c_str()) != 0) _exit(127);
        const int fi = open("/dev/null", O_RDONLY), fo = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644),
                  fe = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fo < 0 || fe < 0 || fi < 0) _exit(127);
        dup2(fi, 0);
        dup2(fo, 1);
        dup2(fe, 2);
        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execvp(args[0], args.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    CHILD_RESULT r;
    r.max_rss_kib = usage.ru_maxrss;
    r.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    r.status = r.signal ? 128 + r.signal : WEXITSTATUS(status);
    return r;
}
