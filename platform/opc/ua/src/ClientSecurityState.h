#pragma once
// The client end of a secured channel: the policy and mode, both certificates, the nonce of the
// last OpenSecureChannel and the keys of the current and the previous token (the server may still
// answer with the previous one right after a renewal).

#include "crypto/Crypto.h"
#include "crypto/SecurityPolicy.h"
#include "net/ChunkSecurity.h"
#include "opcua/Client.h"

namespace orva::opcua {

struct TcpClient::Security {
    struct Token {
        uint32_t id = 0;
        SymmetricKeys client;  // protect what the client sends
        SymmetricKeys server;  // protect what the server sends
    };
    const SecurityPolicy* policy = nullptr;
    SecurityMode mode = SecurityMode::SignAndEncrypt;
    ClientCertificate own;
    crypto::Bytes serverCertificate;
    crypto::KeyPtr serverKey;
    crypto::Bytes serverThumbprint;
    crypto::Bytes clientNonce;
    Token current;
    Token previous;
    crypto::Bytes plain;  // the chunk decoded last

    AsymmetricParties parties() const
    {
        AsymmetricParties p;
        p.policy = policy;
        p.ownCertificate = own.der;
        p.ownKey = own.key.get();
        p.peerKey = serverKey.get();
        p.peerThumbprint = serverThumbprint;
        return p;
    }
};

}  // namespace orva::opcua
