#pragma once
// What the communication thread needs from a server's PLC access library: a connection table of
// numbered PLCs, one of them selected at a time, byte reads and writes of data blocks on the
// selected PLC, and the server's own reading of status codes. Each server binds its library
// behind this interface; tests put a recording fake in its place.

#include <cstdint>
#include <memory>
#include <string>

#include "plc/ByteRange.h"

namespace orva::core {

class PlcList;
class S7Plc;

class PlcTransport {
public:
    virtual ~PlcTransport() = default;

    // Opens the connection table for the PLCs of the list. The PLCs have been numbered 1, 2, ...
    // in list order (plcNumber) just before the call. 0 on success.
    virtual int open(PlcList& plcs) = 0;
    // Makes the PLC (1-based number) on side 0 (address A) or 1 (address B) the partner of the
    // following reads and writes.
    virtual int selectPlc(uint16_t plcNumber, uint16_t side) = 0;
    // At most maxReadCount() bytes of data block dataBlock from start.
    virtual int readBytes(uint16_t dataBlock, plc::ByteOffset start, plc::ByteCount count,
                          uint8_t* destination) = 0;
    // At most maxWriteCount() bytes.
    virtual int writeBytes(uint16_t dataBlock, plc::ByteOffset start, plc::ByteCount count,
                           const uint8_t* source) = 0;
    // Ends every connection; nothing but errorText is called until the next open.
    virtual void close() = 0;

    // A code after which the connection table is closed and opened again. Positive codes of
    // this kind also move the polling on to the next PLC.
    virtual bool isConnectionLevel(int code) const = 0;
    // A code after which the scheduler leaves the current PLC before its round of blocks is
    // done; any other code is cleared at that point.
    virtual bool leavesPlc(int code) const { return code > 0 && isConnectionLevel(code); }
    // A code that says the PLC cannot be reached now (no answer, connection lost or refused):
    // the PLC's remaining requests of the same iteration fail with it at once instead of each
    // waiting for a time-out of its own, and the PLC is not polled again before the recovery.
    virtual bool meansUnreachable(int code) const { return isConnectionLevel(code); }

    // What the end of a polling cycle that ended with an error does besides giving the tags of
    // the block just read the error's quality. The steps run in this order.
    struct Recovery {
        bool openFirst = false;     // open the table again without closing it
        bool closeAndOpen = false;  // close, pause, open again
        bool markPlc = false;       // every tag of the PLC gets the error's quality
        uint32_t pauseMs = 100;
    };
    // mustReopen: the last opening failed. By default a connection-level code, or a table that
    // failed to open, closes the table and opens it again after 100 ms.
    virtual Recovery recoveryAfter(int code, bool mustReopen) const
    {
        const bool reopen = mustReopen || isConnectionLevel(code);
        return {false, reopen, reopen, 100};
    }

    // The library's text for a code; may be called from another thread at any time.
    virtual std::string errorText(int code) = 0;

    virtual uint16_t maxReadCount() const { return plc::kMaxReadPiece; }
    virtual uint16_t maxWriteCount() const { return plc::kMaxWritePiece; }

    // Concurrent polling. A library whose PLCs sit on connections of their own (not one shared
    // line) may let each PLC be polled by a worker of its own, so that a slow PLC never holds up
    // a fast one. It then hands out one connection context per PLC: a transport of its own,
    // opened with the whole PLC list (numbers as today) but only ever asked to select that PLC;
    // contexts of different PLCs are used from different threads at the same time. errorText
    // of this transport stays in use for every PLC. By default PLCs are polled one after another
    // through this transport.
    virtual bool pollsConcurrently() const { return false; }
    virtual std::unique_ptr<PlcTransport> connectionFor(const S7Plc& plc)
    {
        (void)plc;
        return nullptr;
    }
};

}  // namespace orva::core
