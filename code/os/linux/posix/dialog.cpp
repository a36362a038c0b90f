// Dialogs (not available on X without a toolkit) and the directory watch
// over inotify.
#include "../../os_internal.h"

#include <dirent.h>
#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/inotify.h>
#include <unistd.h>

i32 os_open_file_dialog(StrSlice *out, StrSlice initial_folder, bool allow_multiple) {
    (void)out;
    (void)initial_folder;
    (void)allow_multiple;
    os_diagnostic("* NOTE * os_open_file_dialog is not available on this platform\n");
    return 1;
}

i32 os_choose_folder_dialog(StrSlice *out) {
    (void)out;
    os_diagnostic("* NOTE * os_choose_folder_dialog is not available on this platform\n");
    return 1;
}

//~ Directory watch

// One watched folder: its inotify descriptor and its path below the root
// ("" for the root, else "sub/dir/").
struct OsLnxWatched {
    int wd;
    char *prefix;
};

struct OsLnxWatch {
    int fd;
    const char *root;
    OsLnxWatched *folders;
    i32 count, capacity;
};

static const u32 os_lnx_watch_events = IN_MODIFY | IN_CREATE | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

static OsLnxWatched *os_lnx_watched(OsLnxWatch *watch, int wd) {
    for (i32 i = 0; i < watch->count; i++)
        if (watch->folders[i].wd == wd) return &watch->folders[i];
    return nullptr;
}

// Watches root + prefix and, going down, every folder below it: inotify is
// one folder per watch, where Windows watches a whole subtree at once.
static bool os_lnx_watch_add(OsLnxWatch *watch, const char *prefix, bool subtree) {
    size_t root_length = strlen(watch->root), prefix_length = strlen(prefix);
    char *path = (char *)os_alloc((u32)(root_length + prefix_length + 2));
    if (!path) return false;
    memcpy(path, watch->root, root_length);
    path[root_length] = '/';
    memcpy(path + root_length + 1, prefix, prefix_length + 1);
    int wd = inotify_add_watch(watch->fd, path, subtree ? os_lnx_watch_events : os_lnx_watch_events & ~(IN_CREATE | IN_MOVED_TO));
    if (wd < 0) {
        os_free(path);
        return false;
    }
    if (!os_lnx_watched(watch, wd)) {
        if (!os_array_reserve((void **)&watch->folders, &watch->capacity, watch->count, sizeof(OsLnxWatched), 8)) {
            os_free(path);
            return true;
        }
        char *kept = (char *)os_alloc((u32)prefix_length + 1);
        if (kept) {
            memcpy(kept, prefix, prefix_length + 1);
            watch->folders[watch->count++] = OsLnxWatched{wd, kept};
        }
    }
    if (subtree) {
        DIR *directory = opendir(path);
        while (directory) {
            dirent *entry = readdir(directory);
            if (!entry) break;
            if (entry->d_type != DT_DIR && entry->d_type != DT_UNKNOWN) continue;
            if (strcmp(entry->d_name, ".") == 0 || strcmp(entry->d_name, "..") == 0) continue;
            size_t name_length = strlen(entry->d_name);
            char *below = (char *)os_alloc((u32)(prefix_length + name_length + 2));
            if (!below) continue;
            memcpy(below, prefix, prefix_length);
            memcpy(below + prefix_length, entry->d_name, name_length);
            below[prefix_length + name_length] = '/';
            below[prefix_length + name_length + 1] = 0;
            // Not a folder after all (DT_UNKNOWN): IN_ONLYDIR refuses it.
            os_lnx_watch_add(watch, below, true);
            os_free(below);
        }
        if (directory) closedir(directory);
    }
    os_free(path);
    return true;
}

void os_watch_directory_changes(StrSlice path, bool subtree, OsWatchCallback *callback) {
    OsLnxWatch watch = {};
    watch.root = path.data ? path.data : "";
    watch.fd = inotify_init1(IN_CLOEXEC);
    if (watch.fd < 0 || !os_lnx_watch_add(&watch, "", subtree)) {
        if (watch.fd >= 0) close(watch.fd);
        os_diagnostic("ERROR: os_watch_directory_changes\n");
        return;
    }
    int root_wd = watch.folders ? watch.folders[0].wd : -1;
    alignas(inotify_event) char buffer[4096];
    char name[4096 + 256];
    bool watching = true;
    while (watching) {
        ssize_t got = read(watch.fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        for (char *at = buffer; at < buffer + got;) {
            inotify_event *event = (inotify_event *)at;
            at += sizeof(inotify_event) + event->len;
            OsLnxWatched *folder = os_lnx_watched(&watch, event->wd);
            if (event->wd == root_wd && (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED))) {
                // The watched folder itself is gone: the wait has nothing left.
                watching = false;
                break;
            }
            if (!folder || !event->len) continue;
            if ((event->mask & (IN_CREATE | IN_MOVED_TO)) && (event->mask & IN_ISDIR)) {
                size_t length = (size_t)snprintf(name, sizeof name, "%s%s/", folder->prefix, event->name);
                // Files written before this watch starts are not seen.
                if (length < sizeof name) os_lnx_watch_add(&watch, name, true);
            } else if ((event->mask & IN_MODIFY) && !(event->mask & IN_ISDIR) && callback) {
                size_t length = (size_t)snprintf(name, sizeof name, "%s%s", folder->prefix, event->name);
                if (length < sizeof name) callback(StrSlice{(i64)length, name});
            }
        }
    }
    for (i32 i = 0; i < watch.count; i++) os_free(watch.folders[i].prefix);
    if (watch.folders) os_free(watch.folders);
    close(watch.fd);
}
