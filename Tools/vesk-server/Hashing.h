#pragma once
// SHA-256 and the text forms the protocol uses for it.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "WorkspaceStore.h"

typedef struct evp_md_ctx_st EVP_MD_CTX;

namespace VeskServer {

// Incremental SHA-256. Owner thread only.
class Sha256Hasher {
public:
    Sha256Hasher();  // throws when the digest cannot be set up
    ~Sha256Hasher();
    Sha256Hasher(const Sha256Hasher&) = delete;
    Sha256Hasher& operator=(const Sha256Hasher&) = delete;
    void Update(const char* data, std::size_t size);
    // The digest of everything given; the hasher is spent afterwards.
    Sha256 Finish();

private:
    EVP_MD_CTX* context_;
};

// 64 lower-case hex digits.
std::string ToHex(const Sha256& sha);
// The value of one hexadecimal digit (either case), or -1 for any other character.
int HexDigitValue(char c);

// Parses 64 hex digits (either case); nullopt for anything else.
std::optional<Sha256> FromHex(std::string_view text);
std::string ToBase64(const Sha256& sha);
// Parses a digest header value ("sha-256=:<base64>:", other algorithms alongside allowed); nullopt
// when it holds no well-formed sha-256 member.
std::optional<Sha256> ParseDigestHeader(std::string_view value);

}  // namespace VeskServer
