/* The file protocol of a careful converter with no conversion at all: for
 * each source, read it whole, create a temporary file with mkstemp, write the
 * bytes, close it and rename it into the output folder under the source's
 * name. Single-threaded by default. The whole-run benchmark divides varnolt's
 * files per second by this program's, a floor no converter that keeps its
 * originals safe can beat by much on one core.
 *
 * Usage: protocol_floor [-j N] [-t TEMPDIR] OUTDIR FILE...
 * The temporary file is made in TEMPDIR when given (a rename from another
 * folder, as from $TMPDIR), else in OUTDIR (a same-folder rename).
 * With -j N the list is cut into N contiguous parts, each done by a process
 * of its own (fork), all in the same output folder: what the kernel allows
 * for the bare protocol on N cores, the ceiling of any parallel converter. */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

static int ReadAll(const char* path, char** buf, size_t* cap, size_t* len) {
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    *len = 0;
    for (;;) {
        if (*len == *cap) {
            *cap = *cap ? *cap * 2 : 65536;
            *buf = realloc(*buf, *cap);
            if (*buf == NULL) {
                close(fd);
                return -1;
            }
        }
        const ssize_t got = read(fd, *buf + *len, *cap - *len);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            close(fd);
            return -1;
        }
        if (got == 0) {
            break;
        }
        *len += (size_t)got;
    }
    return close(fd);
}

static int WriteAll(int fd, const char* buf, size_t len) {
    while (len > 0) {
        const ssize_t put = write(fd, buf, len);
        if (put < 0 && errno == EINTR) {
            continue;
        }
        if (put < 0) {
            return -1;
        }
        buf += put;
        len -= (size_t)put;
    }
    return 0;
}

/* The protocol for files [first, last); 0 when every file went through. */
static int RunPart(const char* tempDir, const char* outDir, char** files, int first, int last) {
    char* buf = NULL;
    size_t cap = 0;
    size_t len = 0;
    int failed = 0;
    char temp[4096];
    char target[4096];
    for (int k = first; k < last; ++k) {
        const char* base = strrchr(files[k], '/');
        base = base ? base + 1 : files[k];
        snprintf(temp, sizeof temp, "%s/.floor.XXXXXX", tempDir);
        snprintf(target, sizeof target, "%s/%s", outDir, base);
        int fd = -1;
        if (ReadAll(files[k], &buf, &cap, &len) != 0 || (fd = mkstemp(temp)) < 0 ||
            WriteAll(fd, buf, len) != 0 || close(fd) != 0 || rename(temp, target) != 0) {
            fprintf(stderr, "protocol_floor: %s: %s\n", files[k], strerror(errno));
            if (fd >= 0) {
                close(fd); /* EBADF after a failed close: harmless */
                unlink(temp);
            }
            failed = 1;
        }
    }
    free(buf);
    return failed;
}

static void Usage(void) {
    fprintf(stderr, "usage: protocol_floor [-j N] [-t TEMPDIR] OUTDIR FILE...\n");
}

int main(int argc, char** argv) {
    const char* tempDir = NULL;
    int jobs = 1;
    int first = 1;
    while (argc - first >= 2 && argv[first][0] == '-') {
        if (strcmp(argv[first], "-t") == 0) {
            tempDir = argv[first + 1];
        } else if (strcmp(argv[first], "-j") == 0) {
            char* end = NULL;
            const long n = strtol(argv[first + 1], &end, 10);
            if (*end != '\0' || n < 1 || n > 1024) {
                Usage();
                return 2;
            }
            jobs = (int)n;
        } else {
            Usage();
            return 2;
        }
        first += 2;
    }
    if (argc - first < 1) {
        Usage();
        return 2;
    }
    const char* outDir = argv[first++];
    if (tempDir == NULL) {
        tempDir = outDir;
    }
    const int count = argc - first;
    if (jobs > count) {
        jobs = count > 0 ? count : 1;
    }
    if (jobs == 1) {
        return RunPart(tempDir, outDir, argv, first, argc);
    }
    int failed = 0;
    int started = 0;
    for (int part = 0; part < jobs; ++part) {
        const int from = first + (int)((long)count * part / jobs);
        const int to = first + (int)((long)count * (part + 1) / jobs);
        const pid_t child = fork();
        if (child < 0) {
            perror("protocol_floor: fork");
            failed = 1;
            break;
        }
        if (child == 0) {
            _exit(RunPart(tempDir, outDir, argv, from, to));
        }
        ++started;
    }
    for (; started > 0; --started) {
        int status = 0;
        if (wait(&status) < 0) {
            perror("protocol_floor: wait");
            return 1;
        }
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            failed = 1;
        }
    }
    return failed;
}
