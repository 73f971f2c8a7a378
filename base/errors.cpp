#include "base/errors.h"

namespace kelmora {

KelmoraError::KelmoraError(ErrorCode code, ErrorFacts facts)
    : std::runtime_error("Kelmora error " + std::to_string(static_cast<int>(code))), code_(code),
      facts_(std::move(facts)) {}

KelmoraError KelmoraError::Within(std::vector<std::string> places) const {
    ErrorFacts facts = facts_;
    places.insert(places.end(), facts.Context.begin(), facts.Context.end());
    facts.Context = std::move(places);
    return {code_, std::move(facts)};
}

} // namespace kelmora
