#pragma once
// The user's credential store of the operating system: one generic credential per target name, holding
// a user name and a secret. Secrets never pass through a file, a log line or an error text of this
// layer. Safe for concurrent use (the store itself serialises access). Failures throw: on Windows the
// rich error (the system's error number and text); on POSIX, where the store is the Secret Service, a
// runtime error that names the target and carries the service's message, and that begins "No Secret
// Service is reachable" when there is no session bus or no keyring daemon on it.
#include <optional>
#include <string>
#include <string_view>

namespace Platform::Credentials {

// Writes the credential of target, replacing one that exists; the secret is stored as its UTF-8 bytes
// without a terminating zero.
void Write(const std::string& target, const std::string& userName, std::string_view secret);

// True when a credential of exactly this target (same length, same characters) exists; false also when
// the store cannot be asked.
bool Exists(const std::string& target);

// The secret of target's credential, or nothing when no credential of exactly this target exists.
std::optional<std::string> Read(const std::string& target);

// Deletes target's credential when one of exactly this target exists; no credential is no failure.
void Delete(const std::string& target);

}  // namespace Platform::Credentials
