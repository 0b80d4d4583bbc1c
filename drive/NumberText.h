#pragma once

#include <string>
#include <string_view>

namespace drive {

// Numbers as text in the C locale, whatever the process locale is.

// "%.*f": decimals below 0 count as 0, above 30 as 30, so that a bad count from a file can
// neither change the form nor make a huge text.
std::string DriveFormatFixed(double value, int decimals);

// Like atof: leading blanks, an optional sign and the longest number that follows; 0.0 when
// no number begins the text.
double DriveParseNumber(std::string_view text);

// Rounds half away from zero and saturates to the range of the target type (NaN gives 0).
long long DriveRoundHalfAway(double value, long long min, long long max);
// Truncates toward zero with the same saturation.
long long DriveTruncate(double value, long long min, long long max);

}  // namespace drive
