// What list, export and check share: a security's stored fields, and dates for the user's eyes.
#pragma once

#include <optional>
#include <string>

#include "msdb/Encoding.h"
#include "msdb/Reader.h"

namespace cli {

// The fields a security stores: from its F<n>.DOP when that can be read, else from its count.
std::optional<msdb::FieldSet> StoredFields(const msdb::SecurityEntry& security);

// `text` as a JSON string, in quotes, with quotes, backslashes and control characters escaped.
std::string JsonText(const std::string& text);

// A stored date as "YYYY-MM-DD", or "-" when it is not a valid date.
std::string IsoDate(const msdb::MbfBytes& date);

using msdb::FullNumber;

}  // namespace cli
