// Response-head parsing: pure text rules, shared by every backend (and by the fuzzer, which links
// only this file).
#include <cctype>
#include <cstdlib>
#include <cstring>

#include "Platform/HttpClient.h"

namespace Platform::Network::Http {
namespace {

bool IsTrimmed(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsTrimmed(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsTrimmed(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// "HTTP/1.1 200 OK", "HTTP/2 404", "HTTP/1.0 500 Internal Server Error".
bool IsStatusLine(std::string_view line) {
    if (line.substr(0, 5) != "HTTP/") {
        return false;
    }
    size_t i = 5;
    if (i >= line.size() || !IsDigit(line[i])) {
        return false;
    }
    while (i < line.size() && (IsDigit(line[i]) || line[i] == '.')) {
        ++i;
    }
    // Three digits, the first not 0.
    if (i + 4 > line.size() || line[i] != ' ' || !IsDigit(line[i + 1]) || line[i + 1] == '0' || !IsDigit(line[i + 2]) ||
        !IsDigit(line[i + 3])) {
        return false;
    }
    return i + 4 == line.size() || line[i + 4] == ' ';
}

// A header name is a token: visible characters other than separators.
bool IsTokenName(std::string_view name) {
    if (name.empty()) {
        return false;
    }
    for (char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 32 || u >= 127 || std::strchr("()<>@,;:\\\"/[]?={}", c) != nullptr) {
            return false;
        }
    }
    return true;
}

std::string Shown(std::string_view line) {
    // Enough of a bad line to recognise it, without copying an unbounded one into messages.
    constexpr size_t kShown = 80;
    std::string shown(line.substr(0, kShown));
    for (char& c : shown) {
        if (static_cast<unsigned char>(c) < 32 || static_cast<unsigned char>(c) >= 127) {
            c = '?';
        }
    }
    return line.size() > kShown ? shown + "..." : shown;
}

}  // namespace

bool ParseResponseHead(std::string_view raw, ResponseHead& head, std::string& problem) {
    head = ResponseHead{};
    problem.clear();
    bool first = true;
    size_t start = 0;
    while (start < raw.size()) {
        size_t end = raw.find('\n', start);
        if (end == std::string_view::npos) {
            end = raw.size();
        }
        std::string_view line = raw.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (first) {
            first = false;
            head.headers["Response"] = std::string(Trim(line));
            // The status code is the text between the first and the second space.
            const size_t space = line.find(' ');
            if (space != std::string_view::npos) {
                const size_t next = line.find(' ', space + 1);
                const std::string code(
                    line.substr(space + 1, next == std::string_view::npos ? next : next - space - 1));
                head.statusCode = static_cast<uint32_t>(std::atoi(code.c_str()));
            }
            if (!IsStatusLine(line) && problem.empty()) {
                problem = "Malformed status line: " + Shown(line);
            }
            continue;
        }
        if (Trim(line).empty()) {
            continue;
        }
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos) {
            if (problem.empty()) {
                problem = "Malformed header line: " + Shown(line);
            }
            continue;
        }
        const std::string_view name = Trim(line.substr(0, colon));
        if (!IsTokenName(line.substr(0, colon)) && problem.empty()) {
            problem = "Malformed header line: " + Shown(line);
        }
        // The status line owns its key: a header of that name must not replace it.
        if (name != "Response") {
            head.headers[std::string(name)] = std::string(Trim(line.substr(colon + 1)));
        }
    }
    if (first) {
        problem = "Empty response head";
    }
    return problem.empty();
}

}  // namespace Platform::Network::Http
