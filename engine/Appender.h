// Inside the job: F<n>.DAT held open for all the appends of one run.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine/ConversionJob.h"
#include "msdb/FileSystem.h"

namespace engine {

class CConversionJob::Appender {
public:
    std::uint8_t fileNumber = 0;
    std::unique_ptr<msdb::WritableFile> file;
    std::string pending;  // records not yet written
};

}  // namespace engine
