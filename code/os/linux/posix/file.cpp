// Files, directories and paths over POSIX. Paths are already UTF-8 with "/",
// so they go to the system unchanged. There are no share modes on Linux: the
// Windows "no sharing" opens are plain opens here.
#include "../../os_internal.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <pwd.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static const char *os_lnx_path(StrSlice path) { return path.data ? path.data : ""; }

// O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
static int os_lnx_open_read(StrSlice path) {
    return open(os_lnx_path(path), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
}

// An existing regular file (or other non-directory) open for reading; -1 for
// a directory, as a Windows open without backup semantics refuses those.
static int os_lnx_open_file_read(StrSlice path, struct stat *info) {
    int fd = os_lnx_open_read(path);
    if (fd < 0) return -1;
    if (fstat(fd, info) != 0 || S_ISDIR(info->st_mode)) {
        close(fd);
        return -1;
    }
    return fd;
}

static bool os_lnx_write_all(int fd, const void *bytes, u32 size) {
    const u8 *at = (const u8 *)bytes;
    while (size > 0) {
        ssize_t written = write(fd, at, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        at += written;
        size -= (u32)written;
    }
    return true;
}

// Reads until size bytes or the end of the file; false on an error.
static bool os_lnx_read_all(int fd, void *buffer, u32 size, u32 *got) {
    u8 *at = (u8 *)buffer;
    *got = 0;
    while (*got < size) {
        ssize_t n = read(fd, at + *got, size - *got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        *got += (u32)n;
    }
    return true;
}

StrSlice os_read_entire_file(StrSlice path) {
    StrSlice result = {0, nullptr};
    struct stat info;
    int fd = os_lnx_open_file_read(path, &info);
    if (fd < 0) return result;
    // Files of 2 GiB and more are not supported: the size would not fit the
    // 32-bit allocation with its terminating NUL.
    if (info.st_size < 0 || info.st_size >= 0x7FFFFFFF) {
        close(fd);
        return result;
    }
    u32 size = (u32)info.st_size;
    char *buffer = (char *)os_alloc(size + 1);
    if (buffer) {
        errno = 0;
        u32 got = 0;
        bool ok = os_lnx_read_all(fd, buffer, size, &got);
        os_capture_last_error();
        if (ok) {
            // A file that shrank since the size query reports what was read.
            memset(buffer + got, 0, size + 1 - got);
            result = StrSlice{(i64)got, buffer};
        } else {
            os_free(buffer);
        }
    }
    close(fd);
    return result;
}

i32 os_write_file(StrSlice path, u32 size, const void *bytes) {
    int fd = open(os_lnx_path(path), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) return 1;
    i32 result = os_lnx_write_all(fd, bytes, size) ? 0 : 2;
    close(fd);
    return result;
}

// O_EXCL makes the open fail on any entry of the name, a dangling symbolic
// link included; O_NOFOLLOW says so twice.
static int os_lnx_create_new(const char *path) {
    return open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
}

i32 os_create_file_exclusive(StrSlice path, u32 size, const void *bytes) {
    int fd = os_lnx_create_new(os_lnx_path(path));
    if (fd < 0) return 1;
    bool written = os_lnx_write_all(fd, bytes, size);
    close(fd);
    if (written) return 0;
    unlink(os_lnx_path(path)); // ours: just created
    return 2;
}

const bool os_platform_windows_paths = false;

OsHandle os_platform_log_open(const char *path, bool append, i64 *size) {
    *size = 0;
    int fd = os_lnx_create_new(path);
    if (fd >= 0) return fd;
    if (!append || errno != EEXIST) return OS_NO_FILE;
    // Not a link (O_NOFOLLOW), not a FIFO that would block (O_NONBLOCK), not
    // a file also known by another name.
    fd = open(path, O_WRONLY | O_APPEND | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    struct stat info;
    if (fd >= 0 && fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_nlink == 1) {
        *size = (i64)info.st_size;
        return fd;
    }
    if (fd >= 0) close(fd);
    return OS_NO_FILE;
}

bool os_platform_log_write(OsHandle file, const void *bytes, u32 size) {
    return os_lnx_write_all((int)file, bytes, size);
}

void os_platform_log_close(OsHandle file) { close((int)file); }

i32 os_write_file_at(StrSlice path, i32 offset, u32 size, const void *bytes) {
    int fd = open(os_lnx_path(path), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return 1;
    i32 result = 0;
    if (lseek(fd, offset, SEEK_SET) < 0) result = 2;
    else if (!os_lnx_write_all(fd, bytes, size)) result = 3;
    close(fd);
    return result;
}

i32 os_read_file_range(StrSlice path, i64 offset, u32 size, void *buffer) {
    struct stat info;
    int fd = os_lnx_open_file_read(path, &info);
    if (fd < 0) return 1;
    i32 result = 0;
    u32 got = 0;
    if (offset > 0 && lseek(fd, offset, SEEK_SET) < 0) result = 2;
    else if (!os_lnx_read_all(fd, buffer, size, &got)) result = 3;
    if (result) os_capture_last_error();
    close(fd);
    return result;
}

i64 os_file_size(StrSlice path) {
    struct stat info;
    int fd = os_lnx_open_file_read(path, &info);
    if (fd < 0) return -1;
    close(fd);
    return (i64)info.st_size;
}

bool os_file_exists(StrSlice path) {
    struct stat info;
    int fd = os_lnx_open_file_read(path, &info);
    if (fd < 0) return false;
    close(fd);
    return true;
}

bool os_path_exists(StrSlice path) {
    // Any entry, a dangling symbolic link too: something is there by that name.
    struct stat info;
    return lstat(os_lnx_path(path), &info) == 0;
}

// Copies an open source into an open destination, which it closes; synced
// when asked. false on any failure.
static bool os_lnx_copy_into(int from, int to, bool sync) {
    bool ok = true;
    char chunk[65536];
    for (;;) {
        ssize_t n = read(from, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) ok = false;
        if (n <= 0) break;
        if (!os_lnx_write_all(to, chunk, (u32)n)) {
            ok = false;
            break;
        }
    }
    if (ok && sync && fsync(to) != 0) ok = false;
    if (close(to) != 0) ok = false;
    return ok;
}

i32 os_copy_file(StrSlice source, StrSlice destination) {
    struct stat info;
    int from = os_lnx_open_file_read(source, &info);
    if (from < 0) return 1;
    // The truncating open would erase the source when both name one file
    // (the same path spelled otherwise, a hard or symbolic link); Windows
    // refuses that copy, and so do we.
    struct stat target;
    if (stat(os_lnx_path(destination), &target) == 0 && target.st_dev == info.st_dev &&
        target.st_ino == info.st_ino) {
        close(from);
        return 1;
    }
    int to = open(os_lnx_path(destination), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, info.st_mode & 0777);
    bool ok = to >= 0 && os_lnx_copy_into(from, to, false);
    close(from);
    return ok ? 0 : 1;
}

// A file moved to another file system: copied, synced and only then removed,
// as the Windows call does across volumes. Directories are refused there too.
static i32 os_lnx_move_across(const char *from_path, const char *to_path) {
    struct stat info;
    int from = open(from_path, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (from < 0) return 1;
    if (fstat(from, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(from);
        return 1;
    }
    // O_EXCL: an existing destination is never replaced, even one that
    // appeared since the rename was refused.
    int to = open(to_path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, info.st_mode & 0777);
    if (to < 0) {
        close(from);
        return 1;
    }
    bool ok = os_lnx_copy_into(from, to, true);
    close(from);
    if (!ok) {
        unlink(to_path); // our own partial copy
        return 1;
    }
    if (unlink(from_path) != 0) {
        unlink(to_path);
        return 1;
    }
    return 0;
}

i32 os_move_file(StrSlice source, StrSlice destination) {
    const char *from = os_lnx_path(source);
    const char *to = os_lnx_path(destination);
    if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return 0;
    if (errno == EXDEV) return os_lnx_move_across(from, to);
    if (errno != EINVAL && errno != ENOSYS) return 1;
    // File systems without the no-replace flag: check first (not atomic).
    struct stat info;
    if (lstat(to, &info) == 0) return 1;
    if (rename(from, to) == 0) return 0;
    return errno == EXDEV ? os_lnx_move_across(from, to) : 1;
}

i32 os_delete_file(StrSlice path) { return unlink(os_lnx_path(path)) == 0 ? 0 : 1; }

i32 os_replace_file(StrSlice source, StrSlice destination) {
    return rename(os_lnx_path(source), os_lnx_path(destination)) == 0 ? 0 : 1;
}

i32 os_truncate_file(StrSlice path, i64 length) {
    int fd = open(os_lnx_path(path), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return 1;
    i32 result = 0;
    if (lseek(fd, length, SEEK_SET) < 0) result = 2;
    else if (ftruncate(fd, length) != 0) result = 3;
    close(fd);
    return result;
}

i32 os_make_directory(StrSlice path) {
    if (os_path_exists(path)) return 0;
    return mkdir(os_lnx_path(path), 0777) == 0 ? 0 : 1;
}

i32 os_remove_directory(StrSlice path) {
    if (!os_path_exists(path)) return 0;
    return rmdir(os_lnx_path(path)) == 0 ? 0 : 1;
}

void os_list_directory(StrSlice path, OsListDirectoryCallback *callback) {
    if (!callback || !path.data || path.length <= 0 || path.length >= PATH_MAX) return;
    char folder[PATH_MAX];
    memcpy(folder, path.data, (size_t)path.length);
    folder[path.length] = 0;
    DIR *dir = opendir(folder);
    if (!dir) return;
    int dir_fd = dirfd(dir);
    while (dirent *entry = readdir(dir)) {
        const char *name = entry->d_name;
        if (strcmp(name, ".") == 0 || strcmp(name, "..") == 0) continue;
        // Links are followed, as the Windows listing reports what they name;
        // a dangling one is listed as itself.
        struct stat info;
        bool known = fstatat(dir_fd, name, &info, 0) == 0 ||
                     fstatat(dir_fd, name, &info, AT_SYMLINK_NOFOLLOW) == 0;
        bool is_directory = known && S_ISDIR(info.st_mode);
        i64 size = known && !is_directory ? (i64)info.st_size : 0;
        callback(StrSlice{(i64)strlen(name), (char *)name}, size, is_directory);
    }
    closedir(dir);
}

//~ Cached paths

static StrSlice os_lnx_desktop_folder;

i32 os_platform_exe_path(char *path, i32 capacity) {
    ssize_t length = readlink("/proc/self/exe", path, (size_t)capacity - 1);
    if (length <= 0) return 0;
    path[length] = 0;
    return (i32)length;
}

// "/" is what login tools and containers set for a user without a home
// (HOME=/ for a uid with no password entry): no home either, or the user's
// folders would be made at the root.
static bool os_lnx_is_home(const char *folder) { return folder && folder[0] && strcmp(folder, "/") != 0; }

static const char *os_lnx_home(void) {
    const char *home = getenv("HOME");
    if (os_lnx_is_home(home)) return home;
    passwd *user = getpwuid(getuid());
    return user && os_lnx_is_home(user->pw_dir) ? user->pw_dir : nullptr;
}

// A folder from the user-dirs.dirs line KEY="...", whose value is
// "$HOME/..." or an absolute path in double quotes; false when absent. The
// file is what xdg-user-dirs-update writes and `xdg-user-dir` reads.
static bool os_lnx_xdg_user_dir(const char *home, const char *name, char (&out)[PATH_MAX]) {
    char file[PATH_MAX];
    const char *config = getenv("XDG_CONFIG_HOME");
    if (config && config[0] == '/') os_format(file, sizeof file, "%s/user-dirs.dirs", config);
    else os_format(file, sizeof file, "%s/.config/user-dirs.dirs", home);
    FILE *dirs = fopen(file, "re");
    if (!dirs) return false;
    char key[64];
    os_format(key, sizeof key, "%s=\"", name);
    bool found = false;
    char line[PATH_MAX + 64];
    while (!found && fgets(line, sizeof line, dirs)) {
        const char *p = line;
        while (*p == ' ' || *p == '\t') ++p;
        if (strncmp(p, key, strlen(key)) != 0) continue;
        p += strlen(key);
        const char *end = strchr(p, '"');
        if (!end) continue;
        size_t length = (size_t)(end - p);
        char value[PATH_MAX];
        if (length >= sizeof value) continue;
        memcpy(value, p, length);
        value[length] = 0;
        if (strncmp(value, "$HOME", 5) == 0 && (value[5] == '/' || value[5] == 0)) {
            os_format(out, sizeof out, "%s%s", home, value + 5);
            found = true;
        } else if (value[0] == '/') {
            os_format(out, sizeof out, "%s", value);
            found = true;
        }
    }
    fclose(dirs);
    return found;
}

static bool os_lnx_xdg_desktop(const char *home, char (&out)[PATH_MAX]) {
    return os_lnx_xdg_user_dir(home, "XDG_DESKTOP_DIR", out);
}

StrSlice os_desktop_folder(void) {
    if (!os_lnx_desktop_folder.data) {
        const char *home = os_lnx_home();
        if (!home) return os_lnx_desktop_folder;
        char desktop[PATH_MAX];
        if (!os_lnx_xdg_desktop(home, desktop)) os_format(desktop, sizeof desktop, "%s/Desktop", home);
        size_t length = strlen(desktop);
        while (length > 1 && desktop[length - 1] == '/') --length;
        os_lnx_desktop_folder = os_string_copy(desktop, length);
    }
    return os_lnx_desktop_folder;
}

// The base folder of a kind without a trailing "/"; false without a home.
static bool os_lnx_user_base(u32 kind, char (&out)[PATH_MAX]) {
    const char *home = os_lnx_home();
    if (!home) return false;
    const char *variable = kind == OS_USER_FOLDER_CONFIG  ? "XDG_CONFIG_HOME"
                           : kind == OS_USER_FOLDER_STATE ? "XDG_STATE_HOME"
                                                          : "XDG_VIDEOS_DIR";
    const char *value = getenv(variable);
    if (value && value[0] == '/') {
        os_format(out, sizeof out, "%s", value);
    } else if (kind == OS_USER_FOLDER_CONFIG) {
        os_format(out, sizeof out, "%s/.config", home);
    } else if (kind == OS_USER_FOLDER_STATE) {
        os_format(out, sizeof out, "%s/.local/state", home);
    } else if (!os_lnx_xdg_user_dir(home, "XDG_VIDEOS_DIR", out)) {
        // xdg-user-dir itself would answer the home folder; a Videos folder
        // in it is what xdg-user-dirs-update makes on a first login.
        os_format(out, sizeof out, "%s/Videos", home);
    }
    size_t length = strlen(out);
    while (length > 1 && out[length - 1] == '/') out[--length] = 0;
    return os_lnx_is_home(out); // an XDG value of "/" names the root too
}

StrSlice os_user_folder(u32 kind, const char *application) {
    char base[PATH_MAX];
    if (kind > OS_USER_FOLDER_VIDEOS || !application || !os_lnx_user_base(kind, base)) return StrSlice{0, nullptr};
    char name[256];
    os_format(name, sizeof name, "%s", application);
    if (kind != OS_USER_FOLDER_VIDEOS)
        for (char *c = name; *c; ++c)
            if (*c >= 'A' && *c <= 'Z') *c = (char)(*c - 'A' + 'a');
    char folder[PATH_MAX + 258];
    i32 length = os_format(folder, sizeof folder, "%s/%s/", base, name);
    if (length < 0 || length >= (i32)sizeof folder - 1) return StrSlice{0, nullptr};
    return os_string_copy(folder, length);
}

bool os_program_installed(void) {
    StrSlice folder = os_exe_folder();
    if (!folder.data) return false;
    return strncmp(folder.data, "/usr/", 5) == 0 || strncmp(folder.data, "/opt/", 5) == 0;
}

bool os_folder_writable(StrSlice folder) {
    if (!folder.data || folder.length <= 0 || folder.length >= PATH_MAX - 64) return false;
    char probe[PATH_MAX];
    bool slash = folder.data[folder.length - 1] == '/';
    os_format(probe, sizeof probe, "%.*s%s.writable-%i", (int)folder.length, folder.data, slash ? "" : "/",
              (int)getpid());
    int fd = open(probe, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    close(fd);
    unlink(probe);
    return true;
}
