#pragma once
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Support/TempFolder.h"
#include "WorkspaceLibrary.h"

namespace VeskHost {

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
        Held<Core::IErrorCode> error;
        EXPECT_TRUE(workspace->GetUuid(&uuid, error.Out())) << Message(error.Get());
        return Text(uuid);
    }

    // A memory image of a workspace (taken from a shared in-memory one).
    std::vector<unsigned char> Image(Data::Structures::_UUID* recordUuid = nullptr) {
        const auto uuid = NewUuid();
        if (recordUuid != nullptr) {
            *recordUuid = uuid;
        }
        Held<Vesk::Interfaces::IWorkspaceManager> workspace;
        Held<Core::IErrorCode> error;
        EXPECT_TRUE(Library().CreateInMemory(&uuid, workspace.Out(), error.Out())) << Message(error.Get());
        Held<Data::Interfaces::IArray> image;
        EXPECT_TRUE(workspace->Serialize(image.Out(), error.Out())) << Message(error.Get());
        return std::vector<unsigned char>(image->GetData(), image->GetData() + image->GetByteSize());
    }

    VeskTest::TempFolder folder_;

private:
    static WorkspaceLibrary* library_;
};

inline WorkspaceLibrary* HostTest::library_ = nullptr;

}  // namespace VeskHost
