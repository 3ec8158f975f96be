// The outcome of one file-system or format operation: success, or a code saying what kind of
// failure it was and a message that names the file and the reason, ready to be shown to the user.
#pragma once

#include <string>
#include <utility>

namespace msdb {

enum class StatusCode {
    kOk,
    kNotFound,  // the file or directory is not there
    kExists,    // a file that was to be made new is there already
    kBusy,      // another process holds what was asked for
    kDamaged,   // the file is there but its contents break its format
    kIoError,   // the operating system refused or failed the operation
    kNoSpace,   // the disk (or the user's quota) is full
};

class [[nodiscard]] Status {
public:
    Status() = default;  // success

    static Status Ok() { return Status(); }
    static Status NotFound(std::string message) {
        return Status(StatusCode::kNotFound, std::move(message));
    }
    static Status Exists(std::string message) {
        return Status(StatusCode::kExists, std::move(message));
    }
    static Status Busy(std::string message) {
        return Status(StatusCode::kBusy, std::move(message));
    }
    static Status Damaged(std::string message) {
        return Status(StatusCode::kDamaged, std::move(message));
    }
    static Status IoError(std::string message) {
        return Status(StatusCode::kIoError, std::move(message));
    }
    static Status NoSpace(std::string message) {
        return Status(StatusCode::kNoSpace, std::move(message));
    }

    bool ok() const { return code_ == StatusCode::kOk; }
    StatusCode code() const { return code_; }
    bool IsNotFound() const { return code_ == StatusCode::kNotFound; }
    bool IsExists() const { return code_ == StatusCode::kExists; }
    bool IsBusy() const { return code_ == StatusCode::kBusy; }
    bool IsDamaged() const { return code_ == StatusCode::kDamaged; }
    const std::string& message() const { return message_; }

private:
    Status(StatusCode code, std::string message) : code_(code), message_(std::move(message)) {}

    StatusCode code_ = StatusCode::kOk;
    std::string message_;
};

}  // namespace msdb
