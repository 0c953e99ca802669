// The certificate store, the users file and the session rules that depend on the server's
// security settings (the secured channel itself is exercised end to end by the interop tests).
#include <gtest/gtest.h>
#include <openssl/x509.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "FakeBackend.h"
#include "UaTestClient.h"
#include "crypto/Pki.h"
#include "crypto/ServerSecurity.h"
#include "crypto/Users.h"
#include "opcua/Engine.h"

namespace orva::opcua {
namespace {

namespace fs = std::filesystem;

struct TempFolder {
    fs::path path;
    TempFolder()
    {
        char name[] = "/tmp/orva-security-test-XXXXXX";
        path = mkdtemp(name);
    }
    ~TempFolder() { fs::remove_all(path); }
};

TEST(Pki, UntrustedClientIsRejectedUntilMovedToTrusted)
{
    TempFolder temp;
    const Pki server((temp.path / "server").string());
    const Pki client((temp.path / "client").string());
    OwnCertificate own;
    OwnCertificate peer;
    std::string error;
    ASSERT_TRUE(
        server.loadOrCreateOwn({"server", "urn:test:server", {"localhost"}, {"127.0.0.1"}}, own, error))
        << error;
    ASSERT_TRUE(client.loadOrCreateOwn({"client", "urn:test:client", {}, {}}, peer, error)) << error;
    EXPECT_EQ(fs::status(temp.path / "server/own/private/server.pem").permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write);

    std::string detail;
    EXPECT_EQ(server.validate(peer.der, false, detail), status::BadCertificateUntrusted);
    const std::string thumbprint = crypto::hex(crypto::sha1(peer.der));
    EXPECT_TRUE(fs::exists(temp.path / "server/rejected/certs" / (thumbprint + ".der")));
    EXPECT_EQ(server.validate(peer.der, true, detail), status::Good) << "commissioning accepts it";

    std::string lower = thumbprint;
    for (auto& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    ASSERT_TRUE(server.move(lower, "trusted", error)) << error;
    EXPECT_EQ(server.validate(peer.der, false, detail), status::Good) << detail;
    EXPECT_FALSE(server.move(thumbprint, "trusted", error)) << "nothing left to trust";

    // The store is read at every check: a certificate taken out is refused again.
    ASSERT_TRUE(server.move(thumbprint, "rejected", error)) << error;
    EXPECT_EQ(server.validate(peer.der, false, detail), status::BadCertificateUntrusted);

    // The same key and certificate come back at the next start.
    OwnCertificate again;
    ASSERT_TRUE(server.loadOrCreateOwn({"server", "urn:test:server", {}, {}}, again, error)) << error;
    EXPECT_EQ(again.der, own.der);
    EXPECT_EQ(server.validate(std::vector<uint8_t>{0x30, 0x82, 0x01}, false, detail),
              status::BadCertificateInvalid);
}

TEST(Users, PasswordsAreCheckedAgainstSaltedHashes)
{
    TempFolder temp;
    const UserStore store((temp.path / "users").string());
    std::string error;
    const std::vector<UserEntry> users{{"operator", Access::Write, hashPassword("op")},
                                       {"viewer", Access::Read, hashPassword("view")}};
    ASSERT_TRUE(store.save(users, error)) << error;
    EXPECT_EQ(store.check("operator", "op"), Access::Write);
    EXPECT_EQ(store.check("viewer", "view"), Access::Read);
    EXPECT_FALSE(store.check("viewer", "op"));
    EXPECT_FALSE(store.check("nobody", "op"));
    EXPECT_NE(users[0].hash, hashPassword("op")) << "salted";
    std::ifstream in(temp.path / "users");
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_EQ(text.find("view\n"), std::string::npos) << "no password in clear";
    EXPECT_FALSE(validUserName("a:b"));
}

// An engine with security settings, on an unsecured channel.
struct SecuredEngine {
    TempFolder temp;
    test::FakeBackend backend;
    std::vector<std::vector<uint8_t>> responses;
    std::shared_ptr<ServerSecurity> security = std::make_shared<ServerSecurity>();
    Engine engine{
        backend, ServerInfo{}, ServerLimits{},
        [this](uint32_t, uint32_t, std::vector<uint8_t> body) { responses.push_back(std::move(body)); }};
    ChannelSecurity channel;

    explicit SecuredEngine(SecuritySettings settings, const std::string& address = "127.0.0.1")
    {
        settings.pkiFolder = (temp.path / "pki").string();
        std::string error;
        std::string warning;
        EXPECT_TRUE(
            ServerSecurity::build(settings, address, {"s", "urn:s", {}, {}}, *security, error, warning))
            << error;
        engine.setSecurity(security);
    }
    Response call(uint32_t type, const NodeId& token, const std::function<void(Writer&)>& fields)
    {
        responses.clear();
        engine.handleMessage(1, 1, makeRequest(type, token, 1, fields), {}, &channel);
        return responses.empty() ? Response{} : parseResponse(responses.back());
    }
    StatusCode logOn()
    {
        const Response created = call(461, {}, [](Writer& w) { writeCreateSession(w); });
        if (isBad(created.serviceResult)) return created.serviceResult;
        Reader r = created.body();
        r.nodeId();
        const NodeId token = r.nodeId();
        return call(467, token, [](Writer& w) { writeAnonymousActivate(w); }).serviceResult;
    }
};

TEST(SessionSecurity, AnonymousAccessAndUnsecuredSessionsFollowTheSettings)
{
    SecuritySettings settings;
    settings.anonymousAccess = Access::None;
    EXPECT_EQ(SecuredEngine(settings).logOn(), status::BadIdentityTokenRejected);
    settings.anonymousAccess = Access::Read;
    EXPECT_EQ(SecuredEngine(settings).logOn(), status::Good);

    // Away from loopback None is not offered: discovery answers, sessions are refused.
    SecuredEngine wide(settings, "0.0.0.0");
    EXPECT_EQ(wide.call(428, {},
                        [](Writer& w) {
                            w.nullString();
                            w.emptyArray();
                            w.emptyArray();
                        })
                  .serviceResult,
              status::Good);
    EXPECT_EQ(wide.logOn(), status::BadSecurityPolicyRejected);
    settings.pkiFolder = "/any";
    EXPECT_EQ(offeredPolicies(settings, "0.0.0.0").size(), 3u);
    EXPECT_EQ(offeredPolicies(settings, "::1").size(), 4u);
    settings.policies = {"None", "Basic256Sha256"};
    EXPECT_EQ(SecuredEngine(settings, "0.0.0.0").logOn(), status::Good)
        << "None when the administrator lists it";
}

}  // namespace
}  // namespace orva::opcua
