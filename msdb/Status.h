// The outcome of one file-system or format operation: success, or a message that names the file
// and the reason, ready to be shown to the user.
#pragma once

#include <string>
#include <utility>

namespace msdb {

class [[nodiscard]] Status {
public:
    Status() = default;  // success

    static Status Ok() { return Status(); }
    static Status Error(std::string message) { return Status(std::move(message), false); }

    bool ok() const { return m_ok; }
    const std::string& message() const { return m_message; }

private:
    Status(std::string message, bool ok) : m_message(std::move(message)), m_ok(ok) {}

    std::string m_message;
    bool m_ok = true;
};

}  // namespace msdb
