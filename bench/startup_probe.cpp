// Whole-process measurement of the recorder on the current X display: time
// from exec to the first presented panel, idle CPU with the pointer still far
// from the region, resting inside it, and moving (far away, as a hand would),
// and peak resident memory; each the median over several runs in fresh
// folders. With --wine the Windows build runs through scripts/wine-run (set
// VORNBY_WINEPREFIX to an existing prefix) and Wine's own processes are
// measured beside the program.
//   bench_startup PROGRAM_FOLDER [runs=5] [seconds=20] [--wine WINE_RUN]
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <algorithm>
#include <dirent.h>
#include <fcntl.h>
#include <math.h>
#include <signal.h>
#include <spawn.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vector>

extern char **environ;

static double now_ms() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000.0 + t.tv_nsec / 1e6;
}

static unsigned long pixel(Display *d, int x, int y) {
    XImage *image = XGetImage(d, DefaultRootWindow(d), x, y, 1, 1, AllPlanes, ZPixmap);
    if (!image) return 0;
    unsigned long p = XGetPixel(image, 0, 0) & 0xFFFFFF;
    XDestroyImage(image);
    return p;
}

static std::string read_text(const std::string &path) {
    FILE *f = fopen(path.c_str(), "rb");
    if (!f) return "";
    std::string text;
    char buffer[512];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, got);
    fclose(f);
    for (char &c : text)
        if (c == 0) c = ' ';
    return text;
}

// Nanoseconds all threads of the process have run, from the scheduler's own
// clock: exact even for a loop that wakes for microseconds at a time, unlike
// tick sampling. (The process's own schedstat counts its first thread only.)
static double cpu_ns(pid_t pid) {
    std::string tasks = "/proc/" + std::to_string(pid) + "/task";
    DIR *dir = opendir(tasks.c_str());
    if (!dir) return 0;
    double total = 0;
    while (dirent *entry = readdir(dir)) {
        if (entry->d_name[0] == '.') continue;
        total += atof(read_text(tasks + "/" + entry->d_name + "/schedstat").c_str());
    }
    closedir(dir);
    return total;
}

// Processes matched on their name and their command line, or their
// environment when wanted.
static std::vector<pid_t> processes_where(bool (*match)(const std::string &comm, const std::string &text,
                                                        const char *key),
                                          const char *key, const char *text = "/cmdline") {
    std::vector<pid_t> found;
    DIR *dir = opendir("/proc");
    while (dirent *entry = dir ? readdir(dir) : nullptr) {
        if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
        std::string base = std::string("/proc/") + entry->d_name;
        std::string comm = read_text(base + "/comm");
        if (!comm.empty() && comm.back() == '\n') comm.pop_back();
        if (match(comm, read_text(base + text), key)) found.push_back(atoi(entry->d_name));
    }
    if (dir) closedir(dir);
    return found;
}

static bool is_program(const std::string &comm, const std::string &cmdline, const char *folder) {
    return comm == "vornby.exe" && cmdline.find(folder) != std::string::npos;
}

// Wine's server and helper processes of our prefix (other people's Wine runs
// on the same machine have their own).
static bool is_wine_helper(const std::string &comm, const std::string &environment, const char *prefix) {
    bool wine = comm == "wineserver" || comm == "services.exe" || comm == "explorer.exe" ||
                comm == "winedevice.exe" || comm == "plugplay.exe" || comm == "svchost.exe" || comm == "rpcss.exe";
    return wine && environment.find(prefix) != std::string::npos;
}

static double cpu_ns_of(const std::vector<pid_t> &pids) {
    double total = 0;
    for (pid_t pid : pids) total += cpu_ns(pid);
    return total;
}

static long peak_rss_kb(pid_t pid) {
    std::string text = read_text("/proc/" + std::to_string(pid) + "/status");
    const char *at = strstr(text.c_str(), "VmHWM:");
    return at ? atol(at + 6) : -1;
}

static double median(std::vector<double> v) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

static void pointer_to(Display *d, int x, int y) {
    XTestFakeMotionEvent(d, -1, x, y, CurrentTime);
    XFlush(d);
}

static std::string load_average() {
    std::string text = read_text("/proc/loadavg");
    return text.substr(0, text.find(' ', text.find(' ', text.find(' ') + 1) + 1));
}

enum { FAR, NEAR, MOVING, SCENES };
static const char *scene_names[SCENES] = {"still far away", "resting in the region", "moving far away"};

int main(int argc, char **argv) {
    if (argc < 2) {
        fprintf(stderr, "usage: %s PROGRAM_FOLDER [runs] [seconds] [--wine WINE_RUN]\n", argv[0]);
        return 2;
    }
    std::string source = argv[1];
    int runs = argc > 2 ? atoi(argv[2]) : 5;
    int seconds = argc > 3 ? atoi(argv[3]) : 20;
    const char *wine_run = argc > 5 && strcmp(argv[4], "--wine") == 0 ? argv[5] : nullptr;
    const char *name = wine_run ? "vornby.exe" : "vornby";
    const char *prefix_variable = getenv("VORNBY_WINEPREFIX");
    if (wine_run && !prefix_variable) {
        fprintf(stderr, "--wine needs VORNBY_WINEPREFIX (an existing prefix)\n");
        return 2;
    }
    std::string wine_prefix = std::string("WINEPREFIX=") + (prefix_variable ? prefix_variable : "");
    Display *d = XOpenDisplay(nullptr);
    if (!d) {
        fprintf(stderr, "no X display\n");
        return 1;
    }
    // The default region on 1920 x 1080 is (770, 430)-(1149, 649) with the
    // panel's red outline below it here.
    const int panel_x = 780, panel_y = 661;
    const int far_x = 200, far_y = 150, inside_x = 960, inside_y = 540;
    printf("load average before: %s\n", load_average().c_str());
    std::vector<double> startup, rss, cpu[SCENES], wine_cpu[SCENES];
    for (int run = 0; run < runs; run++) {
        char folder[] = "/tmp/vornby-bench-XXXXXX";
        if (!mkdtemp(folder)) return 1;
        std::string copy = "cp " + source + "/" + name + " " + source + "/font.otf " + source + "/icons.png " + folder;
        if (system(copy.c_str()) != 0) return 1;
        std::string program = std::string(folder) + "/" + name;
        char *child_argv[] = {(char *)(wine_run ? wine_run : program.c_str()), (char *)program.c_str(), nullptr};
        if (!wine_run) child_argv[1] = nullptr;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        pointer_to(d, far_x, far_y);
        XSync(d, False);
        pid_t child;
        double start = now_ms();
        if (posix_spawn(&child, child_argv[0], &actions, nullptr, child_argv, environ) != 0) return 1;
        while (pixel(d, panel_x, panel_y) != 0xFF0000 && now_ms() - start < 60000) usleep(200);
        startup.push_back(now_ms() - start);
        pid_t pid = child;
        if (wine_run) {
            std::vector<pid_t> found = processes_where(is_program, strrchr(folder, '/') + 1);
            if (found.empty()) {
                fprintf(stderr, "the program's Wine process was not found\n");
                return 1;
            }
            pid = found[0];
        }
        usleep(1000000); // let start-up's own work finish before timing the idle loop
        for (int scene = 0; scene < SCENES; scene++) {
            if (scene == NEAR) pointer_to(d, inside_x, inside_y);
            if (scene == FAR) pointer_to(d, far_x, far_y);
            usleep(500000);
            std::vector<pid_t> helpers;
            if (wine_run) helpers = processes_where(is_wine_helper, wine_prefix.c_str(), "/environ");
            double before = cpu_ns(pid), helpers_before = cpu_ns_of(helpers);
            double begin = now_ms();
            if (scene == MOVING) {
                // A circle of 100 px radius at 60 moves a second, through XTest
                // (a device: raw motion), away from the region and the panel.
                for (int step = 0; now_ms() - begin < seconds * 1000.0; step++) {
                    double angle = step * 0.05;
                    pointer_to(d, far_x + (int)(100 * cos(angle)), far_y + 30 + (int)(100 * sin(angle)));
                    usleep(16667);
                }
            } else {
                sleep((unsigned)seconds);
            }
            double elapsed = (now_ms() - begin) / 1000.0;
            cpu[scene].push_back(100.0 * (cpu_ns(pid) - before) / 1e9 / elapsed);
            if (wine_run) wine_cpu[scene].push_back(100.0 * (cpu_ns_of(helpers) - helpers_before) / 1e9 / elapsed);
        }
        rss.push_back((double)peak_rss_kb(pid));
        kill(pid, SIGTERM);
        waitpid(child, nullptr, 0);
        posix_spawn_file_actions_destroy(&actions);
        std::string clean = std::string("rm -rf ") + folder;
        if (system(clean.c_str()) != 0) return 1;
        printf("run %d: first panel %.1f ms, idle CPU far %.3f %%, in region %.3f %%, moving %.3f %%", run + 1,
               startup.back(), cpu[FAR].back(), cpu[NEAR].back(), cpu[MOVING].back());
        if (wine_run)
            printf(" (Wine's processes %.3f / %.3f / %.3f %%)", wine_cpu[FAR].back(), wine_cpu[NEAR].back(),
                   wine_cpu[MOVING].back());
        printf(", peak RSS %.0f kB\n", rss.back());
        fflush(stdout);
    }
    printf("median of %d runs of %d s: first panel %.1f ms, peak RSS %.2f MB\n", runs, seconds, median(startup),
           median(rss) / 1024.0);
    for (int scene = 0; scene < SCENES; scene++) {
        printf("  idle CPU, pointer %-22s %.3f %% of one core", scene_names[scene], median(cpu[scene]));
        if (wine_run) printf("  (Wine's own processes: %.3f %%)", median(wine_cpu[scene]));
        printf("\n");
    }
    printf("load average after: %s\n", load_average().c_str());
    XCloseDisplay(d);
    return 0;
}
