#include "base/errors.h"

namespace kelmora {

KelmoraError::KelmoraError(ErrorCode code, ErrorFacts facts)
    : std::runtime_error("Kelmora error " + std::to_string(static_cast<int>(code))), code_(code),
      facts_(std::move(facts)) {}

} // namespace kelmora
