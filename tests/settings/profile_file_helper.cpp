// Writes settings files in a process of its own for test_profile_file: as
// another user, on a tiny disk, or in a loop until it is killed. Small and
// free of Qt so that starting it hundreds of times stays cheap.
//
//   profile_file_helper write PATH SECTION KEY VALUE   prints "OK uid=N" or "REFUSED <text>"
//   profile_file_helper write-loop PATH                 says "r", then rewrites one large value for ever,
//                                                       saying "w" after each write
//   profile_file_helper full-disk FOLDER                FOLDER is a small tmpfs of this process alone

#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <string_view>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include "profile_file.h"

using kelvora::ProfileFile;
using kelvora::SettingsWriteError;

namespace {

std::string fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::set<std::string> entriesOf(const std::string& folder) {
    std::set<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* e = ::readdir(dir)) {
            const std::string_view name = e->d_name;
            if (name != "." && name != "..") names.emplace(name);
        }
        ::closedir(dir);
    }
    return names;
}

int writeOnce(char** argv) {
    try {
        ProfileFile(argv[0]).writeString(argv[1], argv[2], argv[3]);
        std::printf("OK uid=%d\n", static_cast<int>(::getuid()));
    } catch (const SettingsWriteError& e) {
        std::printf("REFUSED %s\n", e.what());
    }
    return 0;
}

int writeLoop(char** argv) {
    // Never outlive the test, whatever happens to it.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    ::alarm(30);
    ProfileFile file(argv[0]);
    const std::string a(128 * 1024, 'a');
    const std::string b(128 * 1024, 'b');
    // Every write changes the file: start with the content it does not hold.
    bool nextA = file.readString("Data", "Big", "").substr(0, 1) != "a";
    if (::write(STDOUT_FILENO, "r", 1) != 1) return 2;
    for (;;) {
        try {
            file.writeString("Data", "Big", nextA ? a : b);
        } catch (const SettingsWriteError&) {
            return 3;
        }
        nextA = !nextA;
        if (::write(STDOUT_FILENO, "w", 1) != 1) return 2;
    }
}

int fail(const char* why) {
    std::printf("FAIL %s\n", why);
    return 1;
}

int fullDisk(char** argv) {
    const std::string folder = argv[0];
    const std::string path = folder + "/Kelvora.ini";
    ProfileFile file(path);
    file.writeString("General", "DEFAULT_STORE", "0001");
    const std::string before = fileBytes(path);
    if (before.empty()) return fail("no initial file");

    const std::string filler = folder + "/filler";
    const int fd = ::open(filler.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0) return fail("no filler");
    const std::string chunk(4096, 'x');
    while (::write(fd, chunk.data(), chunk.size()) > 0) {
    }
    ::close(fd);

    try {
        file.writeString("Kelvora", "URL", std::string(64 * 1024, 'u'));
        return fail("a write on a full disk reported success");
    } catch (const SettingsWriteError& e) {
        if (std::string(e.what()) != "Unable to write to " + path) return fail("wrong error text");
    }
    if (fileBytes(path) != before) return fail("the old file changed");
    if (entriesOf(folder) != std::set<std::string>{"Kelvora.ini", "filler"}) return fail("a temporary file was left behind");

    ::unlink(filler.c_str());
    file.writeString("Kelvora", "URL", "http://x/");
    if (file.readString("Kelvora", "URL", "") != "http://x/" || file.readString("General", "DEFAULT_STORE", "") != "0001")
        return fail("no write after space was freed");
    std::printf("FULL-DISK-OK\n");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string_view mode = argc >= 2 ? argv[1] : "";
    if (mode == "write" && argc == 6) return writeOnce(argv + 2);
    if (mode == "write-loop" && argc == 3) return writeLoop(argv + 2);
    if (mode == "full-disk" && argc == 3) return fullDisk(argv + 2);
    std::fprintf(stderr, "usage: profile_file_helper write|write-loop|full-disk ...\n");
    return 64;
}
