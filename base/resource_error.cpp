// SPDX-License-Identifier: GPL-3.0-or-later
// The message of an exception that ended a job.
#include "base/resource_error.h"

#include <new>
#include <system_error>

namespace varistrum {

std::string FailureTextOf(std::exception_ptr failure) {
    try {
        std::rethrow_exception(failure);
    } catch (const std::bad_alloc&) {
        return kNotEnoughMemory;
    } catch (const std::system_error& e) {
        // A thread or lock the system cannot give: out of memory or of its own tables.
        if (e.code() == std::errc::not_enough_memory ||
            e.code() == std::errc::resource_unavailable_try_again)
            return kNotEnoughMemory;
        return e.what();
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
    }
    return "an unexpected failure";
}

std::string FailureSentence(std::string text) {
    if (text.empty()) return text;
    if (text[0] >= 'a' && text[0] <= 'z') text[0] = static_cast<char>(text[0] - 'a' + 'A');
    if (text.back() != '.' && text.back() != '!' && text.back() != ')') text += '.';
    return text;
}

}  // namespace varistrum
