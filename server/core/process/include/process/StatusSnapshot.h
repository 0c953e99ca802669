#pragma once
// What the communication-status dialog shows: the communication thread's snapshot (a copy that
// shares nothing with the live objects; the dialog never reads the thread's data) and the texts
// of its columns.

#include <cstdint>
#include <functional>
#include <string>

#include "core/CommSnapshot.h"

namespace orva::process {

using core::BlockSnapshot;
using core::ObjectId;
using core::PlcSnapshot;
using core::SnapshotValue;
using core::TagSnapshot;
using StatusSnapshot = core::CommSnapshot;

using StatusSnapshotProvider = std::function<StatusSnapshot()>;

// "DB%d-DBB%d-LEN%d".
std::string blockLabel(const BlockSnapshot& block);

// The "Value" column's text by native type; strings are bytes of ISO-8859-1.
std::string valueDisplayText(const TagSnapshot& tag);

// The "Quality" column's text of an OPC quality, e.g. "GOOD", "BAD (COMM_FAILURE)".
std::string qualityText(std::uint16_t quality);
using QualityTextFunction = std::function<std::string(std::uint16_t quality)>;

}  // namespace orva::process
