#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>

#include "DataTestSupport.h"

namespace DataTest {
namespace {

constexpr uint64_t kPosixEpochFileTime = 116'444'736'000'000'000ull;

Ptr<IDateTime> FromText(const char* text) {
    Ptr<IDateTime> time;
    Core::ErrorCode error;
    EXPECT_TRUE(Data_CreateDateTimeFromIso8601(text, time.Receive(), error.Receive())) << error.Message();
    return time;
}

Ptr<IDateTime> FromMilliseconds(int64_t milliseconds) {
    auto time =
        Out<IDateTime>([&](auto p) { return Data_CreateDateTimeFromPosixMilliseconds(milliseconds, p, nullptr); });
    return time;
}

TEST(DateTime, TextRoundTripsAndZonesMeetInUtc) {
    Ptr<IDateTime> time = FromText("2026-12-06T02:41:09.123Z");
    EXPECT_STREQ(time->GetText(), "2026-12-06T02:41:09.123Z");
    EXPECT_EQ(time->GetMilliseconds(), 1'796'524'869'123);
    EXPECT_DOUBLE_EQ(time->GetPosixTime(), 1'796'524'869.123);

    // The same instant written with offsets, a blank separator, no zone, or finer fractions.
    for (const char* text : {"2026-12-06T03:41:09.123+01:00", "2026-12-05T21:11:09.123-05:30",
                             "2026-12-06 02:41:09.123Z", "2026-12-06T02:41:09.123", "2026-12-06T04:41:09.123+0200"}) {
        Ptr<IDateTime> same = FromText(text);
        ASSERT_TRUE(same) << text;
        EXPECT_STREQ(same->GetText(), "2026-12-06T02:41:09.123Z") << text;
        EXPECT_EQ(same->Compare(time.Get()), 0) << text;
    }
    EXPECT_STREQ(FromText("2026-12-06T02:41:09Z")->GetText(), "2026-12-06T02:41:09.000Z");
    EXPECT_STREQ(FromText("2026-12-06T02:41:09.5Z")->GetText(), "2026-12-06T02:41:09.500Z");
    // Finer fractions are kept to 100 ns but the text shows whole milliseconds only.
    Ptr<IDateTime> fine = FromText("2026-12-06T02:41:09.12399999Z");
    EXPECT_STREQ(fine->GetText(), "2026-12-06T02:41:09.123Z");
    EXPECT_EQ(fine->GetFileTime() - time->GetFileTime(), 9999u);
    EXPECT_EQ(fine->Compare(time.Get()), 1);
}

TEST(DateTime, TimesBeforeTheEpochAndFileTimes) {
    Ptr<IDateTime> early = FromMilliseconds(-1500);
    EXPECT_STREQ(early->GetText(), "1969-12-31T23:59:58.500Z");
    EXPECT_EQ(early->GetMilliseconds(), -1500);
    EXPECT_DOUBLE_EQ(early->GetPosixTime(), -1.5);
    EXPECT_EQ(early->GetFileTime(), kPosixEpochFileTime - 15'000'000);

    auto second = Out<IDateTime>([&](auto p) { return Data_CreateDateTimeFromPosixTime(-1, p, nullptr); });
    EXPECT_STREQ(second->GetText(), "1969-12-31T23:59:59.000Z");
    EXPECT_EQ(FromText("1900-01-01T00:00:00Z")->GetPosixTime(), -2'208'988'800.0);
    // Part of a millisecond before the epoch still belongs to the previous millisecond.
    auto justBefore =
        Out<IDateTime>([&](auto p) { return Data_CreateDateTimeFromFileTime(kPosixEpochFileTime - 1, p, nullptr); });
    EXPECT_EQ(justBefore->GetMilliseconds(), -1);
    EXPECT_STREQ(justBefore->GetText(), "1969-12-31T23:59:59.999Z");

    auto origin = Out<IDateTime>([&](auto p) { return Data_CreateDateTimeFromFileTime(0, p, nullptr); });
    EXPECT_STREQ(origin->GetText(), "1601-01-01T00:00:00.000Z");
    EXPECT_EQ(FromText("1601-01-01T00:00:00Z")->GetFileTime(), 0u);
    auto fine =
        Out<IDateTime>([&](auto p) { return Data_CreateDateTimeFromFileTime(kPosixEpochFileTime + 1234, p, nullptr); });
    EXPECT_EQ(fine->GetFileTime(), kPosixEpochFileTime + 1234) << "100-ns ticks survive";

    Ptr<IDateTime> outOfRange;
    EXPECT_NE(
        FailureOf([&](auto e) { return Data_CreateDateTimeFromPosixTime(INT64_MAX / 1000, outOfRange.Receive(), e); }),
        "");
    EXPECT_FALSE(outOfRange);
}

TEST(DateTime, LeapYearsAndArithmetic) {
    EXPECT_STREQ(FromText("2024-02-29T12:00:00Z")->GetText(), "2024-02-29T12:00:00.000Z");
    EXPECT_STREQ(FromText("2000-02-29T00:00:00Z")->GetText(), "2000-02-29T00:00:00.000Z");
    Ptr<IDateTime> time = FromText("2024-02-28T23:59:59.999Z");
    time->AddMilliseconds(1);
    EXPECT_STREQ(time->GetText(), "2024-02-29T00:00:00.000Z");
    time->AddMilliseconds(86'400'000.0);
    EXPECT_STREQ(time->GetText(), "2024-03-01T00:00:00.000Z");
    const uint64_t before = time->GetFileTime();
    time->AddMilliseconds(-0.25);
    EXPECT_EQ(time->GetFileTime(), before - 2500);

    Ptr<IDateTime> later = FromMilliseconds(1);
    Ptr<IDateTime> earlier = FromMilliseconds(-1);
    EXPECT_EQ(earlier->Compare(later.Get()), -1);
    EXPECT_EQ(later->Compare(earlier.Get()), 1);
}

TEST(DateTime, MalformedTextFailsNamingTheText) {
    for (const char* text :
         {"", "not a date", "2023-02-29T00:00:00Z", "1900-02-29T00:00:00Z", "2026-13-01T00:00:00Z", "2026-12-06",
          "2026-12-06T24:00:00Z", "2026-12-06T02:41:60Z", "2026-12-06T02:41:09.Z", "2026-12-06T02:41:09Zjunk",
          "2026-12-06T02:41:09+1:00", "26-12-06T02:41:09Z", "2026-12-06X02:41:09Z"}) {
        Ptr<IDateTime> time;
        EXPECT_EQ(FailureOf([&](auto e) { return Data_CreateDateTimeFromIso8601(text, time.Receive(), e); }),
                  std::string("Invalid ISO 8601 date-time: ") + text);
        EXPECT_FALSE(time) << text;
    }
}

TEST(DateTime, CurrentTimeIsNow) {
    using namespace std::chrono;
    const auto before = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    auto now = Out<IDateTime>([&](auto p) { return Data_CreateCurrentDateTime(p); });
    const auto after = duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
    EXPECT_GE(now->GetMilliseconds(), before);
    EXPECT_LE(now->GetMilliseconds(), after);
}

}  // namespace
}  // namespace DataTest
