#pragma once
// The toolkit's one exception: raised with code 1 and "Out of memory" when an allocation fails.

#include <exception>
#include <new>
#include <string>
#include <utility>

namespace orva::opc {

class SOCmnException : public std::exception {
public:
    SOCmnException(unsigned code, std::string text) : code_(code), text_(std::move(text)) {}
    unsigned getCode() const noexcept { return code_; }
    const std::string& getText() const noexcept { return text_; }
    const char* what() const noexcept override { return text_.c_str(); }

private:
    unsigned code_;
    std::string text_;
};

inline constexpr unsigned SOCMNEXCEPTION_OUT_OF_MEMORY = 1;

[[noreturn]] inline void throwOutOfMemory()
{
    throw SOCmnException(SOCMNEXCEPTION_OUT_OF_MEMORY, "Out of memory");
}

// new T(args...) that raises the toolkit exception instead of std::bad_alloc.
template <class T, class... Args>
T* newOrThrow(Args&&... args)
{
    T* p = new (std::nothrow) T(std::forward<Args>(args)...);
    if (!p) throwOutOfMemory();
    return p;
}

}  // namespace orva::opc
