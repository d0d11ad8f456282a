#include "device/LoopbackSocket.h"

#include <cstring>

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace teelink {

namespace loopback {

namespace {

#ifdef _WIN32
int LastError() {
    return WSAGetLastError();
}
bool SetNonBlocking(Socket socket) {
    u_long on = 1;
    return ioctlsocket(socket, FIONBIO, &on) == 0;
}
constexpr int kSendFlags = 0;
#else
int LastError() {
    return errno;
}
bool SetNonBlocking(Socket socket) {
    const int flags = fcntl(socket, F_GETFL, 0);
    return flags >= 0 && fcntl(socket, F_SETFL, flags | O_NONBLOCK) == 0 &&
           fcntl(socket, F_SETFD, FD_CLOEXEC) == 0;
}
constexpr int kSendFlags = MSG_NOSIGNAL;
#endif

sockaddr_in LoopbackAddress(uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

void SetOption(Socket socket, int level, int name, int value) {
    setsockopt(socket, level, name, reinterpret_cast<const char*>(&value), sizeof value);
}

// A new socket of `type` bound to 127.0.0.1 at a port the system picks.
Socket Bound(int type, uint16_t& port) {
    if (!Ready()) {
        return kNoSocket;
    }
    Socket socket = ::socket(AF_INET, type, 0);
    if (socket == kNoSocket) {
        return kNoSocket;
    }
    sockaddr_in address = LoopbackAddress(0);
    socklen_t length = sizeof address;
    if (bind(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        Close(socket);
        return kNoSocket;
    }
    port = ntohs(address.sin_port);
    return socket;
}

}  // namespace

bool Ready() {
#ifdef _WIN32
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
#else
    return true;
#endif
}

void Close(Socket& socket) {
    if (socket == kNoSocket) {
        return;
    }
#ifdef _WIN32
    closesocket(socket);
#else
    close(socket);
#endif
    socket = kNoSocket;
}

void Abort(Socket& socket) {
    if (socket == kNoSocket) {
        return;
    }
    linger now{};
    now.l_onoff = 1;
    now.l_linger = 0;
    setsockopt(socket, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&now), sizeof now);
    Close(socket);
}

long Send(Socket socket, const void* data, size_t size) {
    return static_cast<long>(
        ::send(socket, static_cast<const char*>(data), static_cast<int>(size), kSendFlags));
}

long Receive(Socket socket, void* data, size_t size) {
    return static_cast<long>(::recv(socket, static_cast<char*>(data), static_cast<int>(size), 0));
}

bool WouldBlock() {
    const int error = LastError();
#ifdef _WIN32
    return error == WSAEWOULDBLOCK || error == WSAEINTR;
#else
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
#endif
}

std::string LastErrorText() {
#ifdef _WIN32
    return "socket error " + std::to_string(LastError());
#else
    return std::strerror(LastError());
#endif
}

int Poll(PollEntry* entries, size_t count, int timeoutMs) {
    constexpr size_t kMost = 4;
    if (count > kMost) {
        return -1;
    }
    pollfd fds[kMost];
    for (size_t i = 0; i < count; ++i) {
        fds[i].fd = entries[i].socket;
        fds[i].events = static_cast<short>(((entries[i].events & kReadable) ? POLLIN : 0) |
                                           ((entries[i].events & kWritable) ? POLLOUT : 0));
        fds[i].revents = 0;
    }
#ifdef _WIN32
    const int ready = WSAPoll(fds, static_cast<ULONG>(count), timeoutMs);
#else
    const int ready = ::poll(fds, count, timeoutMs);
    if (ready < 0 && errno == EINTR) {
        return 0;
    }
#endif
    for (size_t i = 0; i < count; ++i) {
        const short r = fds[i].revents;
        entries[i].revents =
            static_cast<short>(((r & POLLIN) ? kReadable : 0) | ((r & POLLOUT) ? kWritable : 0) |
                               ((r & (POLLHUP | POLLERR | POLLNVAL)) ? kHangUp : 0));
    }
    return ready;
}

Socket Listen(uint16_t& port, int receiveBuffer, std::string& error) {
    Socket socket = Bound(SOCK_STREAM, port);
    if (socket == kNoSocket) {
        error = "socket: " + LastErrorText();
        return kNoSocket;
    }
    if (receiveBuffer > 0) {
        SetOption(socket, SOL_SOCKET, SO_RCVBUF, receiveBuffer);
    }
    if (listen(socket, 8) != 0 || !SetNonBlocking(socket)) {
        error = "listen: " + LastErrorText();
        Close(socket);
    }
    return socket;
}

Socket Accept(Socket listener) {
    Socket socket = ::accept(listener, nullptr, nullptr);
    if (socket == kNoSocket) {
        return kNoSocket;
    }
    if (!SetNonBlocking(socket)) {
        Close(socket);
        return kNoSocket;
    }
    SetOption(socket, IPPROTO_TCP, TCP_NODELAY, 1);
    return socket;
}

Socket Connect(uint16_t port, int sendBuffer) {
    if (!Ready()) {
        return kNoSocket;
    }
    Socket socket = ::socket(AF_INET, SOCK_STREAM, 0);
    if (socket == kNoSocket) {
        return kNoSocket;
    }
    if (sendBuffer > 0) {
        SetOption(socket, SOL_SOCKET, SO_SNDBUF, sendBuffer);
    }
    // Loopback: the answer, a connection or a refusal, comes at once.
    const sockaddr_in address = LoopbackAddress(port);
    if (::connect(socket, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        !SetNonBlocking(socket)) {
        Close(socket);
        return kNoSocket;
    }
    SetOption(socket, IPPROTO_TCP, TCP_NODELAY, 1);
    return socket;
}

bool MakeWakePair(Socket& wait, Socket& notify) {
    uint16_t port = 0;
    wait = Bound(SOCK_DGRAM, port);
    notify = wait == kNoSocket ? kNoSocket : ::socket(AF_INET, SOCK_DGRAM, 0);
    const sockaddr_in address = LoopbackAddress(port);
    if (notify == kNoSocket || !SetNonBlocking(wait) || !SetNonBlocking(notify) ||
        ::connect(notify, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        Close(wait);
        Close(notify);
        return false;
    }
    return true;
}

void Drain(Socket wait) {
    char bytes[16];
    while (Receive(wait, bytes, sizeof bytes) > 0) {
    }
}

}  // namespace loopback

}  // namespace teelink
