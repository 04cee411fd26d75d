#pragma once
// A failure that the user is to be told about. what() is UTF-8 text in Simplified Chinese that
// names the operation, the file or step, and the system's own error text.
//
// A failure of a step on a file also carries the facts behind that text (what was done, to which
// file, and the system's error code), so that the program can add what the user may do about it
// without reading its own messages back.

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

namespace orv {

// What a failed step did to its file.
enum class FileAction { kNone, kRead, kWrite };

struct FailureFacts {
  FileAction action = FileAction::kNone;
  uint32_t code = 0;  // the system's error code (GetLastError); 0 when there is none
  std::string path;   // the file as the step was given it (UTF-8); empty when none
};

class Failure : public std::runtime_error {
 public:
  explicit Failure(const std::string& message) : std::runtime_error(message) {}
  Failure(const std::string& message, FailureFacts facts)
      : std::runtime_error(message),
        facts_(std::make_shared<const FailureFacts>(std::move(facts))) {}

  // Empty facts (kNone, 0, "") for a failure that has none.
  const FailureFacts& facts() const noexcept {
    static const FailureFacts kNoFacts;
    return facts_ ? *facts_ : kNoFacts;
  }

 private:
  // Shared, so that copying the exception cannot throw.
  std::shared_ptr<const FailureFacts> facts_;
};

}  // namespace orv
