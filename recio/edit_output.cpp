// Output field conversions: integers, exponent and fixed reals into fixed-width field text.
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdlib>

#include "recio/internal/edit.h"

namespace recio {
namespace {

constexpr int kTakenDigits = 17;  // significant digits taken from the double value
constexpr int kSingleDigits = 7;  // significant digits a single-precision value may show

// |value| = 0.D1 D2 ... D17 x 10^exponent with D1 not 0; or zero, with all digits 0.
struct Decimal {
  std::array<char, kTakenDigits> digits{};
  int exponent = 0;
  bool negative = false;
  bool zero = true;

  // The digit at significant position p (1 is D1); positions outside the kept ones are 0.
  char At(int position) const {
    return position >= 1 && position <= kTakenDigits ? digits[position - 1] : '0';
  }
};

// The 17 significant digits of the value taken exactly as a double, rounded to nearest.
Decimal TakeDigits(float value) {
  Decimal decimal;
  decimal.digits.fill('0');
  decimal.negative = std::signbit(value);
  if (value == 0.0f) return decimal;
  decimal.zero = false;
  // "d.dddddddddddddddde+xx": D1, the point, D2..D17, then the exponent of D1.
  std::array<char, 40> text{};
  std::to_chars(text.data(), text.data() + text.size(), std::fabs(static_cast<double>(value)),
                std::chars_format::scientific, kTakenDigits - 1);
  decimal.digits[0] = text[0];
  std::copy_n(text.data() + 2, kTakenDigits - 1, decimal.digits.begin() + 1);
  const char* exponentText = text.data() + 2 + (kTakenDigits - 1) + 1;  // past the 'e'
  const bool negativeExponent = *exponentText == '-';
  int exponent = 0;
  std::from_chars(exponentText + 1, text.data() + text.size(), exponent);
  decimal.exponent = (negativeExponent ? -exponent : exponent) + 1;
  return decimal;
}

// Keeps `keep` significant digits, rounding half up on the digit after them (a carry out of D1
// gives 1 and raises the exponent); the digits after them become 0. Keeping no digit leaves one
// unit of 10^exponent or zero; keeping fewer leaves zero.
void RoundHalfUp(Decimal& decimal, int keep) {
  if (decimal.zero || keep >= kTakenDigits) return;
  if (keep < 0) {
    decimal.digits.fill('0');
    decimal.zero = true;
    return;
  }
  const bool up = decimal.digits[keep] >= '5';
  std::fill(decimal.digits.begin() + keep, decimal.digits.end(), '0');
  if (!up) {
    decimal.zero = keep == 0;
    return;
  }
  int i = keep - 1;
  while (i >= 0 && decimal.digits[i] == '9') decimal.digits[i--] = '0';
  if (i >= 0) {
    ++decimal.digits[i];
  } else {
    decimal.digits[0] = '1';
    ++decimal.exponent;
  }
}

// Field text under construction; long texts are counted, not stored, and end as asterisks.
class FieldText {
 public:
  void Put(char c) {
    if (length_ < text_.size()) text_[length_] = c;
    ++length_;
  }
  void PutDigits(int value, int minDigits) {
    std::array<char, 12> digits{};
    const auto end = std::to_chars(digits.data(), digits.data() + digits.size(), value).ptr;
    for (int pad = static_cast<int>(end - digits.data()); pad < minDigits; ++pad) Put('0');
    for (const char* c = digits.data(); c != end; ++c) Put(*c);
  }
  // Drops the optional "0" of "0." (or "-0.") when the text would otherwise not fit.
  void DropOptionalZero(std::size_t width) {
    if (length_ <= width || length_ > text_.size()) return;
    const std::size_t zero = text_[0] == '-' ? 1 : 0;
    if (length_ > zero + 1 && text_[zero] == '0' && text_[zero + 1] == '.') {
      std::copy(text_.begin() + zero + 1, text_.begin() + length_, text_.begin() + zero);
      --length_;
    }
  }
  // Right-aligns the text in the field with blanks, or fills it with asterisks.
  void RightAlign(std::span<char> field) const {
    if (length_ > field.size() || length_ > text_.size()) {
      FillOverflow(field);
      return;
    }
    const std::size_t blanks = field.size() - length_;
    std::fill_n(field.begin(), blanks, ' ');
    std::copy_n(text_.begin(), length_, field.begin() + static_cast<std::ptrdiff_t>(blanks));
  }

 private:
  std::array<char, 192> text_;  // only the first length_ characters are ever read
  std::size_t length_ = 0;
};

}  // namespace

void FillOverflow(std::span<char> field) {
  std::fill(field.begin(), field.end(), '*');
}

void FormatInteger(int32_t value, std::span<char> field) {
  std::array<char, 12> text;
  const std::size_t length = static_cast<std::size_t>(
      std::to_chars(text.data(), text.data() + text.size(), value).ptr - text.data());
  if (length > field.size()) {
    FillOverflow(field);
    return;
  }
  const std::size_t blanks = field.size() - length;
  std::fill_n(field.begin(), blanks, ' ');
  std::copy_n(text.begin(), length, field.begin() + static_cast<std::ptrdiff_t>(blanks));
}

void FormatExponent(float value, int32_t digits, int32_t scale, std::span<char> field) {
  // With k > 0 the text shows k digits before the point and d - k + 1 after it; with k <= 0 it
  // shows "0.", -k zeros and d + k digits.
  const int significant = scale > 0 ? digits + 1 : digits + scale;
  if (!std::isfinite(value) || significant < 1 || scale > digits + 1) {
    FillOverflow(field);
    return;
  }
  Decimal decimal = TakeDigits(value);
  RoundHalfUp(decimal, std::min(significant, kSingleDigits));
  const int exponent = decimal.zero ? 0 : decimal.exponent - scale;

  FieldText text;
  if (decimal.negative && !decimal.zero) text.Put('-');
  if (scale > 0) {
    for (int p = 1; p <= scale; ++p) text.Put(decimal.At(p));
    text.Put('.');
    for (int p = scale + 1; p <= digits + 1; ++p) text.Put(decimal.At(p));
  } else {
    text.Put('0');
    text.Put('.');
    for (int i = 0; i < -scale; ++i) text.Put('0');
    for (int p = 1; p <= significant; ++p) text.Put(decimal.At(p));
  }
  text.Put('E');
  text.Put(exponent < 0 ? '-' : '+');
  text.PutDigits(std::abs(exponent), 2);
  text.DropOptionalZero(field.size());
  text.RightAlign(field);
}

void FormatFixed(float value, int32_t digits, int32_t scale, std::span<char> field) {
  if (!std::isfinite(value)) {
    FillOverflow(field);
    return;
  }
  Decimal decimal = TakeDigits(value);
  if (!decimal.zero) {
    decimal.exponent += scale;
    // Digits up to the d-th after the point are kept: exponent + d of them.
    RoundHalfUp(decimal, std::min(decimal.exponent + digits, kSingleDigits));
  }
  const int whole = decimal.zero ? 0 : decimal.exponent;

  FieldText text;
  if (decimal.negative && !decimal.zero) text.Put('-');
  if (whole > 0) {
    for (int p = 1; p <= whole; ++p) text.Put(decimal.At(p));
  } else {
    text.Put('0');
  }
  text.Put('.');
  for (int j = 1; j <= digits; ++j) text.Put(decimal.At(whole + j));
  text.DropOptionalZero(field.size());
  text.RightAlign(field);
}

}  // namespace recio
