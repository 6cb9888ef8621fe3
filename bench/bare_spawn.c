/* The floor for the runner: posix_spawn and waitpid in a loop, nothing else.
   Prints the microseconds per run. */
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>

extern char** environ;

int main(int argc, char** argv)
{
    int runs = argc > 1 ? atoi(argv[1]) : 1000;
    char* program = argc > 2 ? argv[2] : "/bin/true";
    char* args[] = {program, NULL};
    struct timespec a, b;
    clock_gettime(CLOCK_MONOTONIC, &a);
    for (int i = 0; i < runs; ++i) {
        pid_t pid;
        int status;
        if (posix_spawn(&pid, program, NULL, NULL, args, environ) != 0 || waitpid(pid, &status, 0) != pid ||
            status != 0) {
            fprintf(stderr, "run %d failed\n", i);
            return 1;
        }
    }
    clock_gettime(CLOCK_MONOTONIC, &b);
    printf("%.1f\n", ((b.tv_sec - a.tv_sec) * 1e9 + (b.tv_nsec - a.tv_nsec)) / 1000.0 / runs);
    return 0;
}
