/* The file protocol of a careful converter with no conversion at all: for
 * each source, read it whole, create a temporary file with mkstemp, write the
 * bytes, close it and rename it into the output folder under the source's
 * name. Single-threaded. The whole-run benchmark divides varnolt's files per
 * second by this program's, a floor no converter that keeps its originals
 * safe can beat by much on one core.
 *
 * Usage: protocol_floor [-t TEMPDIR] OUTDIR FILE...
 * The temporary file is made in TEMPDIR when given (a rename from another
 * folder, as from $TMPDIR), else in OUTDIR (a same-folder rename). */
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
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

int main(int argc, char** argv) {
    const char* tempDir = NULL;
    int first = 1;
    if (argc > 2 && strcmp(argv[1], "-t") == 0) {
        tempDir = argv[2];
        first = 3;
    }
    if (argc - first < 1) {
        fprintf(stderr, "usage: protocol_floor [-t TEMPDIR] OUTDIR FILE...\n");
        return 2;
    }
    const char* outDir = argv[first++];
    if (tempDir == NULL) {
        tempDir = outDir;
    }
    char* buf = NULL;
    size_t cap = 0;
    size_t len = 0;
    int failed = 0;
    char temp[4096];
    char target[4096];
    for (int k = first; k < argc; ++k) {
        const char* base = strrchr(argv[k], '/');
        base = base ? base + 1 : argv[k];
        snprintf(temp, sizeof temp, "%s/.floor.XXXXXX", tempDir);
        snprintf(target, sizeof target, "%s/%s", outDir, base);
        int fd = -1;
        if (ReadAll(argv[k], &buf, &cap, &len) != 0 || (fd = mkstemp(temp)) < 0 ||
            WriteAll(fd, buf, len) != 0 || close(fd) != 0 || rename(temp, target) != 0) {
            fprintf(stderr, "protocol_floor: %s: %s\n", argv[k], strerror(errno));
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
