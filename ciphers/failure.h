// Failures inside the library and their descriptions. Members catch every failure at their
// boundary and report it the way their class does (an error text, an empty result).
#pragma once

#include <exception>
#include <stdexcept>
#include <string>

namespace ciphra {

class Failure : public std::runtime_error {
  public:
    explicit Failure(std::u16string description);
    const std::u16string& description() const { return description_; }

  private:
    std::u16string description_;
};

// The description of the exception being handled, as the runtime's error object gives it
// ("Subscript out of range", "Overflow", a component's own description, ...).
std::u16string currentDescription();

}  // namespace ciphra
