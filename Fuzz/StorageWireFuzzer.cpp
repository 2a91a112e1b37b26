// Feeds arbitrary bytes to the readers of the storage protocol's texts and checks what must hold for
// every input: a listing is read or refused with a runtime error, never anything worse; every name it
// gives is non-empty and survives encoding; names and tags read back the same from their written form.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string>

#include "StorageWire.h"

namespace {

using namespace Vesk::CoreServices::impl;

void Check(bool condition, const char* what, const std::string& text) {
    if (!condition) {
        std::fprintf(stderr, "Storage text invariant broken: %s\ninput: [%s]\n", what, text.c_str());
        std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    Check(PercentDecode(PercentEncodeSegment(text)) == text, "a segment does not survive encoding", text);
    if (std::optional<std::string> sha = Sha256FromEntityTag(text)) {
        Check(IsSha256Text(*sha) && Sha256FromEntityTag("\"" + *sha + "\"") == sha, "a tag does not read back", text);
    }
    if (std::optional<int64_t> seconds = ParseImfFixdate(text)) {
        // From 0000-01-01 to the end of 9999: four digits of year, nothing else.
        Check(*seconds >= -62167219200 && *seconds < 253402300800, "a date outside the four-digit years", text);
    }
    try {
        for (const std::string& name : MultistatusMemberNames(text, "/s/")) {
            Check(!name.empty(), "an empty name", text);
            Check(PercentDecode(PercentEncodeSegment(name)) == name, "a name does not survive encoding", text);
        }
    } catch (const std::runtime_error&) {
        // Refusing is a fine answer to arbitrary bytes.
    }
    return 0;
}
