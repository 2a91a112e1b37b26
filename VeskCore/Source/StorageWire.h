#pragma once
// The texts that the storage service and its clients exchange: percent-encoded paths, WebDAV listings,
// entity tags, HTTP dates and digests. Pure functions, safe from any thread.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace Vesk::CoreServices::impl {

// Percent-encodes every byte of segment except the unreserved ones (letters, digits, "-._~").
std::string PercentEncodeSegment(std::string_view segment);

// A path relative to a storage root ("a/b c.txt", "/"), each segment percent-encoded, without a leading
// "/"; empty segments are dropped, so "/" and "" both name the root itself.
std::string EncodeRelativePath(std::string_view path);

// The bytes that text stands for; throws for a "%" that is not followed by two hexadecimal digits.
std::string PercentDecode(std::string_view text);

// The names of the members that a WebDAV 207 answer lists for the folder at folderPath (the request
// path as sent, percent-encoded): the last segment of each response's href, percent-decoded and without
// a trailing "/", in document order, leaving out the response for the folder itself. Elements count
// when they are in the "DAV:" namespace, whatever their prefix. Throws, naming what is wrong, for text
// that is no well-formed XML (a cut answer, say), a root that is no multistatus, or a response without
// an href.
std::vector<std::string> MultistatusMemberNames(std::string_view xml, std::string_view folderPath);

// The SHA-256 that an entity tag carries: 64 hexadecimal characters in quotes, optionally after "W/",
// returned in lower case; nullopt for anything else.
std::optional<std::string> Sha256FromEntityTag(std::string_view tag);

// Whether text is exactly 64 hexadecimal characters.
bool IsSha256Text(std::string_view text);

// Seconds since 1970-01-01T00:00:00Z of an IMF-fixdate ("Sun, 06 Nov 1994 08:49:37 GMT"); nullopt for
// any other text, including out-of-range fields.
std::optional<int64_t> ParseImfFixdate(std::string_view text);

// Standard base64 with padding (RFC 4648, section 4).
std::string Base64(const uint8_t* data, size_t size);

// The Repr-Digest header value for a SHA-256 digest: "sha-256=:<base64>:" (RFC 9530).
std::string ReprDigestSha256(const std::array<uint8_t, 32>& digest);

}  // namespace Vesk::CoreServices::impl
