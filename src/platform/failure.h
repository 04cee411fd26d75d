#pragma once
// A failure that the user is to be told about. what() is UTF-8 text in Simplified Chinese that
// names the operation, the file or step, and the system's own error text.

#include <stdexcept>
#include <string>

namespace orv {

class Failure : public std::runtime_error {
 public:
  explicit Failure(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace orv
