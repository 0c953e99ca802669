#include "mpi_server/PennatLibrary.h"

#include "mpi/MpiErrorCodes.h"

namespace orva::mpi_server {

int PennatLibrary::mpiErrorText(int code, char* buffer)
{
    if (code == 0) {
        const int result = texts_.errorText(0, buffer);
        stations_.setDataFile(texts_.dataFilePath());
        return result;
    }
    return texts_.errorText(code, buffer,
                            code == orva::mpi::kMpiPortError ? stations_.problem() : std::string());
}

}  // namespace orva::mpi_server
