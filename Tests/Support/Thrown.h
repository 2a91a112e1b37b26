#pragma once
#include <stdexcept>
#include <string>

namespace VeskTest {

// The message of the standard exception that body throws, or an empty text when it throws none.
template <class Body>
std::string MessageThrownBy(Body&& body) {
    try {
        body();
    } catch (const std::exception& e) {
        return e.what();
    }
    return {};
}

}  // namespace VeskTest
