// The price-file writer: the price records of one conversion appended to the security's F<n>.DAT,
// held open and written in blocks, each record holding the fields switched on in canonical order.
#pragma once

#include <memory>
#include <string>

#include "engine/InputParser.h"
#include "msdb/FileSystem.h"
#include "msdb/SecurityFiles.h"

namespace engine {

class PriceFileWriter {
public:
    // Writes to the existing file `path`, which holds its header record of `fieldsOn` fields.
    PriceFileWriter(msdb::FileSystem& fs, std::string path, const PerField<bool>& fieldsOn);

    const std::string& path() const { return path_; }

    // Adds one record behind those before it; the file is opened by the first call.
    [[nodiscard]] msdb::Status Append(const PriceRecord& record);

    // Writes the records still held back and closes the file.
    [[nodiscard]] msdb::Status Finish();

    // Cuts the file back to its header record, so that a header that counts no price record tells
    // the truth after a failed append; records held back are dropped.
    [[nodiscard]] msdb::Status ResetToHeader();

private:
    msdb::FileSystem& fs_;
    std::string path_;
    PerField<bool> fieldsOn_;
    std::size_t recordLength_;
    std::unique_ptr<msdb::WritableFile> file_;
    std::string pending_;  // records not yet written
};

}  // namespace engine
