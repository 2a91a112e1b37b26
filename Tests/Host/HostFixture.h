#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Support/TempFolder.h"
#include "WorkspaceLibrary.h"

namespace VeskHost {

using Rows = std::vector<std::vector<std::string>>;

// The error message of an operation in the error-code form, or an empty text when it succeeds.
template <class Call>
std::string Fails(Call&& call) {
    Held<Core::IErrorCode> error;
    const bool ok = call(error.Out());
    EXPECT_EQ(ok, !error) << "the result and the error object disagree";
    return error ? std::string(error->GetMessage(), error->GetMessageLength()) : std::string();
}

// The call in the error-code form, its error object named e.
#define EXPECT_OK(call) EXPECT_EQ(::VeskHost::Fails([&](Core::IErrorCode** e) { return call; }), "")
#define ASSERT_OK(call) ASSERT_EQ(::VeskHost::Fails([&](Core::IErrorCode** e) { return call; }), "")
#define FAILURE_OF(call) ::VeskHost::Fails([&](Core::IErrorCode** e) { return call; })

// The name of a workspace object, or "(none)".
template <class T>
std::string NameOf(T* object) {
    Held<Data::Interfaces::IString> name;
    EXPECT_OK(object->GetName(name.Out(), e));
    return name ? name->GetText() : "(none)";
}

// The text of a property value, whether held inline or by an object.
inline std::string ValueText(const Data::Structures::_VARIANT& raw) {
    if (Data::Structures::VariantFormOf(raw) == Data::Structures::VF_Inline) {
        return raw.text;
    }
    if (auto* secure = dynamic_cast<Data::Interfaces::ISecureString*>(raw.object)) {
        return std::string(secure->GetText(), secure->GetLength());
    }
    auto* text = dynamic_cast<Data::Interfaces::IString*>(raw.object);
    return text != nullptr ? text->GetText() : "(not a text)";
}

class HostTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { library_ = new WorkspaceLibrary(); }
    static void TearDownTestSuite() {
        delete library_;
        library_ = nullptr;
    }

    WorkspaceLibrary& Library() { return *library_; }

    Data::Structures::_UUID NewUuid() {
        Data::Structures::_UUID uuid{};
        EXPECT_TRUE(Library().NewUuid(&uuid));
        return uuid;
    }

    std::string Text(const Data::Structures::_UUID& uuid) {
        Held<Data::Interfaces::IString> text;
        EXPECT_TRUE(Library().UuidToString(&uuid, text.Out()));
        return text->GetText();
    }

    static std::string Message(Core::IErrorCode* error) {
        return error != nullptr ? std::string(error->GetMessage(), error->GetMessageLength()) : "(no error object)";
    }

    // The record's UUID as the workspace reports it.
    std::string UuidOf(Vesk::Interfaces::IWorkspaceManager* workspace) {
        Data::Structures::_UUID uuid{};
        EXPECT_OK(workspace->GetUuid(&uuid, e));
        return Text(uuid);
    }

    // An empty property set that lives as long as the test.
    Data::Interfaces::IProperties* NoProperties() {
        if (!noProperties_) {
            EXPECT_TRUE(Library().CreateProperties(noProperties_.Out(), nullptr));
        }
        return noProperties_.Get();
    }

    // A memory image of a workspace (taken from a shared in-memory one).
    std::vector<unsigned char> Image(Data::Structures::_UUID* recordUuid = nullptr) {
        const auto uuid = NewUuid();
        if (recordUuid != nullptr) {
            *recordUuid = uuid;
        }
        Held<Vesk::Interfaces::IWorkspaceManager> workspace;
        EXPECT_OK(Library().CreateInMemory(&uuid, workspace.Out(), e));
        Held<Data::Interfaces::IArray> image;
        EXPECT_OK(workspace->Serialize(image.Out(), e));
        return std::vector<unsigned char>(image->GetData(), image->GetData() + image->GetByteSize());
    }

    VeskTest::TempFolder folder_;

private:
    Held<Data::Interfaces::IProperties> noProperties_;
    static WorkspaceLibrary* library_;
};

inline WorkspaceLibrary* HostTest::library_ = nullptr;

}  // namespace VeskHost
