#include "StorageWire.h"

#include <pugixml.hpp>

#include <stdexcept>

namespace Vesk::CoreServices::impl {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr std::string_view kDavNamespace = "DAV:";

bool IsUnreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
           c == '_' || c == '~';
}

int HexValue(char c) {
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

std::string_view Trim(std::string_view text) {
    const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && space(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && space(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

std::string_view WithoutTrailingSlashes(std::string_view path) {
    while (!path.empty() && path.back() == '/') {
        path.remove_suffix(1);
    }
    return path;
}

// The namespace an element's name is in: the nearest declaration of its prefix (or of the default
// namespace) on the element or its ancestors; empty when none is declared.
std::string_view NamespaceOf(const pugi::xml_node& element) {
    const std::string_view name = element.name();
    const size_t colon = name.find(':');
    const std::string attribute =
        colon == std::string_view::npos ? std::string("xmlns") : "xmlns:" + std::string(name.substr(0, colon));
    for (pugi::xml_node node = element; node; node = node.parent()) {
        if (pugi::xml_attribute declared = node.attribute(attribute.c_str())) {
            return declared.value();
        }
    }
    return {};
}

bool IsDavElement(const pugi::xml_node& node, std::string_view localName) {
    if (node.type() != pugi::node_element) {
        return false;
    }
    std::string_view name = node.name();
    const size_t colon = name.find(':');
    if (colon != std::string_view::npos) {
        name.remove_prefix(colon + 1);
    }
    return name == localName && NamespaceOf(node) == kDavNamespace;
}

pugi::xml_node FirstDavChild(const pugi::xml_node& parent, std::string_view localName) {
    for (pugi::xml_node child : parent.children()) {
        if (IsDavElement(child, localName)) {
            return child;
        }
    }
    return {};
}

// The path of an href, which may be an absolute URL ("http://host/ws/") or an absolute path.
std::string_view HrefPath(std::string_view href) {
    const size_t scheme = href.find("://");
    if (scheme == std::string_view::npos) {
        return href;
    }
    const size_t slash = href.find('/', scheme + 3);
    return slash == std::string_view::npos ? std::string_view("/") : href.substr(slash);
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day) {
    year -= month <= 2 ? 1 : 0;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<int64_t>(dayOfEra) - 719468;
}

bool IsLeapYear(int64_t year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

// The number that count digits at text[at] spell; -1 when one of them is no digit.
int64_t Digits(std::string_view text, size_t at, size_t count) {
    int64_t value = 0;
    for (size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9') {
            return -1;
        }
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

}  // namespace

std::string PercentEncodeSegment(std::string_view segment) {
    std::string encoded;
    encoded.reserve(segment.size());
    for (char c : segment) {
        const auto byte = static_cast<unsigned char>(c);
        if (IsUnreserved(byte)) {
            encoded += c;
        } else {
            encoded += '%';
            encoded += kHexDigits[byte >> 4];
            encoded += kHexDigits[byte & 0x0F];
        }
    }
    return encoded;
}

std::string EncodeRelativePath(std::string_view path) {
    std::string encoded;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string_view::npos) {
            end = path.size();
        }
        if (end > start) {
            if (!encoded.empty()) {
                encoded += '/';
            }
            encoded += PercentEncodeSegment(path.substr(start, end - start));
        }
        start = end + 1;
    }
    return encoded;
}

std::string PercentDecode(std::string_view text) {
    std::string decoded;
    decoded.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            decoded += text[i];
            continue;
        }
        const bool complete = i + 2 < text.size();
        const int high = complete ? HexValue(text[i + 1]) : -1;
        const int low = complete ? HexValue(text[i + 2]) : -1;
        if (high < 0 || low < 0) {
            throw std::runtime_error("Invalid percent-encoding in '" + std::string(text) + "'");
        }
        decoded += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return decoded;
}

std::vector<std::string> MultistatusMemberNames(std::string_view xml, std::string_view folderPath) {
    pugi::xml_document document;
    const pugi::xml_parse_result parsed =
        document.load_buffer(xml.data(), xml.size(), pugi::parse_default, pugi::encoding_utf8);
    if (!parsed) {
        throw std::runtime_error("The folder listing is not well-formed XML (" + std::string(parsed.description()) +
                                 " at byte " + std::to_string(parsed.offset) + ")");
    }
    const pugi::xml_node root = document.document_element();
    if (!IsDavElement(root, "multistatus")) {
        throw std::runtime_error("The folder listing is not a WebDAV multistatus but <" + std::string(root.name()) +
                                 ">");
    }
    const std::string folder = PercentDecode(WithoutTrailingSlashes(HrefPath(folderPath)));
    std::vector<std::string> names;
    for (pugi::xml_node response : root.children()) {
        if (!IsDavElement(response, "response")) {
            continue;
        }
        const pugi::xml_node href = FirstDavChild(response, "href");
        if (!href) {
            throw std::runtime_error("The folder listing holds a response without an href");
        }
        const std::string_view encoded = WithoutTrailingSlashes(HrefPath(Trim(href.text().get())));
        if (PercentDecode(encoded) == folder) {
            continue;
        }
        // The segment is cut out before decoding: an encoded "/" belongs to the name.
        const size_t slash = encoded.rfind('/');
        std::string name = PercentDecode(slash == std::string_view::npos ? encoded : encoded.substr(slash + 1));
        if (!name.empty()) {
            names.push_back(std::move(name));
        }
    }
    return names;
}

bool IsSha256Text(std::string_view text) {
    if (text.size() != 64) {
        return false;
    }
    for (char c : text) {
        if (HexValue(c) < 0) {
            return false;
        }
    }
    return true;
}

std::optional<std::string> Sha256FromEntityTag(std::string_view tag) {
    tag = Trim(tag);
    if (tag.substr(0, 2) == "W/") {
        tag.remove_prefix(2);
    }
    if (tag.size() < 2 || tag.front() != '"' || tag.back() != '"') {
        return std::nullopt;
    }
    tag = tag.substr(1, tag.size() - 2);
    if (!IsSha256Text(tag)) {
        return std::nullopt;
    }
    std::string lower(tag);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'F') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return lower;
}

std::optional<int64_t> ParseImfFixdate(std::string_view text) {
    static constexpr std::string_view kDays[] = {"Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
    static constexpr std::string_view kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    // "Sun, 06 Nov 1994 08:49:37 GMT": every field sits at a fixed offset.
    text = Trim(text);
    if (text.size() != 29 || text.substr(3, 2) != ", " || text[7] != ' ' || text[11] != ' ' || text[16] != ' ' ||
        text[19] != ':' || text[22] != ':' || text.substr(25) != " GMT") {
        return std::nullopt;
    }
    bool dayKnown = false;
    for (std::string_view day : kDays) {
        dayKnown = dayKnown || text.substr(0, 3) == day;
    }
    unsigned month = 0;
    for (unsigned i = 0; i < 12; ++i) {
        if (text.substr(8, 3) == kMonths[i]) {
            month = i + 1;
        }
    }
    const int64_t day = Digits(text, 5, 2);
    const int64_t year = Digits(text, 12, 4);
    const int64_t hour = Digits(text, 17, 2);
    const int64_t minute = Digits(text, 20, 2);
    const int64_t second = Digits(text, 23, 2);
    static constexpr int kMonthDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (!dayKnown || month == 0 || day < 1 || year < 0 || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
        second < 0 || second > 60) {
        return std::nullopt;
    }
    const int64_t monthDays = kMonthDays[month - 1] + (month == 2 && IsLeapYear(year) ? 1 : 0);
    if (day > monthDays) {
        return std::nullopt;
    }
    // A leap second (":60") is the first second of the next minute here, as POSIX time has none.
    return DaysFromCivil(year, month, static_cast<unsigned>(day)) * 86400 + hour * 3600 + minute * 60 + second;
}

std::string Base64(const uint8_t* data, size_t size) {
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    text.reserve((size + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 3 <= size; i += 3) {
        const uint32_t group = (uint32_t{data[i]} << 16) | (uint32_t{data[i + 1]} << 8) | data[i + 2];
        text += kAlphabet[(group >> 18) & 0x3F];
        text += kAlphabet[(group >> 12) & 0x3F];
        text += kAlphabet[(group >> 6) & 0x3F];
        text += kAlphabet[group & 0x3F];
    }
    if (const size_t rest = size - i; rest > 0) {
        const uint32_t group = (uint32_t{data[i]} << 16) | (rest == 2 ? uint32_t{data[i + 1]} << 8 : 0);
        text += kAlphabet[(group >> 18) & 0x3F];
        text += kAlphabet[(group >> 12) & 0x3F];
        text += rest == 2 ? kAlphabet[(group >> 6) & 0x3F] : '=';
        text += '=';
    }
    return text;
}

std::string ReprDigestSha256(const std::array<uint8_t, 32>& digest) {
    return "sha-256=:" + Base64(digest.data(), digest.size()) + ":";
}

}  // namespace Vesk::CoreServices::impl
