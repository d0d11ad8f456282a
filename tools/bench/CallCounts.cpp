#include "bench/CallCounts.h"

#include <dlfcn.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <new>

namespace teelink::bench {

namespace {

thread_local uint64_t t_systemCalls = 0;
thread_local uint64_t t_allocations = 0;

// libc's own function of that name, looked up once.
template <typename Fn>
Fn Real(const char* name) {
    void* found = dlsym(RTLD_NEXT, name);
    if (found == nullptr) {
        std::abort();
    }
    return reinterpret_cast<Fn>(found);
}

void* Allocate(std::size_t size) {
    ++t_allocations;
    if (void* memory = std::malloc(size == 0 ? 1 : size)) {
        return memory;
    }
    throw std::bad_alloc();
}

}  // namespace

CCallCounts ThreadCallCounts() {
    return {t_systemCalls, t_allocations};
}

}  // namespace teelink::bench

using teelink::bench::t_systemCalls;

// Defined in the program, these take the calls of the libraries linked into it
// (the tool's transport, the bare client) ahead of libc, count them and pass
// them on.
extern "C" {

ssize_t send(int fd, const void* data, size_t size, int flags) {
    static const auto real =
        teelink::bench::Real<ssize_t (*)(int, const void*, size_t, int)>("send");
    ++t_systemCalls;
    return real(fd, data, size, flags);
}

ssize_t recv(int fd, void* data, size_t size, int flags) {
    static const auto real = teelink::bench::Real<ssize_t (*)(int, void*, size_t, int)>("recv");
    ++t_systemCalls;
    return real(fd, data, size, flags);
}

ssize_t sendmsg(int fd, const msghdr* message, int flags) {
    static const auto real = teelink::bench::Real<ssize_t (*)(int, const msghdr*, int)>("sendmsg");
    ++t_systemCalls;
    return real(fd, message, flags);
}

ssize_t recvmsg(int fd, msghdr* message, int flags) {
    static const auto real = teelink::bench::Real<ssize_t (*)(int, msghdr*, int)>("recvmsg");
    ++t_systemCalls;
    return real(fd, message, flags);
}

ssize_t read(int fd, void* data, size_t size) {
    static const auto real = teelink::bench::Real<ssize_t (*)(int, void*, size_t)>("read");
    ++t_systemCalls;
    return real(fd, data, size);
}

ssize_t write(int fd, const void* data, size_t size) {
    static const auto real = teelink::bench::Real<ssize_t (*)(int, const void*, size_t)>("write");
    ++t_systemCalls;
    return real(fd, data, size);
}

int poll(pollfd* entries, nfds_t count, int timeoutMs) {
    static const auto real = teelink::bench::Real<int (*)(pollfd*, nfds_t, int)>("poll");
    ++t_systemCalls;
    return real(entries, count, timeoutMs);
}

}  // extern "C"

void* operator new(std::size_t size) {
    return teelink::bench::Allocate(size);
}

void* operator new[](std::size_t size) {
    return teelink::bench::Allocate(size);
}

void operator delete(void* memory) noexcept {
    std::free(memory);
}

void operator delete[](void* memory) noexcept {
    std::free(memory);
}

void operator delete(void* memory, std::size_t) noexcept {
    std::free(memory);
}

void operator delete[](void* memory, std::size_t) noexcept {
    std::free(memory);
}
