#include "Platform/CredentialStore.h"

#include <libsecret/secret.h>

#include <memory>
#include <stdexcept>
#include <string>

namespace Platform::Credentials {
namespace {

// One item per target in the user's default collection. The user name rides along as a second
// attribute so that other Secret Service clients show whose key an item holds; lookups go by target alone.
const SecretSchema* Schema() {
    static const SecretSchema schema = {"org.vesk.Workspace.Remote",
                                        SECRET_SCHEMA_NONE,
                                        {
                                            {"target", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                            {"user", SECRET_SCHEMA_ATTRIBUTE_STRING},
                                            {nullptr, SECRET_SCHEMA_ATTRIBUTE_STRING},
                                        },
                                        0,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr,
                                        nullptr};
    return &schema;
}

struct ErrorFreer {
    void operator()(GError* error) const noexcept { g_error_free(error); }
};
using ErrorHolder = std::unique_ptr<GError, ErrorFreer>;

struct HashTableFreer {
    void operator()(GHashTable* table) const noexcept { g_hash_table_unref(table); }
};
using AttributeTable = std::unique_ptr<GHashTable, HashTableFreer>;

// The attributes that select target's item; only the target, since it alone names the credential.
AttributeTable TargetAttributes(const std::string& target) {
    AttributeTable attributes(g_hash_table_new_full(g_str_hash, g_str_equal, g_free, g_free));
    g_hash_table_insert(attributes.get(), g_strdup("target"), g_strdup(target.c_str()));
    return attributes;
}

// No session bus, no daemon on it, or no daemon that can be started: nothing the library can fix, and
// the user must hear that the store itself is missing rather than that one operation went wrong.
bool IsUnreachable(const GError* error) {
    if (error->domain == G_IO_ERROR) {
        return true;
    }
    if (error->domain == G_DBUS_ERROR) {
        return error->code == G_DBUS_ERROR_SERVICE_UNKNOWN || error->code == G_DBUS_ERROR_NO_SERVER ||
               error->code == G_DBUS_ERROR_NAME_HAS_NO_OWNER || error->code == G_DBUS_ERROR_SPAWN_EXEC_FAILED ||
               error->code == G_DBUS_ERROR_SPAWN_FAILED || error->code == G_DBUS_ERROR_SPAWN_CHILD_EXITED ||
               error->code == G_DBUS_ERROR_SPAWN_SERVICE_NOT_FOUND || error->code == G_DBUS_ERROR_NO_REPLY ||
               error->code == G_DBUS_ERROR_DISCONNECTED || error->code == G_DBUS_ERROR_TIMEOUT;
    }
    return false;
}

// The one place where this backend's failures become exceptions. The text carries the target and the
// Secret Service's own message, never the secret.
[[noreturn]] void Fail(const GError* error, const std::string& target, const char* consequence) {
    const std::string reason = error->message != nullptr ? error->message : "unknown error";
    if (IsUnreachable(error)) {
        throw std::runtime_error("No Secret Service is reachable (" + reason + "): the secret of " + target + " " +
                                 consequence);
    }
    throw std::runtime_error("The Secret Service failed (" + reason + "): the secret of " + target + " " + consequence);
}

struct ValueFreer {
    void operator()(SecretValue* value) const noexcept { secret_value_unref(value); }
};
using ValueHolder = std::unique_ptr<SecretValue, ValueFreer>;

// The secret of target's item, or null when the store holds no item of this schema for exactly target
// (in any collection); the Secret Service compares attribute values whole, so a prefix or a longer name
// is another target. The existence check goes through here too: searching for item objects instead
// would build a proxy per item, and GLib's asynchronous initialisation of those leaks a little each time.
ValueHolder Lookup(const std::string& target, GError** error) {
    const AttributeTable attributes = TargetAttributes(target);
    SecretService* service = secret_service_get_sync(SECRET_SERVICE_NONE, nullptr, error);
    if (service == nullptr) {
        return nullptr;
    }
    ValueHolder value(secret_service_lookup_sync(service, Schema(), attributes.get(), nullptr, error));
    g_object_unref(service);
    return value;
}

}  // namespace

void Write(const std::string& target, const std::string& userName, std::string_view secret) {
    AttributeTable attributes = TargetAttributes(target);
    g_hash_table_insert(attributes.get(), g_strdup("user"), g_strdup(userName.c_str()));
    const std::string label = "Vesk workspace server " + target;
    // SecretValue keeps the bytes as given (zero bytes included) and wipes its copy when it goes.
    SecretValue* value = secret_value_new(secret.data(), static_cast<gssize>(secret.size()), "text/plain");
    GError* raw = nullptr;
    // The store replaces an item with the same attributes; the user name is one of them, so an item of
    // the target under another user name is cleared first to keep one item per target.
    secret_password_clearv_sync(Schema(), TargetAttributes(target).get(), nullptr, &raw);
    if (raw == nullptr) {
        SecretService* service = secret_service_get_sync(SECRET_SERVICE_NONE, nullptr, &raw);
        if (service != nullptr) {
            secret_service_store_sync(service, Schema(), attributes.get(), SECRET_COLLECTION_DEFAULT, label.c_str(),
                                      value, nullptr, &raw);
            g_object_unref(service);
        }
    }
    secret_value_unref(value);
    const ErrorHolder error(raw);
    if (error) {
        Fail(error.get(), target, "was not stored");
    }
}

bool Exists(const std::string& target) {
    GError* raw = nullptr;
    const ValueHolder value = Lookup(target, &raw);
    const ErrorHolder error(raw);
    return value != nullptr && !error;
}

std::optional<std::string> Read(const std::string& target) {
    GError* raw = nullptr;
    const ValueHolder value = Lookup(target, &raw);
    const ErrorHolder error(raw);
    if (error) {
        Fail(error.get(), target, "could not be read");
    }
    if (!value) {
        return std::nullopt;
    }
    gsize length = 0;
    const gchar* bytes = secret_value_get(value.get(), &length);
    return std::string(bytes, length);
}

void Delete(const std::string& target) {
    GError* raw = nullptr;
    secret_password_clearv_sync(Schema(), TargetAttributes(target).get(), nullptr, &raw);
    const ErrorHolder error(raw);
    if (error) {
        Fail(error.get(), target, "was not deleted");
    }
}

}  // namespace Platform::Credentials
