#include "engine/PriceFileWriter.h"

namespace engine {
namespace {

constexpr std::size_t kAppendBufferSize = 64 * 1024;

}  // namespace

PriceFileWriter::PriceFileWriter(msdb::FileSystem& fs, std::string path,
                                 const PerField<bool>& fieldsOn)
    : fs_(fs), path_(std::move(path)), fieldsOn_(fieldsOn), recordLength_(0) {
    for (bool on : fieldsOn_.values) {
        recordLength_ += on ? msdb::kFieldSize : 0;
    }
}

msdb::Status PriceFileWriter::Append(const PriceRecord& record) {
    if (!file_) {
        msdb::Status s = fs_.OpenForAppend(path_, &file_);
        if (!s.ok()) {
            return s;
        }
    }
    for (PriceField field : msdb::kPriceFields) {
        if (fieldsOn_[field]) {
            pending_.append(reinterpret_cast<const char*>(record.values[field].data()),
                            msdb::kFieldSize);
        }
    }
    if (pending_.size() < kAppendBufferSize) {
        return msdb::Status::Ok();
    }
    msdb::Status s = file_->Append(pending_);
    pending_.clear();
    if (!s.ok()) {
        file_.reset();
    }
    return s;
}

msdb::Status PriceFileWriter::Finish() {
    if (!file_) {
        return msdb::Status::Ok();
    }
    std::unique_ptr<msdb::WritableFile> file = std::move(file_);
    msdb::Status s = file->Append(pending_);
    pending_.clear();
    msdb::Status closed = file->Close();
    return s.ok() ? closed : s;
}

msdb::Status PriceFileWriter::ResetToHeader() {
    file_.reset();
    pending_.clear();
    return fs_.Truncate(path_, recordLength_);
}

}  // namespace engine
