#pragma once

#include <cstdint>
#include <string>

namespace nimbrix {

// The plain number form: " " or "-", then the value rounded to `digits` significant digits
// (the digit after the last kept one decides alone, 5 going to even), no zero before the point,
// trailing zeros dropped, scientific notation ("1E+15", "1.5E-7") when fixed would not fit.
// NaN and infinities give " 0"; digits is clamped to 1..40.
std::string NumberText(double value, int digits);
std::string NumberText(std::int64_t value, int digits);

// NumberText followed by one blank: what the console and the error log show for a bare number.
std::string ConsoleNumber(double value, int digits);
std::string ConsoleNumber(std::int64_t value, int digits);

// NumberText without the blanks around it, as the reports and the GGA sentence use it.
std::string TrimmedNumberText(double value, int digits);
std::string TrimmedNumberText(std::int64_t value, int digits);

}  // namespace nimbrix
