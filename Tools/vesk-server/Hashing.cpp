#include "Hashing.h"

#include <openssl/evp.h>

#include <stdexcept>

namespace VeskServer {

Sha256Hasher::Sha256Hasher() : context_(EVP_MD_CTX_new()) {
    if (!context_ || EVP_DigestInit_ex(context_, EVP_sha256(), nullptr) != 1) {
        EVP_MD_CTX_free(context_);
        throw std::runtime_error("SHA-256 is not available");
    }
}

Sha256Hasher::~Sha256Hasher() {
    EVP_MD_CTX_free(context_);
}

void Sha256Hasher::Update(const char* data, std::size_t size) {
    if (size > 0 && EVP_DigestUpdate(context_, data, size) != 1) {
        throw std::runtime_error("SHA-256 update failed");
    }
}

Sha256 Sha256Hasher::Finish() {
    Sha256 sha{};
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context_, sha.data(), &length) != 1 || length != sha.size()) {
        throw std::runtime_error("SHA-256 final failed");
    }
    return sha;
}

std::string ToHex(const Sha256& sha) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string text;
    text.reserve(64);
    for (unsigned char b : sha) {
        text += kHex[b >> 4];
        text += kHex[b & 15];
    }
    return text;
}

int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::optional<Sha256> FromHex(std::string_view text) {
    if (text.size() != 64) {
        return std::nullopt;
    }
    Sha256 sha{};
    for (std::size_t i = 0; i < sha.size(); ++i) {
        const int high = HexDigitValue(text[2 * i]);
        const int low = HexDigitValue(text[2 * i + 1]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        sha[i] = static_cast<unsigned char>(high * 16 + low);
    }
    return sha;
}

std::string ToBase64(const Sha256& sha) {
    unsigned char out[64] = {};
    const int n = EVP_EncodeBlock(out, sha.data(), static_cast<int>(sha.size()));
    return std::string(reinterpret_cast<const char*>(out), static_cast<std::size_t>(n));
}

std::optional<Sha256> ParseDigestHeader(std::string_view value) {
    // A dictionary of "algorithm=:base64:" members separated by commas (RFC 9530).
    while (!value.empty()) {
        const std::size_t comma = value.find(',');
        std::string_view member = value.substr(0, comma);
        value = comma == std::string_view::npos ? std::string_view() : value.substr(comma + 1);
        while (!member.empty() && (member.front() == ' ' || member.front() == '\t'))
            member.remove_prefix(1);
        while (!member.empty() && (member.back() == ' ' || member.back() == '\t'))
            member.remove_suffix(1);
        const std::size_t equals = member.find('=');
        if (equals == std::string_view::npos) {
            continue;
        }
        std::string algorithm(member.substr(0, equals));
        for (auto& c : algorithm)
            c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        if (algorithm != "sha-256") {
            continue;
        }
        std::string_view encoded = member.substr(equals + 1);
        // The 32 bytes take exactly 44 base64 characters with one "=" of padding.
        if (encoded.size() != 46 || encoded.front() != ':' || encoded.back() != ':') {
            return std::nullopt;
        }
        encoded = encoded.substr(1, 44);
        unsigned char out[48] = {};
        const int n = EVP_DecodeBlock(out, reinterpret_cast<const unsigned char*>(encoded.data()), 44);
        // EVP_DecodeBlock counts the padding as a zero byte.
        if (n != 33 || encoded[43] != '=' || encoded[42] == '=') {
            return std::nullopt;
        }
        Sha256 sha{};
        std::copy(out, out + 32, sha.begin());
        return sha;
    }
    return std::nullopt;
}

}  // namespace VeskServer
