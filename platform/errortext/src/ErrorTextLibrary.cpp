#include "errortext/ErrorTextLibrary.h"

#include <algorithm>
#include <cstring>

namespace orva::errortext {
namespace {

struct Text {
    int code;
    const char* text;
};

constexpr Text kTexts[] = {
    {517, "Serial interface cannot be opened"},
    {794, "No answer from the MPI adapter: check cable and interface settings"},
    {16386, "PLC does not respond on the MPI bus"},
    {61185, "Transmission error on the serial line"},
    {65535, "Connection to the PLC not established"},
    {64, "Invalid parameter in the request"},
    {80, "Data block not present in the PLC"},
    {81, "Data block too short for the request"},
    {82, "Access to the object not allowed"},
    {83, "Data type not supported by the PLC"},
    {84, "Hardware fault in the PLC"},
    {85, "Access refused by the PLC"},
    {112, "PLC does not allow PUT/GET communication"},
    {120, "PLC busy: no resources for the request"},
    {121, "Request refused by the PLC"},
};

}  // namespace

std::string ErrorTextLibrary::textOf(int code)
{
    for (const Text& entry : kTexts) {
        if (entry.code == code) return entry.text;
    }
    return "Unknown error " + std::to_string(code);
}

int ErrorTextLibrary::errorText(int code, char* buffer, const std::string& detail)
{
    if (buffer == nullptr) return 64;
    if (code == 0) {
        const size_t n = strnlen(buffer, kPathCapacity);
        const std::lock_guard lock(mutex_);
        dataFilePath_.assign(buffer, n < kPathCapacity ? n : 0);
        return 0;
    }
    std::string text = textOf(code);
    if (!detail.empty()) text += ": " + detail;
    const size_t n = std::min(text.size(), kTextCapacity - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return 0;
}

std::string ErrorTextLibrary::dataFilePath() const
{
    const std::lock_guard lock(mutex_);
    return dataFilePath_;
}

}  // namespace orva::errortext
