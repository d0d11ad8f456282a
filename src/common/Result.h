#pragma once

// The one way a failure travels: from the operation that meets it, up through
// every level that adds its own text, to the top of its job, which shows the
// texts and reports the end. Nothing below the top shows anything.

#include <string>
#include <utility>
#include <variant>
#include <vector>

namespace teelink {

// Why an operation did not complete.
enum class FailureKind {
    Error,      // something went wrong; the texts say what
    Cancelled,  // the user asked to stop (Cancel, Ctrl-C)
    Stopped,    // the owner is going away: nothing is shown, nothing reported
};

// A failure on its way up: its kind, the code of the layer that met it (a
// device operation's -1 to -6, a start-up request's -1 to -3; 0 where the
// layer has none) and the texts the user is shown for it, in the order they
// are shown: the innermost first, then the one each level above adds.
class CFailure {
public:
    explicit CFailure(std::string text, int code = 0) : m_code(code) {
        if (!text.empty()) {
            m_texts.push_back(std::move(text));
        }
    }
    static CFailure Cancelled() { return CFailure(FailureKind::Cancelled); }
    static CFailure Stopped() { return CFailure(FailureKind::Stopped); }

    // The level above adds its own text, shown after the ones already held.
    CFailure& Then(std::string text) & {
        m_texts.push_back(std::move(text));
        return *this;
    }
    CFailure&& Then(std::string text) && { return std::move(Then(std::move(text))); }

    // A technical cause beside the texts, for the command line and logs; never
    // shown in a box (a refused connection, an HTTP status).
    CFailure& WithDetail(std::string detail) & {
        m_detail = std::move(detail);
        return *this;
    }
    CFailure&& WithDetail(std::string detail) && {
        return std::move(WithDetail(std::move(detail)));
    }
    const std::string& Detail() const { return m_detail; }

    FailureKind Kind() const { return m_kind; }
    bool IsError() const { return m_kind == FailureKind::Error; }
    int Code() const { return m_code; }
    const std::vector<std::string>& Texts() const { return m_texts; }

private:
    explicit CFailure(FailureKind kind) : m_kind(kind) {}

    FailureKind m_kind = FailureKind::Error;
    int m_code = 0;
    std::vector<std::string> m_texts;
    std::string m_detail;
};

// What an operation gives back: its value, or the failure that stopped it.
template <typename T>
class [[nodiscard]] Result {
public:
    Result(T value) : m_state(std::move(value)) {}             // NOLINT: implicit by design
    Result(CFailure failure) : m_state(std::move(failure)) {}  // NOLINT

    bool Ok() const { return m_state.index() == 0; }
    explicit operator bool() const { return Ok(); }
    // 0 on success, otherwise the failure's code.
    int Code() const { return Ok() ? 0 : Failure().Code(); }

    T& Value() { return std::get<0>(m_state); }
    const T& Value() const { return std::get<0>(m_state); }
    const T* operator->() const { return &Value(); }
    T* operator->() { return &Value(); }

    const CFailure& Failure() const { return std::get<1>(m_state); }
    CFailure&& TakeFailure() { return std::move(std::get<1>(m_state)); }

private:
    std::variant<T, CFailure> m_state;
};

// An operation without a value: success, or the failure.
template <>
class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(CFailure failure) : m_failure(std::move(failure)), m_failed(true) {}  // NOLINT

    bool Ok() const { return !m_failed; }
    explicit operator bool() const { return Ok(); }
    int Code() const { return Ok() ? 0 : m_failure.Code(); }

    const CFailure& Failure() const { return m_failure; }
    CFailure&& TakeFailure() { return std::move(m_failure); }

private:
    CFailure m_failure{""};
    bool m_failed = false;
};

using Status = Result<void>;

inline Status Success() {
    return {};
}

}  // namespace teelink
