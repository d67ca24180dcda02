#include "format/exact_decimal.h"

#include <algorithm>
#include <bit>

namespace nimbrix::format_internal {

namespace {

// A binary double is m * 2^e. For e >= 0 that is an integer; for e < 0 it equals
// m * 5^-e / 10^-e, so its digits are those of the integer m * 5^-e with the point moved.
// Either way one integer product gives every digit exactly. The product lives in base-10^9 limbs
// on the stack, which keeps digit extraction cheap and the hot path free of the heap. Values with
// a long binary fraction take a shorter road to their leading digits (LeadingFractionDigits).
constexpr std::uint32_t kLimbBase = 1000000000;
constexpr int kMaxLimbs = Decimal::kMaxDigits / 9 + 2;

struct BigDecimalInt {
  std::uint32_t limb[kMaxLimbs];  // least significant first
  int size = 0;

  explicit BigDecimalInt(std::uint64_t v) {
    do {
      limb[size++] = static_cast<std::uint32_t>(v % kLimbBase);
      v /= kLimbBase;
    } while (v != 0);
  }

  // factor < 2^32: limb * factor + carry stays below 10^9 * 2^32 + 2^32 < 2^64.
  void Multiply(std::uint32_t factor) {
    std::uint64_t carry = 0;
    for (int i = 0; i < size; ++i) {
      const std::uint64_t cur = std::uint64_t{limb[i]} * factor + carry;
      limb[i] = static_cast<std::uint32_t>(cur % kLimbBase);
      carry = cur / kLimbBase;
    }
    while (carry != 0) {
      limb[size++] = static_cast<std::uint32_t>(carry % kLimbBase);
      carry /= kLimbBase;
    }
  }

  void MultiplyByPowerOf2(int n) {
    for (; n >= 31; n -= 31) Multiply(std::uint32_t{1} << 31);
    if (n > 0) Multiply(std::uint32_t{1} << n);
  }

  void MultiplyByPowerOf5(int n) {
    static constexpr std::uint32_t kPow5[14] = {1,       5,        25,        125,       625,
                                                3125,    15625,    78125,     390625,    1953125,
                                                9765625, 48828125, 244140625, 1220703125};
    for (; n >= 13; n -= 13) Multiply(kPow5[13]);
    if (n > 0) Multiply(kPow5[n]);
  }

  // Writes the leading digits, most significant first, and returns the count of all digits.
  // Digits past the first `limit` are not kept; when any of them is non-zero, one digit 1 follows
  // the kept ones, so that rounding still sees "something beyond". `stored` gets the count
  // written. `out` needs room for limit + 9 digits.
  int ToDigits(unsigned char* out, int limit, int& stored) const {
    int n = 0;
    std::uint32_t top = limb[size - 1];
    unsigned char head[10];
    int h = 0;
    do {
      head[h++] = static_cast<unsigned char>(top % 10);
      top /= 10;
    } while (top != 0);
    const int total = h + 9 * (size - 1);
    while (h > 0) out[n++] = head[--h];
    int i = size - 2;
    for (; i >= 0 && n < limit; --i) {
      std::uint32_t v = limb[i];
      for (int k = 8; k >= 0; --k) {
        out[n + k] = static_cast<unsigned char>(v % 10);
        v /= 10;
      }
      n += 9;
    }
    bool beyond = false;
    for (; i >= 0 && !beyond; --i) beyond = limb[i] != 0;
    if (n > limit) {
      for (int k = limit; k < n && !beyond; ++k) beyond = out[k] != 0;
      n = limit;
    }
    if (beyond) out[n++] = 1;
    stored = n;
    return total;
  }
};

void StripTrailingZeros(Decimal& d) {
  while (d.count > 0 && d.digit[d.count - 1] == 0) --d.count;
  if (d.count == 0) d.point = 0;
}

void FromUnsigned(std::uint64_t v, int point_shift, Decimal& out) {
  unsigned char buf[20];
  int n = 0;
  do {
    buf[n++] = static_cast<unsigned char>(v % 10);
    v /= 10;
  } while (v != 0);
  out.count = n;
  out.point = n + point_shift;
  for (int i = 0; i < n; ++i) out.digit[i] = buf[n - 1 - i];
  StripTrailingZeros(out);
}

// Drops everything after `keep` digits and adds one unit in the last kept place when asked.
void Truncate(Decimal& d, int keep, bool up) {
  if (keep <= 0) {
    if (up) {  // only possible for keep == 0: the value becomes one unit of the place before d[0]
      d.digit[0] = 1;
      d.count = 1;
      d.point += 1;
    } else {
      d.count = 0;
      d.point = 0;
    }
    return;
  }
  if (keep >= d.count) return;
  d.count = keep;
  if (up) {
    int i = keep - 1;
    while (i >= 0 && d.digit[i] == 9) d.digit[i--] = 0;
    if (i < 0) {  // 99..9 became 100..0: one more integer digit
      d.digit[0] = 1;
      d.count = 1;
      d.point += 1;
      return;
    }
    ++d.digit[i];
  }
  StripTrailingZeros(d);
}

// For a value with binary fraction digits, m * 2^-k, only the leading digits are needed (the
// caller's `limit`, then whether anything non-zero follows). With a decimal scale j chosen so
// that floor(v * 10^j) has more than `limit` digits, v * 10^j = m * 5^j / 2^(k-j): a product in
// plain binary limbs (no division by 10^9 per limb) and a shift. The bits shifted out say
// whether more digits follow. Returns false when j would reach k: then the exact expansion,
// m * 5^k, is no longer than this and is used instead.
constexpr int kMaxBinaryLimbs = 48;  // m * 5^j stays below 2^1000 for every j used here

struct BinaryInt {
  std::uint32_t limb[kMaxBinaryLimbs];  // least significant first
  int size = 0;

  explicit BinaryInt(std::uint64_t v) {
    limb[0] = static_cast<std::uint32_t>(v);
    limb[1] = static_cast<std::uint32_t>(v >> 32);
    size = limb[1] != 0 ? 2 : 1;
  }

  void MultiplyByPowerOf5(int n) {
    // 5^13 < 2^31: limb * factor + carry < 2^63.
    static constexpr std::uint32_t kPow5[14] = {1,       5,        25,        125,       625,
                                                3125,    15625,    78125,     390625,    1953125,
                                                9765625, 48828125, 244140625, 1220703125};
    while (n > 0) {
      const std::uint64_t factor = kPow5[n >= 13 ? 13 : n];
      n -= 13;
      std::uint64_t carry = 0;
      for (int i = 0; i < size; ++i) {
        const std::uint64_t cur = limb[i] * factor + carry;
        limb[i] = static_cast<std::uint32_t>(cur);
        carry = cur >> 32;
      }
      if (carry != 0) limb[size++] = static_cast<std::uint32_t>(carry);
    }
  }

  // Drops the lowest `bits` bits; returns true when any of them was set.
  bool ShiftRight(int bits) {
    const int words = bits / 32;
    const int rest = bits % 32;
    bool lost = false;
    for (int i = 0; i < words && i < size; ++i) lost = lost || limb[i] != 0;
    if (words < size && rest != 0) lost = lost || (limb[words] & ((std::uint32_t{1} << rest) - 1));
    int n = 0;
    for (int i = words; i < size; ++i) {
      std::uint64_t pair = limb[i];
      if (i + 1 < size) pair |= std::uint64_t{limb[i + 1]} << 32;
      limb[n++] = static_cast<std::uint32_t>(pair >> rest);
    }
    size = n;
    while (size > 0 && limb[size - 1] == 0) --size;
    return lost;
  }

  // Divides by 10^9 in place and returns the remainder.
  std::uint32_t DivideByBillion() {
    std::uint64_t rest = 0;
    for (int i = size - 1; i >= 0; --i) {
      const std::uint64_t cur = (rest << 32) | limb[i];
      limb[i] = static_cast<std::uint32_t>(cur / kLimbBase);
      rest = cur % kLimbBase;
    }
    while (size > 0 && limb[size - 1] == 0) --size;
    return static_cast<std::uint32_t>(rest);
  }
};

bool LeadingFractionDigits(std::uint64_t mantissa, int k, int limit, Decimal& out) {
  const int bit_length = 64 - std::countl_zero(mantissa);
  const int below = k - bit_length + 1;  // v >= 2^-below
  // 30103/100000 is just above log10(2), so v * 10^j >= 10^(limit + 1).
  const int j = limit + 1 + (below > 0 ? (below * 30103 + 99999) / 100000 : 0);
  if (j >= k) return false;
  BinaryInt n(mantissa);
  n.MultiplyByPowerOf5(j);
  const bool more = n.ShiftRight(k - j);
  // Base-10^9 chunks of floor(v * 10^j), least significant first: below 2^53 * 10^(limit + 1),
  // so at most 78 digits for the largest limit of 60.
  std::uint32_t chunk[12];
  int chunks = 0;
  while (n.size > 0) chunk[chunks++] = n.DivideByBillion();
  BigDecimalInt digits(0);
  for (int i = 0; i < chunks; ++i) digits.limb[i] = chunk[i];
  digits.size = chunks;
  int stored = 0;
  const int total = digits.ToDigits(out.digit, Decimal::kMaxDigits - 10, stored);
  out.count = stored;
  if (more) out.digit[out.count++] = 1;  // every digit of q is kept, so this is the next place
  out.point = total - j;
  StripTrailingZeros(out);
  return true;
}

}  // namespace

bool ExactDecimal(double value, Decimal& out, int max_digits) {
  const std::uint64_t bits = std::bit_cast<std::uint64_t>(value);
  const bool negative = (bits >> 63) != 0;
  const int biased_exponent = static_cast<int>((bits >> 52) & 0x7ff);
  std::uint64_t mantissa = bits & ((std::uint64_t{1} << 52) - 1);
  out.count = 0;
  out.point = 0;
  if (biased_exponent == 0x7ff) return false;  // NaN and infinities: shown as 0
  int exponent = biased_exponent == 0 ? -1074 : biased_exponent - 1075;
  if (biased_exponent != 0) mantissa |= std::uint64_t{1} << 52;
  if (mantissa == 0) return false;  // zero of either sign has no sign

  // Trailing zero bits only lengthen the product; m odd keeps it as short as possible.
  const int tz = std::countr_zero(mantissa);
  mantissa >>= tz;
  exponent += tz;

  if (exponent >= 0 && exponent <= 11) {  // m < 2^53, so m * 2^11 < 2^64
    FromUnsigned(mantissa << exponent, 0, out);
    return negative;
  }
  if (exponent < 0 && -exponent <= 4) {
    // m * 5^4 < 2^63: the common moderate values with few binary fraction digits.
    std::uint64_t scaled = mantissa;
    for (int i = 0; i < -exponent; ++i) scaled *= 5;
    FromUnsigned(scaled, exponent, out);
    return negative;
  }
  if (exponent < 0 && max_digits <= 60 &&
      LeadingFractionDigits(mantissa, -exponent, std::max(max_digits, 1), out)) {
    return negative;
  }
  BigDecimalInt big(mantissa);
  int point_shift = 0;
  if (exponent > 0) {
    big.MultiplyByPowerOf2(exponent);
  } else {
    big.MultiplyByPowerOf5(-exponent);
    point_shift = exponent;
  }
  int stored = 0;
  const int n =
      big.ToDigits(out.digit, std::clamp(max_digits, 1, Decimal::kMaxDigits - 10), stored);
  out.count = stored;
  out.point = n + point_shift;
  StripTrailingZeros(out);
  return negative;
}

void ExactDecimal(std::uint64_t value, Decimal& out) {
  out.count = 0;
  out.point = 0;
  if (value != 0) FromUnsigned(value, 0, out);
}

void RoundHalfEven(Decimal& d, int keep) {
  if (keep >= d.count) return;
  if (keep < 0) {
    Truncate(d, keep, false);
    return;
  }
  const int next = d.digit[keep];
  const bool beyond = keep + 1 < d.count;  // no trailing zeros are stored, so any digit is > 0
  const int last = keep > 0 ? d.digit[keep - 1] : 0;
  const bool up = next > 5 || (next == 5 && (beyond || last % 2 == 1));
  Truncate(d, keep, up);
}

void RoundByNextDigit(Decimal& d, int keep) {
  if (keep >= d.count) return;
  if (keep < 0) {
    Truncate(d, keep, false);
    return;
  }
  const int next = d.digit[keep];
  const int last = keep > 0 ? d.digit[keep - 1] : 0;
  const bool up = next > 5 || (next == 5 && last % 2 == 1);
  Truncate(d, keep, up);
}

}  // namespace nimbrix::format_internal
