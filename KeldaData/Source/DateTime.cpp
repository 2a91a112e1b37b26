#include "DateTime.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <stdexcept>

#include "Core/StringFormat.h"

namespace Data::impl {

namespace {

constexpr int64_t kMillisecondsPerDay = 86'400'000;

// Floor division: time before the epoch must round toward the past, not toward zero.
constexpr int64_t FloorDiv(int64_t value, int64_t divisor) {
    const int64_t quotient = value / divisor;
    return (value % divisor != 0 && (value < 0) != (divisor < 0)) ? quotient - 1 : quotient;
}

// Days since 1970-01-01 of a proleptic Gregorian date, and back (H. Hinnant's civil calendar
// algorithms, valid far beyond any year that four digits can write).
constexpr int64_t DaysFromCivil(int64_t year, unsigned month, unsigned day) {
    year -= month <= 2 ? 1 : 0;
    const int64_t era = FloorDiv(year, 400);
    const auto yearOfEra = static_cast<unsigned>(year - era * 400);
    const unsigned dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + static_cast<int64_t>(dayOfEra) - 719468;
}

struct CivilDate {
    int64_t year;
    unsigned month;
    unsigned day;
};

constexpr CivilDate CivilFromDays(int64_t days) {
    days += 719468;
    const int64_t era = FloorDiv(days, 146097);
    const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned shiftedMonth = (5 * dayOfYear + 2) / 153;
    const unsigned day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
    const unsigned month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
    return {static_cast<int64_t>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

static_assert(DaysFromCivil(1970, 1, 1) == 0);
static_assert(DaysFromCivil(1601, 1, 1) * kMillisecondsPerDay * kTicksPerMillisecond == -kPosixEpochTicks);

constexpr bool IsLeapYear(int64_t year) {
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

constexpr unsigned DaysInMonth(int64_t year, unsigned month) {
    constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

// A cursor over the text being parsed. Every read checks the bounds, so malformed input of any
// length is refused rather than read past its end.
class Scanner {
public:
    explicit Scanner(std::string_view text) : text_(text) {}

    bool AtEnd() const { return position_ == text_.size(); }
    char Peek() const { return AtEnd() ? '\0' : text_[position_]; }
    bool Accept(char c) {
        if (Peek() != c) {
            return false;
        }
        ++position_;
        return true;
    }
    bool IsDigit() const { return Peek() >= '0' && Peek() <= '9'; }
    // Exactly count decimal digits.
    bool Digits(size_t count, unsigned& value) {
        value = 0;
        for (size_t i = 0; i < count; ++i) {
            if (!IsDigit()) {
                return false;
            }
            value = value * 10 + static_cast<unsigned>(text_[position_++] - '0');
        }
        return true;
    }
    // One or more fraction digits as ticks; digits beyond the tick resolution are dropped.
    bool Fraction(int64_t& ticks) {
        if (!IsDigit()) {
            return false;
        }
        ticks = 0;
        int64_t scale = kTicksPerSecond;
        while (IsDigit()) {
            scale /= 10;
            ticks += (text_[position_++] - '0') * scale;
        }
        return true;
    }

private:
    std::string_view text_;
    size_t position_ = 0;
};

// Returns false for any text that is not a date-time of the accepted form.
bool TryParse(std::string_view text, int64_t& ticks) {
    Scanner scan(text);
    unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!scan.Digits(4, year) || !scan.Accept('-') || !scan.Digits(2, month) || !scan.Accept('-') ||
        !scan.Digits(2, day)) {
        return false;
    }
    if (!scan.Accept('T') && !scan.Accept('t') && !scan.Accept(' ')) {
        return false;
    }
    if (!scan.Digits(2, hour) || !scan.Accept(':') || !scan.Digits(2, minute) || !scan.Accept(':') ||
        !scan.Digits(2, second)) {
        return false;
    }
    int64_t fraction = 0;
    if (scan.Accept('.') && !scan.Fraction(fraction)) {
        return false;
    }
    int64_t offsetMinutes = 0;
    if (scan.Accept('Z') || scan.Accept('z')) {
        // UTC
    } else if (scan.Peek() == '+' || scan.Peek() == '-') {
        const bool east = scan.Accept('+');
        if (!east) {
            scan.Accept('-');
        }
        unsigned offsetHours = 0, offsetMinutesPart = 0;
        if (!scan.Digits(2, offsetHours)) {
            return false;
        }
        scan.Accept(':');
        if (!scan.Digits(2, offsetMinutesPart) || offsetHours > 23 || offsetMinutesPart > 59) {
            return false;
        }
        offsetMinutes = (east ? 1 : -1) * static_cast<int64_t>(offsetHours * 60 + offsetMinutesPart);
    }
    if (!scan.AtEnd()) {
        return false;
    }
    if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23 || minute > 59 ||
        second > 59) {
        return false;
    }
    // A local time east of UTC is ahead of it, so its offset is subtracted.
    const int64_t seconds =
        DaysFromCivil(year, month, day) * 86'400 + hour * 3'600 + minute * 60 + second - offsetMinutes * 60;
    ticks = kPosixEpochTicks + seconds * kTicksPerSecond + fraction;
    return true;
}

}  // namespace

std::string FormatIso8601(int64_t ticks) {
    // The tick count relative to 1970 is computed in two parts so that no value near the ends of the
    // int64 range overflows.
    const int64_t milliseconds = FloorDiv(ticks, kTicksPerMillisecond) - kPosixEpochTicks / kTicksPerMillisecond;
    const int64_t days = FloorDiv(milliseconds, kMillisecondsPerDay);
    const int64_t inDay = milliseconds - days * kMillisecondsPerDay;
    const CivilDate date = CivilFromDays(days);
    return Core::StringFormat("%04lld-%02u-%02uT%02lld:%02lld:%02lld.%03lldZ", static_cast<long long>(date.year),
                              date.month, date.day, static_cast<long long>(inDay / 3'600'000),
                              static_cast<long long>(inDay / 60'000 % 60), static_cast<long long>(inDay / 1'000 % 60),
                              static_cast<long long>(inDay % 1'000));
}

int64_t ParseIso8601(std::string_view text) {
    int64_t ticks = 0;
    if (!TryParse(text, ticks)) {
        throw std::runtime_error("Invalid ISO 8601 date-time: " + std::string(text));
    }
    return ticks;
}

int64_t TicksFromPosix(int64_t units, int64_t ticksPerUnit) {
    int64_t ticks = 0;
    if (__builtin_mul_overflow(units, ticksPerUnit, &ticks) ||
        __builtin_add_overflow(ticks, kPosixEpochTicks, &ticks)) {
        throw std::runtime_error(
            Core::StringFormat("POSIX time %lld is out of the representable range", static_cast<long long>(units)));
    }
    return ticks;
}

int64_t CurrentTicks() {
    using Ticks = std::chrono::duration<int64_t, std::ratio<1, kTicksPerSecond>>;
    const auto sinceEpoch = std::chrono::duration_cast<Ticks>(std::chrono::system_clock::now().time_since_epoch());
    return kPosixEpochTicks + sinceEpoch.count();
}

double DateTimeImpl::GetPosixTime() {
    return static_cast<double>(ticks_ - kPosixEpochTicks) / static_cast<double>(kTicksPerSecond);
}

int64_t DateTimeImpl::GetMilliseconds() {
    return FloorDiv(ticks_, kTicksPerMillisecond) - kPosixEpochTicks / kTicksPerMillisecond;
}

void DateTimeImpl::AddMilliseconds(double milliseconds) {
    const double delta = std::round(milliseconds * static_cast<double>(kTicksPerMillisecond));
    if (std::isnan(delta)) {
        return;
    }
    // Saturate instead of wrapping: a wrapped time would jump centuries.
    constexpr auto kMax = std::numeric_limits<int64_t>::max();
    constexpr auto kMin = std::numeric_limits<int64_t>::min();
    if (delta >= static_cast<double>(kMax)) {
        ticks_ = kMax;
    } else if (delta <= static_cast<double>(kMin)) {
        ticks_ = kMin;
    } else if (__builtin_add_overflow(ticks_, static_cast<int64_t>(delta), &ticks_)) {
        ticks_ = delta > 0 ? kMax : kMin;
    }
}

const char* DateTimeImpl::GetText() {
    text_ = std::make_unique<std::string>(FormatIso8601(ticks_));
    return text_->c_str();
}

int32_t DateTimeImpl::Compare(Interfaces::IDateTime* other) {
    if (other == nullptr) {
        return 1;
    }
    // Another implementation tells its time only as an unsigned FILETIME.
    auto* mine = dynamic_cast<DateTimeImpl*>(other);
    const int64_t theirs = mine != nullptr ? mine->Ticks() : static_cast<int64_t>(other->GetFileTime());
    return ticks_ < theirs ? -1 : (ticks_ > theirs ? 1 : 0);
}

}  // namespace Data::impl
