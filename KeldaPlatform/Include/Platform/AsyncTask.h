#pragma once
#include <stdexcept>
#include <string>
#include <utility>

#include "Core/Ptr.h"
#include "Core/TypeName.h"
#include "Core/Variant.h"
#include "Platform/IAsyncTask.h"

namespace Platform::Threading {

// A task's result seen as an object of interface T. Fails with the task's error when the result is
// one, and when the result is an empty reference, an object of another interface or no reference.
template <class T>
Core::Ptr<T> TaskResultAs(const Data::Variant& result) {
    using namespace Data::Structures;
    const _VARIANT& raw = result.Raw();
    const bool reference = VariantFormOf(raw) == VF_Reference;
    if (VariantTypeCode(raw) == VT_ErrorCode && reference && raw.object != nullptr) {
        if (auto* error = dynamic_cast<Core::IErrorCode*>(raw.object)) {
            throw std::runtime_error(std::string(error->GetMessage(), error->GetMessageLength()));
        }
    }
    // Only an empty reference counts as "no result". A Null record (what a cancelled task is left
    // with) is held inline, so it is refused below as a value that is not a reference.
    if (reference && raw.object == nullptr) {
        throw std::runtime_error("Result is nullptr! Did you set the result? Cancelled tasks do not have any result!");
    }
    if (!reference) {
        throw std::runtime_error(
            "Task result must be of reference type (derived from Core::IObject)! Current type is: " +
            Core::TypeName<T>());
    }
    T* target = dynamic_cast<T*>(raw.object);
    if (target == nullptr) {
        throw std::runtime_error("Cannot cast to desired result type: IObject -> " + Core::TypeName<T>());
    }
    return Core::Ptr<T>(target);
}

// The value-type handle on a task that the library passes around: copying adds a reference. One
// handle belongs to one thread at a time, like any value; the task behind it is safe for concurrent
// use, so copies may be used on different threads.
class AsyncTask {
public:
    AsyncTask() = default;
    explicit AsyncTask(Core::Ptr<Interfaces::IAsyncTask> task) : task_(std::move(task)) {}

    explicit operator bool() const noexcept { return static_cast<bool>(task_); }
    Interfaces::IAsyncTask* operator->() const { return task_.operator->(); }
    const Core::Ptr<Interfaces::IAsyncTask>& Get() const noexcept { return task_; }

    // A copy of the task's result (Null when it has none).
    Data::Variant Result() const {
        Data::Variant value;
        task_->GetResult(value.Receive());
        return value;
    }
    // The result as an object of interface T; throws as TaskResultAs does.
    template <class T>
    Core::Ptr<T> ResultAs() const {
        return TaskResultAs<T>(Result());
    }

private:
    Core::Ptr<Interfaces::IAsyncTask> task_;
};

}  // namespace Platform::Threading
