// Feeds arbitrary bytes to the response-head parser and checks what must hold for every head: it
// ends, says why it refuses, and a head it accepts reads back the same from its own written form.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Platform/HttpClient.h"

namespace {

void Check(bool condition, const char* what, const std::string& text) {
    if (!condition) {
        std::fprintf(stderr, "Head invariant broken: %s\ninput: [%s]\n", what, text.c_str());
        std::abort();
    }
}

bool IsTrimmed(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    Platform::Network::Http::ResponseHead head;
    std::string problem;
    const bool ok = Platform::Network::Http::ParseResponseHead(text, head, problem);
    Check(ok == problem.empty(), "the result and the problem disagree", text);
    // Messages quote at most a bounded part of a bad line.
    Check(problem.size() < 128, "the problem text grows with the input", text);
    for (const auto& [name, value] : head.headers) {
        Check(value.empty() || (!IsTrimmed(value.front()) && !IsTrimmed(value.back())), "untrimmed value", text);
        Check(value.find('\n') == std::string::npos, "a value spans lines", text);
        if (name != "Response") {
            Check(name.find(':') == std::string::npos, "a name holds a colon", text);
        }
    }
    if (!ok) {
        return 0;
    }
    Check(head.statusCode >= 100 && head.statusCode <= 999, "an accepted status is not three digits", text);
    Check(head.headers.count("Response") == 1, "no status line", text);
    // Written out again, an accepted head reads back the same.
    std::string written = head.headers.at("Response") + "\r\n";
    for (const auto& [name, value] : head.headers) {
        if (name != "Response") {
            written += name + ": " + value + "\r\n";
        }
    }
    written += "\r\n";
    Platform::Network::Http::ResponseHead again;
    std::string againProblem;
    Check(Platform::Network::Http::ParseResponseHead(written, again, againProblem), "the written form is refused",
          text);
    Check(again.statusCode == head.statusCode && again.headers == head.headers, "the round trip changed the head",
          text);
    return 0;
}
