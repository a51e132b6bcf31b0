// Downloads the whole log of a seeded emulator through libfkattend.so, over loopback TCP and then
// UDP, and prints the records per second of each.
//   bench_terminal_transfer [--records N]     (default 200000)
#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fkattend.h"

namespace {

std::string binFolder() {
    char path[4096];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return ".";
    std::string p(path, static_cast<std::size_t>(n));
    return p.substr(0, p.rfind('/'));
}

[[noreturn]] void die(const std::string& message) {
    std::fprintf(stderr, "bench_terminal_transfer: %s\n", message.c_str());
    std::exit(1);
}

// Starts a program; with `line` set, waits for its first output line and leaves it running.
pid_t spawn(const std::vector<std::string>& args, std::string* line) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) die("pipe");
    std::vector<char*> argv;
    std::vector<std::string> storage = args;
    for (auto& a : storage) argv.push_back(a.data());
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    if (line != nullptr) {
        char c;
        pollfd p{out[0], POLLIN, 0};
        while (::poll(&p, 1, 120'000) > 0 && ::read(out[0], &c, 1) == 1 && c != '\n') *line += c;
    }
    ::close(out[0]);
    return pid;
}

int waitFor(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int portOf(const std::string& line, const std::string& key) {
    const auto at = line.find(key + "=");
    if (at == std::string::npos) return 0;
    const auto end = line.find(' ', at);
    const std::string endpoint = line.substr(at, end - at);
    return std::atoi(endpoint.substr(endpoint.rfind(':') + 1).c_str());
}

void download(const char* name, int port, int udp, int expected) {
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    const std::int32_t h = FK_ConnectNet(1, "127.0.0.1", port, 5000, udp, 0);
    if (h <= 0) die(std::string(name) + ": connect failed");
    FK_EnableDevice(h, 0);
    std::int32_t total = 0;
    FK_GetDeviceStatus(h, 8, &total);
    const auto loadStart = Clock::now();
    if (FK_LoadGeneralLogData(h, 0) != FK_OK) die(std::string(name) + ": load failed");
    std::int32_t enroll = 0, mode = 0, value = 0;
    double time = 0;
    int count = 0;
    while (FK_GetGeneralLogData(h, &enroll, &mode, &value, &time) == FK_OK) ++count;
    const auto end = Clock::now();
    FK_EnableDevice(h, 1);
    FK_DisConnect(h);
    if (count != expected || total != expected)
        die(std::string(name) + ": got " + std::to_string(count) + " of " + std::to_string(expected) +
            " records");
    const double readSeconds = std::chrono::duration<double>(end - loadStart).count();
    const double allSeconds = std::chrono::duration<double>(end - start).count();
    std::printf("%s: %d records in %.3f s (%.3f s with connect and status), %.0f records/s\n", name, count,
                readSeconds, allSeconds, count / readSeconds);
}

}  // namespace

int main(int argc, char** argv) {
    int records = 200'000;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--records") == 0 && i + 1 < argc)
            records = std::atoi(argv[++i]);
        else
            die("usage: bench_terminal_transfer [--records N]");
    }
    char dir[] = "/tmp/orvelo-bench-XXXXXX";
    if (::mkdtemp(dir) == nullptr) die("mkdtemp");
    const std::string state = std::string(dir) + "/terminal.json";
    const std::string emulator = binFolder() + "/orvelo-terminal";
    if (waitFor(spawn({emulator, "seed", "--users", "500", "--enrollments", "1", "--logs",
                       std::to_string(records), "--out", state},
                      nullptr)) != 0)
        die("seeding failed");
    std::string line;
    const pid_t pid =
        spawn({emulator, "--state", state, "--tcp", "127.0.0.1:0", "--udp", "127.0.0.1:0"}, &line);
    if (line.rfind("listening ", 0) != 0) die("the emulator did not start");
    std::printf("%s\n", line.c_str());
    download("tcp", portOf(line, "tcp"), 0, records);
    download("udp", portOf(line, "udp"), 1, records);
    ::kill(pid, SIGTERM);
    waitFor(pid);
    ::unlink(state.c_str());
    ::rmdir(dir);
    return 0;
}
