// Feeds arbitrary bytes to the security paths that read what a client sends before anything is
// verified: the first byte chooses the path, the rest is its input.
//   0: an OpenSecureChannel chunk (asymmetric security header, sender certificate, RSA decryption,
//      signature and padding checks)
//   1: a client certificate chain checked against the certificate store
//   2: the body of a UserNameIdentityToken in ActivateSession (token fields, password decryption)
//   3: the body of an X509IdentityToken in ActivateSession (token fields, user certificate)
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "FakeBackend.h"
#include "UaTestClient.h"
#include "crypto/ServerSecurity.h"
#include "net/SecureChannel.h"
#include "opcua/Engine.h"

namespace {
orva::opcua::test::FakeBackend& backend()
{
    static orva::opcua::test::FakeBackend instance;
    return instance;
}

// One server identity for every input: making an RSA key per input would be all the fuzzer does.
std::shared_ptr<orva::opcua::ServerSecurity> security()
{
    static std::shared_ptr<orva::opcua::ServerSecurity> instance = [] {
        char folder[] = "/tmp/orva-security-fuzz-XXXXXX";
        auto s = std::make_shared<orva::opcua::ServerSecurity>();
        if (mkdtemp(folder) == nullptr) std::abort();
        orva::opcua::SecuritySettings settings;
        settings.pkiFolder = std::string(folder) + "/pki";
        settings.usersFile = std::string(folder) + "/users";
        settings.autoAcceptUntrusted = true;  // no file per input
        orva::opcua::CertificateSubject subject{"fuzz", "urn:fuzz", {"localhost"}, {"127.0.0.1"}};
        std::string error;
        std::string warning;
        if (!orva::opcua::ServerSecurity::build(settings, "127.0.0.1", subject, *s, error, warning))
            std::abort();
        return s;
    }();
    return instance;
}

void userToken(std::span<const uint8_t> body, uint32_t tokenType)
{
    std::vector<std::vector<uint8_t>> responses;
    orva::opcua::Engine engine(
        backend(), orva::opcua::ServerInfo{}, orva::opcua::ServerLimits{},
        [&](uint32_t, uint32_t, std::vector<uint8_t> r) { responses.push_back(std::move(r)); });
    engine.setSecurity(security());
    orva::opcua::ChannelSecurity channel;
    channel.peerAddress = "127.0.0.1";
    engine.handleMessage(
        1, 1,
        orva::opcua::test::makeRequest(
            461, {}, 1, [](orva::opcua::Writer& w) { orva::opcua::test::writeCreateSession(w); }),
        {}, &channel);
    if (responses.empty()) return;
    // The reader points into the parsed response, which must outlive it.
    const auto created = orva::opcua::test::parseResponse(responses.back());
    orva::opcua::Reader r = created.body();
    r.nodeId();
    const orva::opcua::NodeId token = r.nodeId();
    engine.handleMessage(1, 2,
                         orva::opcua::test::makeRequest(467, token, 2,
                                                        [&](orva::opcua::Writer& w) {
                                                            w.nullString();
                                                            w.nullString();
                                                            w.emptyArray();
                                                            w.emptyArray();
                                                            orva::opcua::ExtensionObject e;
                                                            e.typeId = orva::opcua::NodeId::num(tokenType);
                                                            e.encoding = 1;
                                                            e.body.assign(body.begin(), body.end());
                                                            w.extensionObject(e);
                                                            w.nullString();
                                                            w.nullString();
                                                        }),
                         {}, &channel);
    engine.processInbox();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1) return 0;
    const std::span<const uint8_t> input(data + 1, size - 1);
    switch (data[0] % 4) {
        case 0: {
            orva::opcua::SecureChannel channel(orva::opcua::ChunkLimits{65536, 1 << 20, 64},
                                               security().get());
            orva::opcua::ChannelNumbers numbers;
            std::vector<uint8_t> response;
            uint32_t requestId = 0;
            std::string reason;
            channel.open(input, orva::opcua::ServerLimits{}, numbers,
                         orva::opcua::SecureChannel::Clock::now(), response, requestId, reason);
            break;
        }
        case 1: {
            std::string detail;
            security()->pki->validate(input, true, detail);
            break;
        }
        case 2:
            userToken(input, 324);
            break;
        default:
            userToken(input, 327);
            break;
    }
    return 0;
}
