// Files, directories and paths against the real file system, in a scratch
// folder beside the test program.
#include <gtest/gtest.h>
#include <errno.h>
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "os/os.h"
#include "os/os_internal.h"
#include "slices.h"

#ifndef _WIN32
#include <stdlib.h>
#include <unistd.h>
#endif

#ifdef _WIN32
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <pwd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

static void set_system_error(int code) {
#ifdef _WIN32
    SetLastError((DWORD)code);
#else
    errno = code;
#endif
}

class Files : public testing::Test {
protected:
    std::string root;

    void SetUp() override {
        root = str(os_exe_folder()) + "os_files_scratch/";
        std::filesystem::remove_all(root);
        ASSERT_EQ(os_make_directory(S(root)), 0);
    }
    void TearDown() override { std::filesystem::remove_all(root); }

    std::string path(const std::string &name) { return root + name; }

    void write(const std::string &name, const std::string &bytes) {
        ASSERT_EQ(os_write_file(S(path(name)), (u32)bytes.size(), bytes.data()), 0);
    }

    std::string read(const std::string &name) {
        StrSlice file = os_read_entire_file(S(path(name)));
        std::string text = file.data ? str(file) : "<missing>";
        os_free_file(&file);
        return text;
    }
};

TEST_F(Files, ReadEntireFileEndsInNulAndTellsEmptyFromMissing) {
    write("empty.txt", "");
    StrSlice empty = os_read_entire_file(S(path("empty.txt")));
    EXPECT_EQ(empty.length, 0);
    ASSERT_NE(empty.data, nullptr);
    EXPECT_EQ(empty.data[0], 0);
    os_free_file(&empty);
    EXPECT_EQ(empty.data, nullptr);

    StrSlice missing = os_read_entire_file(S(path("missing.txt")));
    EXPECT_EQ(missing.length, 0);
    EXPECT_EQ(missing.data, nullptr);
    os_free_file(&missing); // freeing the empty slice does nothing

    std::string hundred;
    for (int i = 0; i < 100; ++i) hundred += (char)('a' + i % 26);
    write("hundred.txt", hundred);
    StrSlice file = os_read_entire_file(S(path("hundred.txt")));
    ASSERT_EQ(file.length, 100);
    EXPECT_EQ(str(file), hundred);
    EXPECT_EQ(file.data[100], 0);
    os_free_file(&file);

    // A directory is not a file to read.
    ASSERT_EQ(os_make_directory(S(path("folder"))), 0);
    EXPECT_EQ(os_read_entire_file(S(path("folder"))).data, nullptr);
}

TEST_F(Files, OnlyReadsThatOpenedRecordTheLastError) {
    write("a.txt", "abc");
    set_system_error(5);
    os_capture_last_error();
    os_read_entire_file(S(path("missing.txt")));
    EXPECT_EQ(os_last_error_code(), 5u); // could not open: nothing recorded
    StrSlice file = os_read_entire_file(S(path("a.txt")));
    EXPECT_EQ(os_last_error_code(), 0u); // the read succeeded
    os_free_file(&file);

    char buffer[4];
    set_system_error(5);
    os_capture_last_error();
    EXPECT_EQ(os_read_file_range(S(path("missing.txt")), 0, 4, buffer), 1);
    EXPECT_EQ(os_last_error_code(), 5u);
    EXPECT_EQ(os_write_file(S(path("missing/a.txt")), 1, "x"), 1);
    EXPECT_EQ(os_last_error_code(), 5u);
}

TEST_F(Files, WritesReplaceOrPatchTheContent) {
    write("f.txt", std::string(100, 'x'));
    write("f.txt", "0123456789");
    EXPECT_EQ(read("f.txt"), "0123456789"); // overwriting shortens
    EXPECT_EQ(os_file_size(S(path("f.txt"))), 10);

    EXPECT_EQ(os_write_file_at(S(path("f.txt")), 2, 3, "abc"), 0);
    EXPECT_EQ(read("f.txt"), "01abc56789"); // patched, not shortened
    EXPECT_EQ(os_write_file_at(S(path("f.txt")), 0, 1, "Z"), 0);
    EXPECT_EQ(read("f.txt"), "Z1abc56789");
    EXPECT_EQ(os_write_file_at(S(path("f.txt")), -1, 1, "Z"), 2);
    EXPECT_EQ(os_write_file_at(S(path("new.txt")), 3, 2, "hi"), 0); // created, gap of zeros
    EXPECT_EQ(read("new.txt"), std::string("\0\0\0hi", 5));
    EXPECT_EQ(os_write_file_at(S(path("missing/x.txt")), 0, 1, "x"), 1);
    EXPECT_EQ(os_write_file(S(path("missing/x.txt")), 1, "x"), 1);

    char buffer[8] = {};
    EXPECT_EQ(os_read_file_range(S(path("f.txt")), 7, 8, buffer), 0); // short read is fine
    EXPECT_EQ(std::string(buffer, 3), "789");
    EXPECT_EQ(os_read_file_range(S(path("f.txt")), 0, 2, buffer), 0);
    EXPECT_EQ(std::string(buffer, 2), "Z1");
    EXPECT_EQ(os_read_file_range(S(path("nope.txt")), 0, 2, buffer), 1);

    EXPECT_EQ(os_truncate_file(S(path("f.txt")), 4), 0);
    EXPECT_EQ(read("f.txt"), "Z1ab");
    EXPECT_EQ(os_truncate_file(S(path("f.txt")), 6), 0); // grows with zeros
    EXPECT_EQ(read("f.txt"), std::string("Z1ab\0\0", 6));
    EXPECT_EQ(os_truncate_file(S(path("f.txt")), -1), 2);
    EXPECT_EQ(os_truncate_file(S(path("nope.txt")), 0), 1);
}

TEST_F(Files, ExistenceAndSizeTellFilesFromDirectories) {
    write("f.txt", "12345");
    ASSERT_EQ(os_make_directory(S(path("d"))), 0);
    EXPECT_TRUE(os_file_exists(S(path("f.txt"))));
    EXPECT_TRUE(os_path_exists(S(path("f.txt"))));
    EXPECT_EQ(os_file_size(S(path("f.txt"))), 5);
    EXPECT_FALSE(os_file_exists(S(path("d"))));
    EXPECT_TRUE(os_path_exists(S(path("d"))));
    EXPECT_EQ(os_file_size(S(path("d"))), -1);
    EXPECT_FALSE(os_file_exists(S(path("none"))));
    EXPECT_FALSE(os_path_exists(S(path("none"))));
    EXPECT_EQ(os_file_size(S(path("none"))), -1);
}

TEST_F(Files, CopyReplacesMoveDoesNotDeleteRemoves) {
    write("a.txt", "alpha");
    write("b.txt", "beta");
    EXPECT_EQ(os_copy_file(S(path("a.txt")), S(path("b.txt"))), 0);
    EXPECT_EQ(read("b.txt"), "alpha");
    EXPECT_EQ(os_copy_file(S(path("none.txt")), S(path("c.txt"))), 1);

    write("b.txt", "beta");
    EXPECT_EQ(os_move_file(S(path("a.txt")), S(path("b.txt"))), 1); // never replaces
    EXPECT_EQ(read("a.txt"), "alpha");
    EXPECT_EQ(read("b.txt"), "beta");
    EXPECT_EQ(os_move_file(S(path("a.txt")), S(path("c.txt"))), 0);
    EXPECT_FALSE(os_path_exists(S(path("a.txt"))));
    EXPECT_EQ(read("c.txt"), "alpha");
    ASSERT_EQ(os_make_directory(S(path("d1"))), 0);
    EXPECT_EQ(os_move_file(S(path("d1")), S(path("d2"))), 0); // directories too
    EXPECT_TRUE(os_path_exists(S(path("d2"))));

    EXPECT_EQ(os_delete_file(S(path("c.txt"))), 0);
    EXPECT_FALSE(os_path_exists(S(path("c.txt"))));
    EXPECT_EQ(os_delete_file(S(path("c.txt"))), 1);
    EXPECT_EQ(os_delete_file(S(path("d2"))), 1); // not a file
}

TEST_F(Files, CopyOntoItselfIsRefusedAndKeepsTheContent) {
    write("self.txt", "precious");
    std::string spelled = root + "./self.txt";
    EXPECT_EQ(os_copy_file(S(path("self.txt")), S(path("self.txt"))), 1);
    EXPECT_EQ(os_copy_file(S(path("self.txt")), S(spelled)), 1);
#ifndef _WIN32
    ASSERT_EQ(link(path("self.txt").c_str(), path("hard.txt").c_str()), 0);
    ASSERT_EQ(symlink("self.txt", path("soft.txt").c_str()), 0);
    EXPECT_EQ(os_copy_file(S(path("self.txt")), S(path("hard.txt"))), 1);
    EXPECT_EQ(os_copy_file(S(path("soft.txt")), S(path("self.txt"))), 1);
#endif
    EXPECT_EQ(read("self.txt"), "precious");
}

#ifndef _WIN32
// /dev/shm is a tmpfs, the build folder is not: a rename between them fails
// with EXDEV, where the Windows call moves the file across volumes.
TEST_F(Files, MoveAcrossFileSystemsCopiesAndRemovesButNeverReplaces) {
    struct stat shm, here;
    if (stat("/dev/shm", &shm) != 0 || stat(root.c_str(), &here) != 0 || shm.st_dev == here.st_dev)
        GTEST_SKIP() << "no second file system at /dev/shm";
    std::string away = "/dev/shm/vornby_move_" + std::to_string(getpid());
    ASSERT_EQ(os_write_file(S(away), 5, "moved"), 0);
    chmod(away.c_str(), 0640);
    EXPECT_EQ(os_move_file(S(away), S(path("here.txt"))), 0);
    EXPECT_FALSE(os_path_exists(S(away)));
    EXPECT_EQ(read("here.txt"), "moved");
    struct stat info;
    ASSERT_EQ(stat(path("here.txt").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);

    write("taken.txt", "keep");
    ASSERT_EQ(os_write_file(S(away), 3, "new"), 0);
    EXPECT_EQ(os_move_file(S(away), S(path("taken.txt"))), 1);
    EXPECT_EQ(read("taken.txt"), "keep");
    EXPECT_TRUE(os_path_exists(S(away)));
    EXPECT_EQ(os_move_file(S(path("taken.txt")), S(away)), 1); // the other way, onto an existing file
    os_delete_file(S(away));
}
#endif

TEST_F(Files, MakeAndRemoveDirectory) {
    write("file", "x");
    EXPECT_EQ(os_make_directory(S(path("file"))), 0); // exists: nothing done
    EXPECT_TRUE(os_file_exists(S(path("file"))));
    EXPECT_EQ(os_make_directory(S(path("no/parent"))), 1);

    EXPECT_EQ(os_remove_directory(S(path("missing"))), 0);
    ASSERT_EQ(os_make_directory(S(path("full"))), 0);
    write("full/inside.txt", "x");
    EXPECT_EQ(os_remove_directory(S(path("full"))), 1);
    EXPECT_TRUE(os_path_exists(S(path("full/inside.txt"))));
    ASSERT_EQ(os_delete_file(S(path("full/inside.txt"))), 0);
    EXPECT_EQ(os_remove_directory(S(path("full"))), 0);
    EXPECT_FALSE(os_path_exists(S(path("full"))));
    EXPECT_EQ(os_remove_directory(S(path("file"))), 1); // a file is no directory
}

struct ListedEntry {
    std::string name;
    i64 size;
    bool is_directory;
    bool operator<(const ListedEntry &other) const { return name < other.name; }
};
static std::vector<ListedEntry> listed;

static void collect(StrSlice name, i64 size, bool is_directory) {
    listed.push_back({str(name), size, is_directory});
}

static std::vector<ListedEntry> list(const std::string &folder, i64 length = -1) {
    listed.clear();
    os_list_directory(StrSlice{length < 0 ? (i64)folder.size() : length, (char *)folder.c_str()},
                      collect);
    std::sort(listed.begin(), listed.end());
    return listed;
}

TEST_F(Files, ListingGivesEntriesWithoutDotAndDotDot) {
    ASSERT_EQ(os_make_directory(S(path("dir"))), 0);
    write("dir/one.txt", "1");
    write("dir/three.txt", "333");
    ASSERT_EQ(os_make_directory(S(path("dir/sub"))), 0);
    write("dir/sub/deeper.txt", "not listed");

    for (std::string folder : {path("dir"), path("dir/")}) {
        std::vector<ListedEntry> entries = list(folder);
        ASSERT_EQ(entries.size(), 3u) << folder;
        EXPECT_EQ(entries[0].name, "one.txt");
        EXPECT_EQ(entries[0].size, 1);
        EXPECT_FALSE(entries[0].is_directory);
        EXPECT_EQ(entries[1].name, "sub");
        EXPECT_EQ(entries[1].size, 0);
        EXPECT_TRUE(entries[1].is_directory);
        EXPECT_EQ(entries[2].name, "three.txt");
        EXPECT_EQ(entries[2].size, 3);
    }
    // The length counts, not a NUL: "dir/subXYZ" cut to "dir/sub".
    std::string longer = path("dir/subXYZ");
    std::vector<ListedEntry> sub = list(longer, (i64)longer.size() - 3);
    ASSERT_EQ(sub.size(), 1u);
    EXPECT_EQ(sub[0].name, "deeper.txt");

    EXPECT_TRUE(list(path("missing")).empty());
    EXPECT_TRUE(list("").empty());
    os_list_directory(S(path("dir")), nullptr); // no callback: nothing happens
}

TEST_F(Files, NonAsciiPathsRoundTrip) {
    const std::string folder = "\xC3\xA4";                  // ä
    const std::string name = "\xC3\xB6\xE2\x82\xAC.txt";   // ö€.txt
    ASSERT_EQ(os_make_directory(S(path(folder))), 0);
    write(folder + "/" + name, "umlaut");
    EXPECT_EQ(read(folder + "/" + name), "umlaut");
    EXPECT_TRUE(os_file_exists(S(path(folder + "/" + name))));
    std::vector<ListedEntry> entries = list(path(folder));
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, name); // the same UTF-8 bytes come back
    entries = list(root);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, folder);
#ifdef _WIN32
    // The UTF-16 form names the same file.
    std::wstring wide;
    for (char c : root) wide += (wchar_t)(unsigned char)c;
    wide += L"\u00e4\\\u00f6\u20ac.txt";
    HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    char buffer[16] = {};
    DWORD got = 0;
    ReadFile(file, buffer, sizeof buffer, &got, nullptr);
    CloseHandle(file);
    EXPECT_EQ(std::string(buffer, got), "umlaut");
#endif
}

TEST(Paths, ExecutableFolderNameAndJoin) {
    StrSlice folder = os_exe_folder();
    ASSERT_GT(folder.length, 1);
    EXPECT_EQ(folder.data[folder.length - 1], '/');
    EXPECT_EQ(folder.data[folder.length], 0);
    EXPECT_EQ(str(folder).find('\\'), std::string::npos);
    EXPECT_EQ(os_exe_folder().data, folder.data); // cached

    StrSlice name = os_exe_name();
#ifdef _WIN32
    EXPECT_EQ(str(name), "os_files.exe");
#else
    EXPECT_EQ(str(name), "os_files");
#endif
    EXPECT_EQ(os_exe_name().data, name.data);

    StrSlice parts[] = {name, {0, nullptr}};
    StrSlice self = os_exe_folder_join(parts);
    EXPECT_EQ(str(self), str(folder) + str(name));
    EXPECT_EQ(self.data[self.length], 0);
    EXPECT_TRUE(os_file_exists(self));
    os_free_string(&self);
    EXPECT_EQ(self.length, 0);
    EXPECT_EQ(self.data, nullptr);

    std::string a = "sub/", b = "file.txt";
    StrSlice two[] = {S(a), S(b), {0, nullptr}, S(a)}; // stops at the empty part
    StrSlice joined = os_exe_folder_join(two);
    EXPECT_EQ(str(joined), str(folder) + "sub/file.txt");
    os_free_string(&joined);

    StrSlice desktop = os_desktop_folder();
    ASSERT_GT(desktop.length, 0);
    EXPECT_NE(desktop.data[desktop.length - 1], '/');
    EXPECT_EQ(str(desktop).find('\\'), std::string::npos);
}

TEST_F(Files, MakeDirectoriesAndWhetherAFolderIsWritable) {
    EXPECT_EQ(os_make_directories(S(path("a/b/c/"))), 0);
    EXPECT_TRUE(std::filesystem::is_directory(path("a/b/c")));
    EXPECT_EQ(os_make_directories(S(path("a/b/c"))), 0); // exists: fine
    write("file", "x");
    EXPECT_EQ(os_make_directories(S(path("file/d"))), 1); // a file in the way
    EXPECT_EQ(os_make_directories(S(path("file"))), 1);   // or in its place
    EXPECT_EQ(os_make_directories(S("")), 1);

    EXPECT_TRUE(os_folder_writable(S(root)));
    EXPECT_TRUE(os_folder_writable(S(path("a/b/c")))); // with or without the "/"
    EXPECT_FALSE(os_folder_writable(S(path("missing/"))));
    EXPECT_FALSE(os_folder_writable(S(path("file"))));
    // The probe leaves nothing behind.
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(root)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"a", "file"}));
#ifndef _WIN32
    if (geteuid() != 0) { // root writes anywhere
        std::filesystem::permissions(path("a"), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
        EXPECT_FALSE(os_folder_writable(S(path("a"))));
        std::filesystem::permissions(path("a"), std::filesystem::perms::owner_all);
    }
#endif
}

#ifndef _WIN32
// Sets or (with null) clears an environment variable for one test, and
// restores it afterwards.
struct ScopedEnv {
    std::string name, old;
    bool had;
    ScopedEnv(const char *variable, const char *value) : name(variable) {
        const char *before = getenv(variable);
        had = before != nullptr;
        if (had) old = before;
        if (value) setenv(variable, value, 1);
        else unsetenv(variable);
    }
    ~ScopedEnv() {
        if (had) setenv(name.c_str(), old.c_str(), 1);
        else unsetenv(name.c_str());
    }
};
#endif

static std::string user_folder(u32 kind) {
    StrSlice folder = os_user_folder(kind, "Vornby");
    std::string text = folder.data ? str(folder) : "<none>";
    os_free_string(&folder);
    return text;
}

TEST_F(Files, TheUsersConfigurationStateAndVideosFolders) {
    EXPECT_EQ(user_folder(3), "<none>");
    EXPECT_EQ(os_user_folder(OS_USER_FOLDER_CONFIG, nullptr).data, nullptr);
#ifdef _WIN32
    // What Windows (and Wine) also put in the environment.
    auto env_folder = [](const char *name) {
        char value[MAX_PATH] = {};
        GetEnvironmentVariableA(name, value, sizeof value);
        std::string text = value;
        std::replace(text.begin(), text.end(), '\\', '/');
        return text + "/Vornby/";
    };
    EXPECT_EQ(user_folder(OS_USER_FOLDER_CONFIG), env_folder("APPDATA"));
    EXPECT_EQ(user_folder(OS_USER_FOLDER_STATE), env_folder("LOCALAPPDATA"));
    std::string videos = user_folder(OS_USER_FOLDER_VIDEOS);
    ASSERT_GT(videos.size(), 10u);
    EXPECT_EQ(videos.substr(1, 2), ":/");
    EXPECT_EQ(videos.substr(videos.size() - 8), "/Vornby/");
    EXPECT_EQ(videos.find('\\'), std::string::npos);
    EXPECT_NE(videos, user_folder(OS_USER_FOLDER_CONFIG));
#else
    std::string home = root + "home";
    ScopedEnv h("HOME", home.c_str()), c("XDG_CONFIG_HOME", nullptr), s("XDG_STATE_HOME", nullptr),
        v("XDG_VIDEOS_DIR", nullptr);
    EXPECT_EQ(user_folder(OS_USER_FOLDER_CONFIG), home + "/.config/vornby/");
    EXPECT_EQ(user_folder(OS_USER_FOLDER_STATE), home + "/.local/state/vornby/");
    EXPECT_EQ(user_folder(OS_USER_FOLDER_VIDEOS), home + "/Videos/Vornby/");

    // Videos as xdg-user-dirs records it, in the configuration folder in use.
    ASSERT_EQ(os_make_directories(S(path("home/.config"))), 0);
    ASSERT_EQ(os_make_directories(S(path("cfg"))), 0);
    write("home/.config/user-dirs.dirs", "# comment\nXDG_DESKTOP_DIR=\"$HOME/Desk\"\n  XDG_VIDEOS_DIR=\"$HOME/My Films\"\n");
    EXPECT_EQ(user_folder(OS_USER_FOLDER_VIDEOS), home + "/My Films/Vornby/");
    write("cfg/user-dirs.dirs", "XDG_VIDEOS_DIR=\"/srv/films/\"\n");
    {
        ScopedEnv config("XDG_CONFIG_HOME", (root + "cfg/").c_str());
        EXPECT_EQ(user_folder(OS_USER_FOLDER_CONFIG), root + "cfg/vornby/");
        EXPECT_EQ(user_folder(OS_USER_FOLDER_VIDEOS), "/srv/films/Vornby/");
    }
    // The variables win; relative ones are ignored, as the XDG rules say.
    ScopedEnv state("XDG_STATE_HOME", "relative/state"), videos("XDG_VIDEOS_DIR", "/media/clips");
    EXPECT_EQ(user_folder(OS_USER_FOLDER_STATE), home + "/.local/state/vornby/");
    EXPECT_EQ(user_folder(OS_USER_FOLDER_VIDEOS), "/media/clips/Vornby/");
#endif
}

TEST_F(Files, ExclusiveCreationNeverOpensWhatIsThere) {
    write("kept.txt", "precious");
    ASSERT_EQ(os_make_directory(S(path("folder"))), 0);
    for (const char *taken : {"kept.txt", "folder", "missing/new.txt"})
        EXPECT_EQ(os_create_file_exclusive(S(path(taken)), 3, "new"), 1) << taken;
#ifndef _WIN32
    // Planted links, one dangling: neither is followed.
    ASSERT_EQ(symlink(path("kept.txt").c_str(), path("link.txt").c_str()), 0);
    ASSERT_EQ(symlink(path("gone.txt").c_str(), path("dangling.txt").c_str()), 0);
    EXPECT_EQ(os_create_file_exclusive(S(path("link.txt")), 3, "new"), 1);
    EXPECT_EQ(os_create_file_exclusive(S(path("dangling.txt")), 3, "new"), 1);
    EXPECT_FALSE(os_path_exists(S(path("gone.txt"))));
#endif
    EXPECT_EQ(read("kept.txt"), "precious");
    EXPECT_EQ(os_create_file_exclusive(S(path("new.txt")), 3, "new"), 0);
    EXPECT_EQ(read("new.txt"), "new");
}

TEST_F(Files, PathRootsAreNeverCreated) {
    struct { const char *path; bool windows; i64 root; } cases[] = {
        {"/a/b", false, 1}, {"a/b", false, 0}, {"\\\\s\\share\\a", false, 0}, {"C:/a", true, 3}, {"c:", true, 2},
        {"C:a", true, 2}, {"\\a", true, 1}, {"rel/a", true, 0}, {"//server/share/a/b", true, 15},
        {"\\\\server\\share", true, 14}, {"\\\\?\\C:\\a", true, 7}, {"//?/UNC/srv/share/a", true, 18},
        {"\\\\.\\pipe\\x", true, 9}, {"\\\\?\\Volume{1}\\a", true, 14},
    };
    for (const auto &c : cases) EXPECT_EQ(os_path_root_length(S(c.path), c.windows), c.root) << c.path;
#ifdef _WIN32
    // The extended-length form of the scratch folder, "\\?\Z:\...\x\y".
    std::string extended = "\\\\?\\" + root + "x/y";
    std::replace(extended.begin(), extended.end(), '/', '\\');
    EXPECT_EQ(os_make_directories(S(extended)), 0);
    EXPECT_TRUE(std::filesystem::is_directory(path("x/y")));
#endif
}

#ifndef _WIN32
TEST(UserFolders, NoHomeGivesNoFolderNeverOneAtTheRoot) {
    // A user without a password entry, whom containers give HOME=/ or no
    // HOME at all; only root can become one.
    if (geteuid() != 0) GTEST_SKIP() << "needs root";
    uid_t nobody = 54321;
    for (; getpwuid(nobody); nobody++) {}
    pid_t child = fork();
    if (child == 0) {
        int found = setuid(nobody) == 0 ? 0 : 100;
        for (const char *home : {"/", (const char *)nullptr}) {
            if (home) setenv("HOME", home, 1);
            else unsetenv("HOME");
            for (u32 kind = OS_USER_FOLDER_CONFIG; kind <= OS_USER_FOLDER_VIDEOS; kind++)
                found += os_user_folder(kind, "Vornby").data != nullptr;
        }
        _exit(found);
    }
    int status = -1;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_EQ(status, 0) << "folders found: " << WEXITSTATUS(status);
}
#endif
