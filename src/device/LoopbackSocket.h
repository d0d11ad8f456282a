#pragma once

// Loopback sockets the same way on every system: the emulator bus's TCP
// transport and the emulator's own wake-up use them. Every socket made here is
// non-blocking; a call that would block fails with WouldBlock() true.

#include <cstddef>
#include <cstdint>
#include <string>

namespace teelink {

namespace loopback {

#ifdef _WIN32
using Socket = uintptr_t;  // SOCKET
#else
using Socket = int;
#endif
inline constexpr Socket kNoSocket = static_cast<Socket>(-1);

// Events of Poll, the same on every system.
inline constexpr short kReadable = 1;
inline constexpr short kWritable = 2;
inline constexpr short kHangUp = 4;  // hung up or failed: the next transfer tells which

struct PollEntry {
    Socket socket = kNoSocket;
    short events = 0;
    short revents = 0;
};

// Makes sockets usable (Winsock's start-up, once); false when they cannot be.
bool Ready();
void Close(Socket& socket);  // and sets it to kNoSocket
// Closes a TCP connection at once with a reset, as a device that is pulled
// out: the peer's next send fails, while what it had received stays readable.
void Abort(Socket& socket);

// Bytes moved, 0 when the peer has closed (Receive), or -1 on failure.
long Send(Socket socket, const void* data, size_t size);
long Receive(Socket socket, void* data, size_t size);
// The last failure was only a call that would block or a signal: try again.
bool WouldBlock();
std::string LastErrorText();

// How moving a whole piece of a stream ended.
enum class Moved { All, PeerClosed, Failed, GaveUp };

// Moves bytes [done, size) of a stream, trying each call at once and asking
// `wait()` (false: give up) only when the socket would block. `done` counts
// what has moved, also when the piece is left unfinished.
template <typename Wait>
Moved ReceiveAll(Socket socket, uint8_t* data, size_t size, size_t& done, Wait&& wait) {
    while (done < size) {
        const long got = Receive(socket, data + done, size - done);
        if (got > 0) {
            done += static_cast<size_t>(got);
        } else if (got == 0) {
            return Moved::PeerClosed;
        } else if (!WouldBlock()) {
            return Moved::Failed;
        } else if (!wait()) {
            return Moved::GaveUp;
        }
    }
    return Moved::All;
}

template <typename Wait>
Moved SendAll(Socket socket, const uint8_t* data, size_t size, size_t& done, Wait&& wait) {
    while (done < size) {
        const long sent = Send(socket, data + done, size - done);
        if (sent > 0) {
            done += static_cast<size_t>(sent);
        } else if (sent == 0 || !WouldBlock()) {
            return Moved::Failed;
        } else if (!wait()) {
            return Moved::GaveUp;
        }
    }
    return Moved::All;
}

// Ready entries, 0 when timeoutMs (-1: no limit) passed, -1 on failure.
// A signal counts as a time-out of this call.
int Poll(PollEntry* entries, size_t count, int timeoutMs);

// A TCP listener on 127.0.0.1 at a port the system picks; receiveBuffer > 0
// sets the accepted connections' receive buffer.
Socket Listen(uint16_t& port, int receiveBuffer, std::string& error);
Socket Accept(Socket listener);
// A TCP connection to 127.0.0.1:port with Nagle's delay off; sendBuffer > 0
// sets its send buffer.
Socket Connect(uint16_t port, int sendBuffer);

// Two ends of a loopback datagram pair: one byte sent on `notify` makes `wait`
// readable. A thread waiting in Poll is woken this way on every system.
bool MakeWakePair(Socket& wait, Socket& notify);
void Drain(Socket wait);

}  // namespace loopback

}  // namespace teelink
