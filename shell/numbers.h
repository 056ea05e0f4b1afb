// The program's number rules, in one place.
//
// A real becomes an integer by rounding, a half going to whichever side is
// even; a narrowing checks its range first, and what would wrap raises the
// toolkit's "Overflow" run-time error instead. Reals are double, except the
// magnifier's zoom factor and the counters of its loops (float, Single).
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

namespace huevex {

using Single = float;

// The one exception that crosses the toolkit: an error raised inside an event
// procedure, reported by the toolkit's default handling (message, then a clean end).
struct RuntimeError {
  int number;
  std::string description;
};

namespace err {
inline constexpr int kInvalidCall = 5;
inline constexpr int kOverflow = 6;
inline constexpr int kDivisionByZero = 11;
}  // namespace err

[[noreturn]] inline void Raise(int number) {
  switch (number) {
    case err::kInvalidCall:
      throw RuntimeError{number, "Invalid procedure call or argument"};
    case err::kOverflow:
      throw RuntimeError{number, "Overflow"};
    case err::kDivisionByZero:
      throw RuntimeError{number, "Division by zero"};
    default:
      throw RuntimeError{number, "Application-defined or object-defined error"};
  }
}

// Nearest integer, ties to the even neighbour, as a double (no narrowing yet).
inline double RoundHalfEven(double v) {
  if (std::isnan(v)) Raise(err::kInvalidCall);
  const double lower = std::floor(v);
  const double fraction = v - lower;
  if (fraction < 0.5) return lower;
  if (fraction > 0.5) return lower + 1.0;
  return std::fmod(lower, 2.0) == 0.0 ? lower : lower + 1.0;
}

// The greatest integer not greater than v, kept as a real.
inline double Floor(double v) {
  if (std::isnan(v)) Raise(err::kInvalidCall);
  return std::floor(v);
}

template <typename Int>
Int NarrowChecked(double whole) {
  if (!(whole >= static_cast<double>(std::numeric_limits<Int>::min()) &&
        whole <= static_cast<double>(std::numeric_limits<Int>::max()))) {
    Raise(err::kOverflow);
  }
  return static_cast<Int>(whole);
}

// Round to a 16-bit signed integer (Integer).
inline std::int16_t CInt(double v) { return NarrowChecked<std::int16_t>(RoundHalfEven(v)); }

// Round to a 32-bit signed integer (Long).
inline std::int32_t CLng(double v) { return NarrowChecked<std::int32_t>(RoundHalfEven(v)); }

// 32-bit addition that traps overflow.
inline std::int32_t AddLong(std::int32_t a, std::int32_t b) {
  const std::int64_t sum = std::int64_t{a} + b;
  if (sum < std::numeric_limits<std::int32_t>::min() ||
      sum > std::numeric_limits<std::int32_t>::max()) {
    Raise(err::kOverflow);
  }
  return static_cast<std::int32_t>(sum);
}

// Real division that traps division by zero and invalid results.
inline double Divide(double numerator, double denominator) {
  if (denominator == 0.0) {
    // 0 / 0 has no value at all; anything else over zero is a division by zero.
    if (numerator == 0.0 || std::isnan(numerator)) Raise(err::kOverflow);
    Raise(err::kDivisionByZero);
  }
  const double q = numerator / denominator;
  if (std::isnan(q) || std::isinf(q)) Raise(err::kOverflow);
  return q;
}

// Single-precision addition that traps a result past the float range.
inline Single AddSingle(Single a, Single b) {
  const Single sum = a + b;
  if (std::isinf(sum) || std::isnan(sum)) Raise(err::kOverflow);
  return sum;
}

}  // namespace huevex
