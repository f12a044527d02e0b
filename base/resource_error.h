// SPDX-License-Identifier: GPL-3.0-or-later
// A job that runs out of memory or of room for its temporary files ends with a message, never an
// abort: the exception that says so, and the message of any exception that ends a job.
#pragma once

#include <exception>
#include <stdexcept>
#include <string>

namespace varistrum {

// A job cannot go on without something the machine lacks (room for a temporary file, a thread);
// what() is the whole message, without "Error: ".
class ResourceError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

inline constexpr const char* kNotEnoughMemory = "not enough memory";

// The message of an exception that ended a job: "not enough memory" for an allocation failure
// (and a thread the system could not start), a ResourceError's own text, else the exception's
// text (or "an unexpected failure").
std::string FailureTextOf(std::exception_ptr failure);

// The message as the window shows it: "Not enough memory."
std::string FailureSentence(std::string text);

}  // namespace varistrum
