#ifndef KIVOA_TESTS_IN_CHILD_H
#define KIVOA_TESTS_IN_CHILD_H

#include <functional>

#include <sys/wait.h>
#include <unistd.h>

// Runs `job` in a child that is killed after `seconds`; true when it returned true in time. What
// the job sets up (a file-size limit) stays in the child.
inline bool InChild(const std::function<bool()> &job, unsigned seconds = 10)
{
    const pid_t child = fork();
    if (child == 0) {
        alarm(seconds);
        _exit(job() ? 0 : 1);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

#endif
