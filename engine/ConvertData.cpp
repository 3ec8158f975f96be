// The last step of a run: the input converted into price records appended to F<n>.DAT, then the
// first and last dates written into MASTER and the record count into the F<n>.DAT header.
#include <algorithm>

#include "engine/ConversionJob.h"
#include "engine/Messages.h"
#include "engine/PriceFileWriter.h"
#include "msdb/MasterTree.h"
#include "msdb/SecurityFiles.h"

namespace engine {
namespace {

constexpr std::string_view kMasterUpdateSuffix = ".NEW";
constexpr std::size_t kCopyBlockSize = 64 * 1024;

}  // namespace

std::uint8_t CConversionJob::LookUpFileNumber() {
    if (fileNumber_ != 0) {
        return static_cast<std::uint8_t>(fileNumber_);
    }
    std::optional<msdb::FoundSecurity> found =
        msdb::FindSecurity(*fs_, directory_, settings_.symbol);
    return found ? found->record[msdb::kFileNumberOffset] : 0;
}

int CConversionJob::ConvertData() {
    // AddSecurity of this run knows the file number; a lookup by symbol could meet an older entry
    // of a MASTER whose header does not count all of its records.
    const std::uint8_t fileNumber = LookUpFileNumber();

    std::unique_ptr<msdb::ReadableFile> file;
    msdb::Status s = fs_->OpenForRead(settings_.inputPath, &file);
    if (!s.ok()) {
        Tell("The input file cannot be opened.\n" + s.message());
        return 1;
    }
    InputParser parser(settings_, std::move(file));
    int recordCount = 0;
    bool dateCheckFailed = false;
    bool tooMany = false;
    msdb::MbfBytes firstDate{};
    msdb::MbfBytes lastDate{};
    for (;;) {
        bool got = false;
        s = parser.NextLine(&got);
        if (!s.ok() || !got) {
            break;
        }
        if (recordCount == msdb::kMaxPriceRecords) {
            tooMany = true;
            break;
        }
        const PriceRecord record = parser.ReadRecord();
        const msdb::MbfBytes& date = record.values[PriceField::kDate];
        if (recordCount == 0) {
            firstDate = date;
            if (parser.DateCheckMessage() != nullptr) {
                Tell(parser.DateCheckMessage());
                dateCheckFailed = true;
            }
        }
        lastDate = date;
        if (AppendRecord(fileNumber, record) != 0) {
            (void)ResetPriceFile();
            return 1;
        }
        ++recordCount;
    }
    if (!s.ok()) {
        (void)ResetPriceFile();
        Tell("The input file could not be read to its end.\n" + s.message());
        return 1;
    }
    if (FinishAppends() != 0) {
        (void)ResetPriceFile();
        return 1;
    }
    if (tooMany) {
        Tell(
            "The input file holds more than 65534 price records, and one security holds at most "
            "65534 price records.\nThe first 65534 were converted; the rest were left out.");
    }
    if (recordCount == 0) {
        Tell("The input file " + settings_.inputPath + " holds no price records.");
        return 1;
    }
    if (parser.UnreadableCount() > 0) {
        Tell(parser.UnreadableMessage());
    }
    const int masterResult = UpdateMasterDates(firstDate, lastDate, fileNumber);
    if (masterResult == 0) {
        firstDate_ = firstDate;
        lastDate_ = lastDate;
    }
    const int countResult = UpdateRecordCount(static_cast<std::uint16_t>(recordCount), fileNumber);
    if (countWritten_) {
        recordCount_ = recordCount;
    } else {
        (void)ResetPriceFile();  // the header could not count them: drop them
    }
    return masterResult != 0 || countResult != 0 || dateCheckFailed || tooMany ||
                   parser.UnreadableCount() > 0
               ? 1
               : 0;
}

int CConversionJob::AppendRecord(std::uint8_t fileNumber, const PriceRecord& record) {
    if (writer_ && writerFileNumber_ != fileNumber) {
        if (FinishAppends() != 0) {
            return 1;
        }
        writer_.reset();
    }
    if (!writer_) {
        writer_ = std::make_unique<PriceFileWriter>(
            *fs_, PathInDirectory(msdb::DatFileName(fileNumber)), settings_.FieldsOn());
        writerFileNumber_ = fileNumber;
    }
    msdb::Status s = writer_->Append(record);
    if (!s.ok()) {
        Tell("The price records could not be written.\n" + s.message());
        return 1;
    }
    return 0;
}

// Writes the records still held back and closes F<n>.DAT.
int CConversionJob::FinishAppends() {
    if (!writer_) {
        return 0;
    }
    msdb::Status s = writer_->Finish();
    if (!s.ok()) {
        Tell("The price records could not be written.\n" + s.message());
        return 1;
    }
    return 0;
}

// Cuts F<n>.DAT back to its header record after a failed append, so that the header, which still
// counts no price record, tells the truth.
int CConversionJob::ResetPriceFile() {
    if (!writer_) {
        return 0;
    }
    msdb::Status s = writer_->ResetToHeader();
    if (!s.ok()) {
        Tell(s.message());
        return 1;
    }
    return 0;
}

int CConversionJob::UpdateMasterDates(const msdb::MbfBytes& firstDate,
                                      const msdb::MbfBytes& lastDate, std::uint8_t fileNumber) {
    msdb::Master master;
    if (ReadMaster(&master) != 0) {
        return 1;
    }
    master.SetDates(fileNumber, firstDate, lastDate);
    msdb::Status s = master.Write(*fs_, masterPath_ + std::string(kMasterUpdateSuffix));
    if (!s.ok()) {
        Tell("The dates of the security could not be written to the Master file.\n" + s.message());
        return 1;
    }
    return 0;
}

int CConversionJob::UpdateRecordCount(std::uint16_t recordCount, std::uint8_t fileNumber) {
    countWritten_ = false;
    const std::string path = PathInDirectory(msdb::DatFileName(fileNumber));
    const auto recordLength = static_cast<std::size_t>(fieldCount_) * msdb::kFieldSize;
    std::unique_ptr<msdb::ReadableFile> source;
    msdb::Status s = fs_->OpenForRead(path, &source);
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
        std::string block(std::max<std::size_t>(1, kCopyBlockSize / recordLength) * recordLength,
                          '\0');
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
    s = msdb::ReplaceFileWith(*fs_, path, PathInDirectory(msdb::DatTempFileName(fileNumber)), copy,
                              &countWritten_);
    if (!s.ok()) {
        Tell("The record count could not be written to the price file.\n" + s.message());
        return 1;
    }
    return 0;
}

}  // namespace engine
