// The last step of a run: the input converted into price records of the new F<n>.DAT, the first
// and last dates written into MASTER and the record count into the F<n>.DAT header, then the
// commit that puts them into the directory.
#include <optional>
#include <vector>

#include "engine/ConversionJob.h"
#include "engine/InputScan.h"
#include "engine/Messages.h"
#include "engine/PriceFileWriter.h"
#include "msdb/MasterTree.h"
#include "msdb/SecurityFiles.h"

namespace engine {

int ConversionJob::ConvertData() {
    const int fileNumber = addedFileNumber_;  // AddSecurity chose it

    std::unique_ptr<msdb::ReadableFile> file;
    msdb::Status s = fs_->OpenForRead(settings_.inputPath, &file);
    if (!s.ok()) {
        Tell("The input file cannot be opened.\n" + s.message());
        return 1;
    }
    if (PriceFileOf(fileNumber) != 0) {
        return 1;
    }
    std::uint64_t size = 0;
    if (msdb::FileInfo info; fs_->GetInfo(settings_.inputPath, &info).ok()) {
        size = info.size;
    }
    auto counting = std::make_unique<CountingFile>(std::move(file));
    ProgressMeter meter(counting.get(), size, progress_);
    InputParser parser(settings_, std::move(counting));
    bool first = true;
    // The records that each order of the dates keeps go straight into a price file of their own;
    // the file's order decides which is written. The other holds next to nothing.
    PriceFileWriter backward(settings_.FieldsOn());
    const ScanResult scan = ScanInputWith(
        parser,
        [&](const PriceRecord&, const InputParser& reading) {
            if (first && reading.DateCheckMessage() != nullptr) {
                Tell(reading.DateCheckMessage());
            }
            first = false;
            meter.Update();
            return cancel_ == nullptr || !cancel_->load(std::memory_order_relaxed);
        },
        [&](const PriceRecord& record, bool forward) {
            (forward ? *writer_ : backward).Append(record);
        });
    if (scan.stopped) {
        cancelled_ = true;
        return 1;
    }
    if (!scan.status.ok()) {
        Tell("The input file could not be read to its end.\n" + scan.status.message());
        return 1;
    }
    if (!parser.NotText().empty()) {
        Tell(NotTextMessage(parser.NotText()));
        return 1;
    }
    if (scan.TooMany()) {
        // Never cut short: a range of the dates is converted instead.
        Refuse(SettingsField::kRange,
               "The input file " + settings_.inputPath + " holds " +
                   std::to_string(scan.recordCount) + " price records, more than the " +
                   std::to_string(msdb::kMaxPriceRecords) +
                   " that one security holds.\nConvert the records of a range of dates: --from "
                   "DATE and --to DATE (Dates from and to in the Conversion Settings), the dates "
                   "written as YYYY-MM-DD.");
        return 1;
    }
    const std::int64_t recordCount = scan.recordCount;
    if (recordCount == 0) {
        // A file whose lines are all too long, or all have problems, holds no records to store;
        // its problems say why.
        if (!parser.problems().empty()) {
            const std::string message =
                parser.problems().Message(settings_.inputPath) + "\nNothing was converted.";
            Tell(message);
            RefuseForProblems(parser.problems(), message);
        } else {
            Tell("The input file " + settings_.inputPath + " holds no price records.");
        }
        return 1;
    }
    const msdb::MbfBytes firstDate = scan.firstDate;
    const msdb::MbfBytes lastDate = scan.lastDate;
    // A file that lists the newest day first is written oldest first.
    reversed_ = scan.reversed;
    if (reversed_) {
        backward.Reverse();
        *writer_ = std::move(backward);
    }
    if (!parser.problems().empty()) {
        const std::string list = parser.problems().Message(settings_.inputPath);
        const std::string consequences = WhatAcceptingDoes(scan);
        if (settings_.acceptProblems) {
            Tell(list + "\nThe problems are accepted, as asked: " + consequences + ".");
        } else {
            std::optional<bool> answer =
                notifier_->Ask(list + "\n\nStore the file anyway? " + consequences + ".");
            if (!answer) {
                Tell(list + "\nNothing was converted.");
            }
            if (!answer.value_or(false)) {
                RefuseForProblems(parser.problems(), list + "\nNothing was converted.");
                return 1;
            }
        }
        accepted_ = WhatAcceptingDoes(scan, true);
    }
    if (UpdateMasterDates(firstDate, lastDate, fileNumber) != 0 ||
        UpdateRecordCount(static_cast<std::uint16_t>(recordCount), fileNumber) != 0) {
        return 1;
    }
    firstDate_ = firstDate;
    lastDate_ = lastDate;
    if (settings_.dryRun) {
        wouldSucceed_ = true;
        fileNumber_ = fileNumber;
        recordCount_ = static_cast<int>(recordCount);
        return 0;
    }
    if (cancel_ != nullptr && cancel_->load()) {
        cancelled_ = true;  // the last moment at which stopping changes nothing
        return 1;
    }
    if (committing_) {
        committing_();
    }
    return Commit(fileNumber, static_cast<int>(recordCount));
}

// Notes the setting that the first problem of a value is about: the date format for a date, the
// column of a price field for a price.
void ConversionJob::RefuseForProblems(const InputProblems& problems, const std::string& message) {
    for (const InputProblem& problem : problems.first()) {
        for (PriceField field : msdb::kPriceFields) {
            if (problem.field == FieldName(field)) {
                refused_ = field == PriceField::kDate
                               ? Refusal{SettingsField::kDateFormat, field, message}
                               : Refusal{SettingsField::kColumn, field, message};
                return;
            }
        }
    }
}

int ConversionJob::PriceFileOf(int fileNumber) {
    if (!writer_ || fileNumber != addedFileNumber_) {
        Tell("The price records have no price file of security number " +
             std::to_string(fileNumber) + " to go to.");
        return 1;
    }
    return 0;
}

int ConversionJob::UpdateMasterDates(const msdb::MbfBytes& firstDate,
                                     const msdb::MbfBytes& lastDate, int fileNumber) {
    if (inXMaster_) {
        xmaster_->SetDates(fileNumber, firstDate, lastDate);
        return 0;
    }
    const auto number = static_cast<std::uint8_t>(fileNumber);
    master_.SetDates(number, firstDate, lastDate);
    if (emaster_) {
        emaster_->SetDates(number, firstDate, lastDate);
    }
    return 0;
}

int ConversionJob::UpdateRecordCount(std::uint16_t recordCount, int fileNumber) {
    (void)fileNumber;  // the writer holds the one price file of the run
    writer_->SetRecordCount(recordCount);
    return 0;
}

// Puts the security's files and the new MASTER (or XMASTER, for a security of XMASTER; MASTER
// and EMASTER then stay as they are) into the directory in one transaction.
int ConversionJob::Commit(int fileNumber, int recordCount) {
    StageFile(PriceFileName(fileNumber), writer_->TakeBytes());
    if (inXMaster_) {
        const std::string name = msdb::FileNameOf(xmaster_->path());
        // An XMASTER may list tens of thousands of securities: its bytes are handed over, not
        // copied, as nothing reads them after this, and its backup is copied from the file.
        if (xmasterBefore_) {
            if (msdb::Status s = target_.StageBackupOf(xmaster_->path(), xmasterBefore_->first,
                                                       xmasterBefore_->second);
                !s.ok()) {
                Tell(s.message());
                return 1;
            }
            target_.transaction().ReplaceFile(name, xmaster_->TakeBytes());
        } else {
            target_.transaction().CreateFile(name, xmaster_->TakeBytes());
        }
    } else if (emaster_) {
        // EMASTER is replaced with MASTER, and backed up with it.
        const std::string name = msdb::FileNameOf(emaster_->path());
        if (emasterBefore_) {
            target_.transaction().ReplaceFile(name, std::string(emaster_->bytes()));
            target_.transaction().AddBackup(name, *emasterBefore_);
        } else {
            target_.transaction().CreateFile(name, std::string(emaster_->bytes()));
        }
    }
    if (!inXMaster_) {
        target_.transaction().SetMaster(msdb::FileNameOf(masterPath_), std::string(master_.bytes()),
                                        masterBefore_.has_value(), masterBefore_);
    }
    std::optional<std::string> problem = target_.Commit("conversion");
    changed_ = target_.Effect().committed;
    if (problem) {
        Tell(*problem);
    }
    if (!changed_) {
        return 1;
    }
    fileNumber_ = fileNumber;
    recordCount_ = recordCount;
    return 0;
}

}  // namespace engine
