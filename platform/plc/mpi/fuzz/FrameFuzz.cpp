// Feeds arbitrary bytes to both ends of the serial MPI link: the block decoder in pieces of
// varying size, and every complete payload to the adapter's and the PC's message decoders.
#include <cstddef>
#include <cstdint>
#include <span>

#include "mpi/AdapterMessages.h"
#include "mpi/Framing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::span<const uint8_t> bytes(data, size);
    orva::mpi::Message message;
    orva::mpi::decodeFromPc(bytes, message);
    orva::mpi::decodeFromAdapter(bytes, message);

    // The first byte chooses the piece size, so byte-by-byte arrival is covered too.
    const size_t piece = size > 0 ? 1 + data[0] % 16 : 1;
    orva::mpi::BlockDecoder decoder;
    size_t position = size > 0 ? 1 : 0;
    while (position < size) {
        const size_t n = std::min(piece, size - position);
        position += decoder.feed(bytes.subspan(position, n));
        if (decoder.state() == orva::mpi::BlockDecoder::State::Receiving) continue;
        if (decoder.state() == orva::mpi::BlockDecoder::State::Complete) {
            orva::mpi::decodeFromPc(decoder.payload(), message);
            orva::mpi::decodeFromAdapter(decoder.payload(), message);
        }
        decoder.reset();
    }
    return 0;
}
