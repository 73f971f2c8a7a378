#pragma once
#include <stdexcept>
#include <string>

namespace kelmora {

// An error that ends the current command; what() is exactly the text the user sees.
class KelmoraError : public std::runtime_error {
public:
    explicit KelmoraError(const std::string& text) : std::runtime_error(text) {}
};

} // namespace kelmora
