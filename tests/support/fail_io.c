/* Loaded with LD_PRELOAD into kelmora-cli by the tests: makes the file system
 * fail in the ways a full disk, a broken network share or a kill would, but only
 * for Kelmora's temporary output files. KELMORA_FAIL says how:
 *   write:N   the write that would take a temporary past N bytes fails (ENOSPC)
 *   close     closing a temporary fails (EIO)
 *   rename    putting a temporary in place fails (EXDEV)
 *   kill:N    the process is killed (SIGKILL) at its N-th write to a temporary
 *   int:N     SIGINT is raised after the N-th temporary is put in place
 *   pkill:N   the process is killed (SIGKILL) at its N-th write in place (pwrite)
 *             or putting of a temporary in place, whatever the file: the steps
 *             of an edit inside a game archive
 */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <unistd.h>

/* dlsym returns an object pointer; POSIX guarantees it converts to a function pointer. */
#define REAL(type, name) ((type)(uintptr_t)dlsym(RTLD_NEXT, name))

static int temporary[4096];
static long written[4096];
static long writes, renames, steps;

static const char* mode(void) {
    const char* m = getenv("KELMORA_FAIL");
    return m ? m : "";
}

static long number(void) {
    const char* colon = strchr(mode(), ':');
    return colon ? atol(colon + 1) : 0;
}

static int is_mode(const char* name) { return strncmp(mode(), name, strlen(name)) == 0; }

/* One step of an edit in place: with pkill:N the N-th kills the process before it happens. */
static void step(void) {
    if (is_mode("pkill:") && ++steps >= number())
        raise(SIGKILL);
}

ssize_t pwrite(int fd, const void* buf, size_t n, off_t offset) {
    static ssize_t (*real)(int, const void*, size_t, off_t);
    if (!real)
        real = REAL(ssize_t (*)(int, const void*, size_t, off_t), "pwrite");
    step();
    return real(fd, buf, n, offset);
}

ssize_t pwrite64(int fd, const void* buf, size_t n, off_t offset) {
    static ssize_t (*real)(int, const void*, size_t, off_t);
    if (!real)
        real = REAL(ssize_t (*)(int, const void*, size_t, off_t), "pwrite64");
    step();
    return real(fd, buf, n, offset);
}


static void track(int fd, const char* path) {
    if (fd >= 0 && fd < 4096) {
        temporary[fd] = path && strstr(path, "/.kelmora-") != NULL;
        written[fd] = 0;
    }
}

int open(const char* path, int flags, ...) {
    static int (*real)(const char*, int, ...);
    if (!real)
        real = REAL(int (*)(const char*, int, ...), "open");
    va_list ap;
    va_start(ap, flags);
    mode_t m = (mode_t)va_arg(ap, int);
    va_end(ap);
    int fd = real(path, flags, m);
    track(fd, path);
    return fd;
}

int open64(const char* path, int flags, ...) {
    static int (*real)(const char*, int, ...);
    if (!real)
        real = REAL(int (*)(const char*, int, ...), "open64");
    va_list ap;
    va_start(ap, flags);
    mode_t m = (mode_t)va_arg(ap, int);
    va_end(ap);
    int fd = real(path, flags, m);
    track(fd, path);
    return fd;
}

ssize_t write(int fd, const void* buf, size_t n) {
    static ssize_t (*real)(int, const void*, size_t);
    if (!real)
        real = REAL(ssize_t (*)(int, const void*, size_t), "write");
    if (fd >= 0 && fd < 4096 && temporary[fd]) {
        ++writes;
        if (is_mode("kill:") && writes >= number())
            raise(SIGKILL);
        if (is_mode("write:") && written[fd] + (long)n > number()) {
            long room = number() - written[fd];
            if (room <= 0) {
                errno = ENOSPC;
                return -1;
            }
            n = (size_t)room;
        }
        ssize_t r = real(fd, buf, n);
        if (r > 0)
            written[fd] += r;
        return r;
    }
    return real(fd, buf, n);
}

int close(int fd) {
    static int (*real)(int);
    if (!real)
        real = REAL(int (*)(int), "close");
    int was = fd >= 0 && fd < 4096 && temporary[fd];
    if (fd >= 0 && fd < 4096)
        temporary[fd] = 0;
    int r = real(fd);
    if (was && is_mode("close")) {
        errno = EIO;
        return -1;
    }
    return r;
}

int rename(const char* from, const char* to) {
    static int (*real)(const char*, const char*);
    if (!real)
        real = REAL(int (*)(const char*, const char*), "rename");
    if (strstr(from, "/.kelmora-"))
        step();
    if (strstr(from, "/.kelmora-") && is_mode("rename")) {
        errno = EXDEV;
        return -1;
    }
    int r = real(from, to);
    if (r == 0 && strstr(from, "/.kelmora-") && is_mode("int:") && ++renames == number())
        raise(SIGINT);
    return r;
}
