#include "Remotes.h"

#include "Library.h"

namespace VeskTool {
namespace {

namespace DI = Data::Interfaces;
namespace DS = Data::Structures;

// A value record that owns one reference to an object and gives it back at the end.
struct OwnedValue {
    DS::_VARIANT raw{};
    OwnedValue(Core::IObject* object, uint16_t typeCode) {
        raw.type = uint32_t{typeCode} | DS::VF_Reference;
        raw.object = object;
    }
    OwnedValue() { raw.type = DS::VT_Null; }
    ~OwnedValue() { DS::VariantClear(&raw); }
    OwnedValue(const OwnedValue&) = delete;
    OwnedValue& operator=(const OwnedValue&) = delete;
};

void SetText(DI::IProperties* remote, const char* name, const std::string& text) {
    Call([&](Core::IErrorCode** e) { return remote->Register("", name, "", "", "", DS::VT_String, false, e); },
         "The remote could not be described");
    Handle<DI::IString> string;
    if (!Data_CreateString(string.Out())) {
        throw LibraryError("A string could not be made");
    }
    Call([&](Core::IErrorCode** e) { return string->Set(text.data(), text.size(), e); }, "A string could not be set");
    OwnedValue value(string.Get(), DS::VT_String);
    string->AddReference();  // the record's own reference
    Call([&](Core::IErrorCode** e) { return remote->SetValue(name, &value.raw, e); }, "The remote could not be set");
}

Handle<DI::IProperties> Remote(const std::string& alias, const std::string& url) {
    Handle<DI::IProperties> remote;
    Call([&](Core::IErrorCode** e) { return Data_CreateProperties(remote.Out(), e); }, "A remote could not be made");
    SetText(remote.Get(), "Alias", alias);
    SetText(remote.Get(), "Url", url);
    return remote;
}

std::string TextProperty(DI::IProperties* remote, const char* name) {
    OwnedValue value;
    Call([&](Core::IErrorCode** e) { return remote->GetValue(name, &value.raw, e); }, "The remote could not be read");
    auto* text =
        DS::VariantFormOf(value.raw) == DS::VF_Reference ? dynamic_cast<DI::IString*>(value.raw.object) : nullptr;
    if (text != nullptr) {
        return TextOf(text);
    }
    return DS::VariantTypeCode(value.raw) == DS::VT_String ? std::string(value.raw.text) : std::string();
}

}  // namespace

void AddRemote(const std::string& alias, const std::string& url, const std::optional<std::string>& apiKey) {
    Handle<DI::IProperties> remote = Remote(alias, url);
    if (apiKey) {
        Call(
            [&](Core::IErrorCode** e) {
                return remote->Register("", "ApiKey", "API Key with access right", "Data::ISecureString", "",
                                        DS::VT_IObject, false, e);
            },
            "The remote could not be described");
        Handle<DI::ISecureString> key;
        Call(
            [&](Core::IErrorCode** e) { return Data_CreateSecureString(key.Out(), apiKey->data(), apiKey->size(), e); },
            "The API key could not be held");
        OwnedValue value(key.Get(), DS::VT_IObject);
        key->AddReference();
        Call([&](Core::IErrorCode** e) { return remote->SetValue("ApiKey", &value.raw, e); },
             "The API key could not be set");
    }
    Call([&](Core::IErrorCode** e) { return VeskWorkspace_AddWorkspaceRemote(remote.Get(), e); },
         "The remote could not be added");
}

std::vector<RemoteEntry> ListRemotes() {
    Handle<DI::IObjectList> list;
    Call([&](Core::IErrorCode** e) { return VeskWorkspace_GetWorkspaceRemotes(list.Out(), e); },
         "The remotes could not be read");
    std::vector<RemoteEntry> remotes;
    for (uint64_t i = 0; i < list->GetCount(); ++i) {
        Handle<DI::IProperties> remote = ItemAs<DI::IProperties>(list.Get(), i);
        remotes.push_back({TextProperty(remote.Get(), "Alias"), TextProperty(remote.Get(), "Url")});
    }
    return remotes;
}

bool RemoveRemote(const std::string& alias) {
    // The key is stored under the alias together with the URL, so the URL comes from the registry.
    for (const RemoteEntry& entry : ListRemotes()) {
        if (entry.alias == alias) {
            Handle<DI::IProperties> remote = Remote(entry.alias, entry.url);
            Call([&](Core::IErrorCode** e) { return VeskWorkspace_RemoveWorkspaceRemote(remote.Get(), e); },
                 "The remote could not be removed");
            return true;
        }
    }
    return false;
}

RemoteWithKey FindRemote(const std::string& alias) {
    for (const RemoteEntry& entry : ListRemotes()) {
        if (entry.alias != alias) {
            continue;
        }
        Handle<DI::IProperties> remote = Remote(entry.alias, entry.url);
        Call([&](Core::IErrorCode** e) { return VeskWorkspace_ReadRemoteSecret(remote.Get(), e); },
             "The server's API key could not be read");
        RemoteWithKey found;
        found.url = entry.url;
        OwnedValue key;
        if (remote->Contains("ApiKey") && remote->GetValue("ApiKey", &key.raw, nullptr) &&
            DS::VariantFormOf(key.raw) == DS::VF_Reference) {
            if (auto* secure = dynamic_cast<DI::ISecureString*>(key.raw.object)) {
                secure->AddReference();
                *found.key.Out() = secure;
            }
        }
        return found;
    }
    throw LibraryError("no remote named " + alias + " (see 'vesk remote ls')");
}

void ClearRemotes() {
    Call([](Core::IErrorCode** e) { return VeskWorkspace_ClearWorkspaceRemotes(e); },
         "The remotes could not be removed");
}

}  // namespace VeskTool
