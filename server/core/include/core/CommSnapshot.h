#pragma once
// What the communication thread shows of itself to viewers on other threads (the
// communication-status dialog): the process's status snapshot, a plain copy of the PLCs, their
// read blocks and the covered tags with cached value and quality. The thread takes it under the
// lock it holds while it changes blocks, so it is always consistent; afterwards it shares nothing
// with the live objects.

#include "process/StatusSnapshot.h"

namespace orva::core {

using SnapshotObjectId = process::ObjectId;
using SnapshotValue = process::SnapshotValue;
using TagSnapshot = process::TagSnapshot;
using BlockSnapshot = process::BlockSnapshot;
using PlcSnapshot = process::PlcSnapshot;
using CommSnapshot = process::StatusSnapshot;

}  // namespace orva::core
