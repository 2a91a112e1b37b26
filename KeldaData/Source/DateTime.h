#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "Core/Object.h"
#include "Vesk/Data/IDateTime.h"

namespace Data::impl {

// 100-nanosecond ticks per unit, and the POSIX epoch (1970-01-01) in ticks since 1601-01-01.
inline constexpr int64_t kTicksPerMillisecond = 10'000;
inline constexpr int64_t kTicksPerSecond = 10'000'000;
inline constexpr int64_t kPosixEpochTicks = 116'444'736'000'000'000;

// A point in time as signed 100-ns ticks since 1601-01-01T00:00:00Z. Signed, so that dates before
// 1970 (and even before 1601) keep their place on the time line.
class DateTimeImpl final : public Core::ObjectT<Interfaces::IDateTime> {
public:
    explicit DateTimeImpl(int64_t ticks) : ticks_(ticks) {}

    double GetPosixTime() override;
    uint64_t GetFileTime() override { return static_cast<uint64_t>(ticks_); }
    int64_t GetMilliseconds() override;
    void AddMilliseconds(double milliseconds) override;
    const char* GetText() override;
    int32_t Compare(Interfaces::IDateTime* other) override;

    int64_t Ticks() const { return ticks_; }

private:
    ~DateTimeImpl() override = default;
    int64_t ticks_;
    // The last text handed out by GetText; apart from the object, since few dates are ever asked for it
    // and a workspace holds two per object.
    std::unique_ptr<std::string> text_;
};

// ISO 8601 text of a point in time: UTC, milliseconds, "Z".
std::string FormatIso8601(int64_t ticks);

// Parses YYYY-MM-DDTHH:MM:SS[.fraction][Z|+HH:MM|-HH:MM] (a blank may stand for the T; no zone
// means UTC) into ticks; anything else throws a message naming the text.
int64_t ParseIso8601(std::string_view text);

// Ticks for a POSIX time in whole units (seconds: kTicksPerSecond); throws when out of range.
int64_t TicksFromPosix(int64_t units, int64_t ticksPerUnit);

// The current time in ticks.
int64_t CurrentTicks();

}  // namespace Data::impl
