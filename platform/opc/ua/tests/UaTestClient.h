#pragma once
// The protocol client as the tests use it.

#include "opcua/Client.h"

namespace orva::opcua::test {
using opcua::makeRequest;
using opcua::parseResponse;
using opcua::Response;
using opcua::TcpClient;
using opcua::writeAnonymousActivate;
using opcua::writeCreateSession;
using opcua::writeReadRequest;
}  // namespace orva::opcua::test
