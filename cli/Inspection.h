// What list, export and check share: a security's stored fields, and dates for the user's eyes.
#pragma once

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "msdb/Encoding.h"
#include "msdb/Reader.h"

namespace cli {

// The fields a security stores: from its F<n>.DOP when that can be read, else from its count.
std::optional<msdb::FieldSet> StoredFields(const msdb::SecurityEntry& security);

// `value` as JSON text, two blanks an indentation level; text that is not UTF-8 comes out with
// U+FFFD in place of the bytes that are not.
std::string Json(const nlohmann::ordered_json& value);

// A stored date as "YYYY-MM-DD", or "-" when it is not a valid date.
std::string IsoDate(const msdb::MbfBytes& date);

using msdb::FullNumber;

}  // namespace cli
