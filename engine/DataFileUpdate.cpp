// The writes that fill and finish the new security's files: price records appended to F<n>.DAT,
// then the first and last dates into MASTER and the record count into the F<n>.DAT header.
#include "engine/Appender.h"
#include "engine/ConversionJob.h"
#include "msdb/Master.h"

namespace engine {
namespace {

constexpr std::size_t kAppendBufferSize = 64 * 1024;

}  // namespace

int CConversionJob::AppendRecord(std::uint8_t fileNumber) {
    if (m_appender && m_appender->fileNumber != fileNumber && FinishAppends() != 0) {
        return 1;
    }
    if (!m_appender) {
        auto appender = std::make_unique<Appender>();
        appender->fileNumber = fileNumber;
        msdb::Status s =
            m_fs->OpenForAppend(PathInDirectory(msdb::DatFileName(fileNumber)), &appender->file);
        if (!s.ok()) {
            Tell("The price records could not be written.\n" + s.message());
            return 1;
        }
        m_appender = std::move(appender);
    }
    for (int i = 0; i < kPriceFieldCount; ++i) {
        if (m_bFieldOn[i] != 0) {
            m_appender->pending.append(reinterpret_cast<const char*>(m_values[i].data()), 4);
        }
    }
    if (m_appender->pending.size() >= kAppendBufferSize) {
        msdb::Status s = m_appender->file->Append(m_appender->pending);
        m_appender->pending.clear();
        if (!s.ok()) {
            m_appender.reset();
            Tell("The price records could not be written.\n" + s.message());
            return 1;
        }
    }
    return 0;
}

// Writes the records still pending and closes F<n>.DAT.
int CConversionJob::FinishAppends() {
    if (!m_appender) {
        return 0;
    }
    std::unique_ptr<Appender> appender = std::move(m_appender);
    msdb::Status s = appender->file->Append(appender->pending);
    msdb::Status closed = appender->file->Close();
    if (s.ok()) {
        s = closed;
    }
    if (!s.ok()) {
        Tell("The price records could not be written.\n" + s.message());
        return 1;
    }
    return 0;
}

// Cuts F<n>.DAT back to its header record after a failed append, so that the header, which still
// counts no price record, tells the truth.
int CConversionJob::ResetPriceFile(std::uint8_t fileNumber) {
    m_appender.reset();
    msdb::Status s = m_fs->Truncate(PathInDirectory(msdb::DatFileName(fileNumber)),
                                    4 * static_cast<std::uint64_t>(m_nFieldCount));
    if (!s.ok()) {
        Tell(s.message());
        return 1;
    }
    return 0;
}

int CConversionJob::UpdateMasterDates(const msdb::MbfBytes& firstDate,
                                      const msdb::MbfBytes& lastDate, std::uint8_t fileNumber) {
    std::string master;
    if (ReadMaster(&master, static_cast<std::size_t>(-1)) != 0) {
        return 1;
    }
    master.resize(master.size() / msdb::kMasterRecordSize * msdb::kMasterRecordSize);
    for (std::size_t at = msdb::kMasterRecordSize; at < master.size();
         at += msdb::kMasterRecordSize) {
        if (static_cast<std::uint8_t>(master[at]) == fileNumber) {
            std::copy(firstDate.begin(), firstDate.end(),
                      master.begin() + static_cast<std::ptrdiff_t>(at + msdb::kFirstDateOffset));
            std::copy(lastDate.begin(), lastDate.end(),
                      master.begin() + static_cast<std::ptrdiff_t>(at + msdb::kLastDateOffset));
        }
    }
    msdb::Status s = msdb::ReplaceFile(*m_fs, m_szMasterPath, m_szMasterPath + ".NEW", master);
    if (!s.ok()) {
        Tell("The dates of the security could not be written to the Master file.\n" + s.message());
        return 1;
    }
    return 0;
}

int CConversionJob::UpdateRecordCount(std::uint16_t recordCount, std::uint8_t fileNumber) {
    m_bCountWritten = false;
    const std::string path = PathInDirectory(msdb::DatFileName(fileNumber));
    const auto recordLength = static_cast<std::size_t>(4 * m_nFieldCount);
    std::unique_ptr<msdb::ReadableFile> source;
    msdb::Status s = m_fs->OpenForRead(path, &source);
    if (!s.ok()) {
        Tell(s.message());
        return 1;
    }
    std::string header(recordLength, '\0');
    std::size_t got = 0;
    s = source->Read(recordLength, header.data(), &got);
    if (!s.ok() || recordLength == 0 || got < recordLength) {
        Tell(s.ok()
                 ? "The price file " + path + " is damaged:\nit is shorter than its header record."
                 : s.message());
        return 1;
    }
    msdb::WriteLastRecordNumber(&header, static_cast<std::uint16_t>(recordCount + 1));
    // The records are copied a block of whole records at a time; a partial record at the end
    // is left out.
    auto copy = [&](msdb::WritableFile& target) {
        msdb::Status written = target.Append(header);
        std::string block(std::max<std::size_t>(1, 65536 / recordLength) * recordLength, '\0');
        while (written.ok()) {
            std::size_t read = 0;
            msdb::Status r = source->Read(block.size(), block.data(), &read);
            if (!r.ok()) {
                return r;
            }
            written =
                target.Append(std::string_view(block.data(), read / recordLength * recordLength));
            if (read < block.size()) {
                break;
            }
        }
        source.reset();  // closed before the rename, which some systems need
        return written;
    };
    s = msdb::ReplaceFileWith(*m_fs, path, PathInDirectory(msdb::DatTempFileName(fileNumber)), copy,
                              &m_bCountWritten);
    if (!s.ok()) {
        Tell("The record count could not be written to the price file.\n" + s.message());
        return 1;
    }
    return 0;
}

}  // namespace engine
