// Update server benchmark: how fast the tool's request routine downloads a
// 64 MiB package from the reference server on loopback, read the way the
// download worker reads it (a 7-byte header, then 1024 bytes at a time into one
// buffer), side by side with curl fetching the same URL in the same run, and how
// much memory the download takes beyond the package itself.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "common/Text.h"
#include "refserver/PackageBuilder.h"
#include "refserver/ReferenceServer.h"
#include "server/Answers.h"
#include "server/ServerRequest.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kPackageBytes = 64u << 20;
constexpr int kRounds = 5;

// A content directory of its own with one large course data package.
fs::path MakeContent() {
    char pattern[] = "/tmp/teelink-bench-server-XXXXXX";
    const fs::path dir = ::mkdtemp(pattern);
    std::ofstream(dir / "versions.txt") << "tool 1.0.0.3\nR7 1.05\nR8 1.05\nKS2 1.05\n";
    std::ofstream(dir / "areas.tsv") << "BEN\tbench\tbench\tbench\tbench\tbench\n";
    // Random bytes do not shrink, so the archive is as large as its payload.
    std::vector<uint8_t> payload(kPackageBytes - 4096);
    std::mt19937_64 random(42);
    for (size_t i = 0; i + 8 <= payload.size(); i += 8) {
        const uint64_t v = random();
        std::copy_n(reinterpret_cast<const uint8_t*>(&v), 8, payload.begin() + i);
    }
    const std::vector<uint8_t> archive =
        BuildPackage({{"course-data.bin", MakeEntry(0x281000, payload), false}});
    if (archive.empty()) {
        std::fprintf(stderr, "cannot build the package\n");
        std::exit(1);
    }
    fs::create_directories(dir / "course" / "R7");
    std::ofstream(dir / "course" / "R7" / "BEN.zip", std::ios::binary)
        .write(reinterpret_cast<const char*>(archive.data()),
               static_cast<std::streamsize>(archive.size()));
    return dir;
}

// The server in a process of its own, so that its memory and threads stay out
// of what is measured here. It runs until its stop pipe closes.
struct CServerChild {
    pid_t pid = -1;
    int port = 0;
    int stopWrite = -1;

    explicit CServerChild(const fs::path& content) {
        int portPipe[2];
        int stopPipe[2];
        if (::pipe(portPipe) != 0 || ::pipe(stopPipe) != 0) {
            std::perror("pipe");
            std::exit(1);
        }
        pid = ::fork();
        if (pid == 0) {
            ::close(portPipe[0]);
            ::close(stopPipe[1]);
            auto loaded = std::make_shared<CServerContent>();
            std::string error;
            CReferenceServer server(loaded);
            int chosen = 0;
            if (loaded->Load(content, error) && server.Start(0, error)) {
                chosen = server.Port();
            } else {
                std::fprintf(stderr, "server: %s\n", error.c_str());
            }
            (void)!::write(portPipe[1], &chosen, sizeof chosen);
            char byte;
            (void)!::read(stopPipe[0], &byte, 1);  // returns when the parent closes it
            server.Stop();
            ::_exit(0);
        }
        ::close(portPipe[1]);
        ::close(stopPipe[0]);
        stopWrite = stopPipe[1];
        if (::read(portPipe[0], &port, sizeof port) != sizeof port || port == 0) {
            std::fprintf(stderr, "the server did not start\n");
            std::exit(1);
        }
        ::close(portPipe[0]);
    }
    ~CServerChild() {
        ::close(stopWrite);
        int status = 0;
        ::waitpid(pid, &status, 0);
    }
};

long StatusKiB(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(status, line)) {
        if (line.rfind(prefix, 0) == 0) {
            // "VmHWM:    1234 kB"
            std::string_view value = std::string_view(line).substr(prefix.size());
            value.remove_prefix(std::min(value.find_first_not_of(" \t"), value.size()));
            value = value.substr(0, value.find_first_not_of("0123456789"));
            return teelink::ParseNumber<long>(value, 0, LONG_MAX).value_or(0);
        }
    }
    return -1;
}

// Resets the peak resident size, so that the next peak is this download's.
bool ResetPeak() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}

struct CDownload {
    double seconds = 0;
    size_t bytes = 0;
    long peakGrowthKiB = -1;
};

// The download worker's reads: the header, then 1024 bytes at a time into a
// buffer of S + 1024 bytes until a short read.
CDownload DownloadWithRequestRoutine(const std::string& url) {
    const bool peakReset = ResetPeak();
    const long before = StatusKiB("VmRSS");
    CDownload result;
    const auto start = Clock::now();
    {
        CServerRequest request;
        uint8_t header[PACKAGE_HEADER_SIZE] = {};
        if (!request.Open(url) || request.Read(header, sizeof header) != sizeof header) {
            std::fprintf(stderr, "download failed\n");
            std::exit(1);
        }
        const auto size = ParsePackageHeader(header);
        if (!size) {
            std::fprintf(stderr, "no package header\n");
            std::exit(1);
        }
        std::vector<uint8_t> package(static_cast<size_t>(*size) + 1024);
        size_t total = 0;
        for (;;) {
            const size_t want = std::min<size_t>(1024, package.size() - total);
            const size_t n = request.Read(package.data() + total, want);
            total += n;
            if (n < 1024) {
                break;
            }
        }
        if (total != *size && total != *size + 1) {
            std::fprintf(stderr, "read %zu of %u bytes\n", total, *size);
            std::exit(1);
        }
        result.bytes = total + sizeof header;
        result.seconds = std::chrono::duration<double>(Clock::now() - start).count();
        if (peakReset) {
            result.peakGrowthKiB = StatusKiB("VmHWM") - before;
        }
    }
    return result;
}

// `curl -s -o /dev/null URL`, timed from start to exit.
double DownloadWithCurl(const std::string& url) {
    std::vector<std::string> args = {"curl", "-s", "-o", "/dev/null", url};
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    const auto start = Clock::now();
    pid_t pid = -1;
    if (posix_spawnp(&pid, "curl", nullptr, nullptr, argv.data(), environ) != 0) {
        return -1;
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        return -1;
    }
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main() {
    const fs::path content = MakeContent();
    double clientBest = 1e9;
    double curlBest = 1e9;
    std::vector<double> clientTimes;
    std::vector<double> curlTimes;
    std::vector<double> peaks;
    size_t bytes = 0;
    {
        CServerChild server(content);
        const std::string url = "http://127.0.0.1:" + std::to_string(server.port) +
                                "/r7r8/index.php?md=4&pd=R7&ga=BEN&udate=170315";
        const bool haveCurl = DownloadWithCurl(url) > 0;  // also warms the page cache
        if (!haveCurl) {
            std::printf("curl is not installed: only the request routine is measured\n");
        }
        // Alternate the two so that both see the same machine load.
        for (int round = 0; round < kRounds; ++round) {
            const CDownload d = DownloadWithRequestRoutine(url);
            bytes = d.bytes;
            clientTimes.push_back(d.seconds);
            clientBest = std::min(clientBest, d.seconds);
            peaks.push_back(static_cast<double>(d.peakGrowthKiB));
            if (haveCurl) {
                const double c = DownloadWithCurl(url);
                curlTimes.push_back(c);
                curlBest = std::min(curlBest, c);
            }
        }
    }
    fs::remove_all(content);

    const double mib = static_cast<double>(bytes) / (1 << 20);
    std::printf("package download of %.1f MiB from the reference server on loopback, %d rounds\n",
                mib, kRounds);
    std::printf("  request routine (1024-byte reads): median %7.1f MiB/s, best %7.1f MiB/s\n",
                mib / Median(clientTimes), mib / clientBest);
    if (!curlTimes.empty()) {
        std::printf("  curl -s -o /dev/null:             median %7.1f MiB/s, best %7.1f MiB/s\n",
                    mib / Median(curlTimes), mib / curlBest);
        std::printf("  ratio request routine / curl (throughput): median %.2f, best %.2f\n",
                    Median(curlTimes) / Median(clientTimes), curlBest / clientBest);
    }
    if (peaks.front() >= 0) {
        // The first download also pays for the HTTP library's one-time set-up.
        std::vector<double> later(peaks.begin() + 1, peaks.end());
        const double first = peaks.front() / 1024.0;
        const double median = Median(later) / 1024.0;
        std::printf(
            "  peak memory growth of a download: first %.1f MiB, later median %.1f MiB "
            "(package %.1f MiB + %.2f MiB)\n",
            first, median, mib, median - mib);
    } else {
        std::printf("  peak memory growth: not measurable (/proc/self/clear_refs not writable)\n");
    }
    return 0;
}
