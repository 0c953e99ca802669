#pragma once
// The access library's status code for the PLC's answer to a read or write job (S7ErrorCodes.h):
// 0, an access code for a refused item or job, or kS7ProtocolViolation for an answer that does
// not fit the request. Shared by every library that carries S7 PDUs.
#include "plc/S7Protocol.h"

namespace plc {

int codeFromResponse(const s7::ResponseStatus& status);

}  // namespace plc
