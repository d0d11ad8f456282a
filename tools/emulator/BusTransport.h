#pragma once

// The emulator bus's two transports (internal to emulator/): a file in the bus
// directory that the tool finds, and a listener that takes one connection at a
// time (device/EmulatorBus.h describes both kinds).

#include "emulator/EmulatorTransport.h"

namespace teelink {

class CBusTransport : public CEmulatorTransport {
public:
    explicit CBusTransport(emubus::Kind kind) : m_kind(kind) {}
    ~CBusTransport() override { Withdraw(); }
    CBusTransport(const CBusTransport&) = delete;
    CBusTransport& operator=(const CBusTransport&) = delete;

    bool Open(const CEmulatorConfig& config, std::string& error) override;
    void Withdraw() override;
    const std::string& Where() const override { return m_path; }
    std::string DevicePath() const override;
    std::unique_ptr<CEmulatorLink> Accept() override;
    loopback::Socket Listener() const override { return m_listener; }
    bool Reachable() const override { return m_listener != loopback::kNoSocket; }

protected:
    // Makes the bus file at Where() with a listener behind it; kNoSocket with
    // the reason in `error`.
    virtual loopback::Socket Listen(std::string& error) = 0;
    virtual std::unique_ptr<CEmulatorLink> MakeLink(loopback::Socket connection) = 0;

private:
    bool MakePath(const CEmulatorConfig& config, std::string& error);

    emubus::Kind m_kind;
    std::string m_path;
    loopback::Socket m_listener = loopback::kNoSocket;
};

// A .sock file: a listening sequenced-packet socket, every report one message.
class CSocketTransport : public CBusTransport {
public:
    CSocketTransport() : CBusTransport(emubus::Kind::Socket) {}

protected:
    loopback::Socket Listen(std::string& error) override;
    std::unique_ptr<CEmulatorLink> MakeLink(loopback::Socket connection) override;
};

// A .tcp file announcing a listener on 127.0.0.1 and a token: a connection
// first sends the token, then reports as frames of REPORT_SIZE bytes.
class CTcpTransport : public CBusTransport {
public:
    CTcpTransport() : CBusTransport(emubus::Kind::Tcp) {}

protected:
    loopback::Socket Listen(std::string& error) override;
    std::unique_ptr<CEmulatorLink> MakeLink(loopback::Socket connection) override;

private:
    std::string m_token;  // what a connection sends first
};

}  // namespace teelink
