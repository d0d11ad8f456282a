// Update server benchmark: how fast the tool's request routine downloads a
// 64 MiB package from the reference server on loopback, read the way the
// download worker reads it (a 7-byte header, then 1024 bytes at a time into one
// buffer), against a plain libcurl client built in here and, as a second
// reference, the curl program fetching the same URL in the same run; and how
// much memory the download takes beyond the package itself.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include <curl/curl.h>

#include "bench/ProcessMemory.h"
#include "common/ByteBuffer.h"
#include "common/Text.h"
#include "refserver/PackageBuilder.h"
#include "refserver/ReferenceServer.h"
#include "updateclient/Answers.h"
#include "updateclient/ServerRequest.h"

extern char** environ;

namespace teelink {

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

constexpr size_t kPackageBytes = 64u << 20;
constexpr int kRounds = 11;
// The request routine must keep up with the plain client at least this well.
constexpr double kDownloadGoal = 0.95;

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

struct CDownload {
    double seconds = 0;
    size_t bytes = 0;
    long peakGrowthKiB = -1;
};

// The download worker's reads: the header, then 1024 bytes at a time into a
// buffer of S + 1024 bytes until a short read.
CDownload DownloadWithRequestRoutine(const std::string& url) {
    const bool peakReset = bench::ResetPeakResident();
    const long before = bench::StatusKiB("VmRSS");
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
        // As the download worker does: S + 1024 bytes, not zero-filled.
        std::atomic<bool> stop{false};
        request.SetAbortFlag(&stop);
        teelink::CByteBuffer package(static_cast<size_t>(*size) + 1024);
        request.SetReadTarget(package.data(), package.size());
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
            result.peakGrowthKiB = bench::StatusKiB("VmHWM") - before;
        }
    }
    return result;
}

// The least a libcurl program can do: the easy interface, 256 KiB receive
// pieces, and a write callback that copies into a buffer of the body's size
// allocated, as the tool's is, without zero-filling and inside the timed part.
struct CPlainSink {
    uint8_t* data = nullptr;
    size_t capacity = 0;
    size_t used = 0;
};

size_t PlainWrite(char* data, size_t size, size_t count, void* user) {
    auto* sink = static_cast<CPlainSink*>(user);
    const size_t bytes = size * count;
    if (bytes > sink->capacity - sink->used) {
        return 0;  // more than announced: fail the transfer
    }
    std::memcpy(sink->data + sink->used, data, bytes);
    sink->used += bytes;
    return bytes;
}

double DownloadWithPlainClient(const std::string& url, size_t bodyBytes) {
    const auto start = Clock::now();
    teelink::CByteBuffer buffer(bodyBytes);
    CPlainSink sink{buffer.data(), buffer.size(), 0};
    CURL* easy = curl_easy_init();
    if (easy == nullptr) {
        std::fprintf(stderr, "curl_easy_init failed\n");
        std::exit(1);
    }
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, 256L * 1024);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &PlainWrite);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &sink);
    const CURLcode result = curl_easy_perform(easy);
    curl_easy_cleanup(easy);
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    if (result != CURLE_OK || sink.used != bodyBytes) {
        std::fprintf(stderr, "plain client: %s, %zu of %zu bytes\n", curl_easy_strerror(result),
                     sink.used, bodyBytes);
        std::exit(1);
    }
    return seconds;
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

namespace {

struct CRounds {
    std::vector<double> clientTimes;
    std::vector<double> plainTimes;
    std::vector<double> curlTimes;
    std::vector<double> peaks;
    // Each round's plain client time over its routine time: the two ran moments
    // apart, so a round's ratio is little moved by the machine's load drifting
    // between rounds, which moves the medians of the times themselves.
    std::vector<double> roundRatios;
    size_t bytes = 0;
};

CRounds MeasureRounds(const fs::path& content) {
    CRounds r;
    CServerChild server(content);
    const std::string url = "http://127.0.0.1:" + std::to_string(server.port) +
                            "/r7r8/index.php?md=4&pd=R7&ga=BEN&udate=170315";
    const bool haveCurl = DownloadWithCurl(url) > 0;  // also warms the page cache
    if (!haveCurl) {
        std::printf("curl is not installed: no curl program reference line\n");
    }
    // The body's size, which the plain client is given in advance.
    r.bytes = DownloadWithRequestRoutine(url).bytes;
    // Interleaved, and each round starts with the other client, so that all
    // see the same machine load and none is always first.
    for (int round = 0; round < kRounds; ++round) {
        for (int turn = 0; turn < 2; ++turn) {
            if ((round + turn) % 2 == 0) {
                const CDownload d = DownloadWithRequestRoutine(url);
                r.clientTimes.push_back(d.seconds);
                r.peaks.push_back(static_cast<double>(d.peakGrowthKiB));
            } else {
                r.plainTimes.push_back(DownloadWithPlainClient(url, r.bytes));
            }
        }
        r.roundRatios.push_back(r.plainTimes.back() / r.clientTimes.back());
        if (haveCurl) {
            r.curlTimes.push_back(DownloadWithCurl(url));
        }
    }
    return r;
}

void PrintRounds(const CRounds& r) {
    const double mib = static_cast<double>(r.bytes) / (1 << 20);
    const auto best = [](const std::vector<double>& v) {
        return *std::min_element(v.begin(), v.end());
    };
    std::printf(
        "package download of %.1f MiB from the reference server on loopback, %d interleaved "
        "rounds\n",
        mib, kRounds);
    std::printf("  request routine (1024-byte reads): median %7.1f MiB/s, best %7.1f MiB/s\n",
                mib / Median(r.clientTimes), mib / best(r.clientTimes));
    std::printf("  plain libcurl client (easy):       median %7.1f MiB/s, best %7.1f MiB/s\n",
                mib / Median(r.plainTimes), mib / best(r.plainTimes));
    if (!r.curlTimes.empty()) {
        std::printf("  curl -s -o /dev/null (process):    median %7.1f MiB/s, best %7.1f MiB/s\n",
                    mib / Median(r.curlTimes), mib / best(r.curlTimes));
    }
    const double ratio = Median(r.roundRatios);
    std::printf(
        "  ratio request routine / plain libcurl client (throughput, median of rounds): %.3f"
        " (rounds %.3f to %.3f)   goal >= %.2f   %s\n",
        ratio, *std::min_element(r.roundRatios.begin(), r.roundRatios.end()),
        *std::max_element(r.roundRatios.begin(), r.roundRatios.end()), kDownloadGoal,
        ratio >= kDownloadGoal ? "met" : "NOT MET");
    if (!r.curlTimes.empty()) {
        std::printf(
            "  ratio request routine / curl program (throughput, medians): %.3f"
            "   reference, no goal\n",
            Median(r.curlTimes) / Median(r.clientTimes));
    }
    if (r.peaks.front() >= 0) {
        const double median = Median(r.peaks) / 1024.0;
        std::printf(
            "  peak memory growth of a download: median %.1f MiB "
            "(package %.1f MiB + %.2f MiB)\n",
            median, mib, median - mib);
    } else {
        std::printf("  peak memory growth: not measurable (/proc/self/clear_refs not writable)\n");
    }
}

}  // namespace

int Main() {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    const fs::path content = MakeContent();
    const CRounds rounds = MeasureRounds(content);
    fs::remove_all(content);
    PrintRounds(rounds);
    curl_global_cleanup();
    return 0;
}

}  // namespace teelink

int main() {
    return teelink::Main();
}
