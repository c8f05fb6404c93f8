// The names of the SQLite functions and collation that RegisterFunctions
// installs and the translated SQL calls, and the exact comparison of
// decimal texts behind the JETNUMERIC collation.
#ifndef QORVEL_JET_SQL_FUNCTIONS_H_
#define QORVEL_JET_SQL_FUNCTIONS_H_

#include <string_view>

namespace qorvel::jet::sql {

inline constexpr char kDateValueFunction[] = "jet_datevalue";       // (date) -> date
inline constexpr char kDateDiffDayFunction[] = "jet_datediff_day";  // (a, b) -> days
inline constexpr char kNowFunction[] = "jet_now";                   // () -> date
inline constexpr char kNumericCollation[] = "JETNUMERIC";

// Orders two Numeric storage texts ("-12.34", "0", "5") by their exact
// values: negative, zero or positive as a is below, equal to or above b.
// Leading zeros and trailing fractional zeros do not count. A text that is
// not a decimal sorts after every decimal, such texts among themselves by
// their bytes, so that the order stays total.
int CompareDecimalText(std::string_view a, std::string_view b);

}  // namespace qorvel::jet::sql

#endif  // QORVEL_JET_SQL_FUNCTIONS_H_
