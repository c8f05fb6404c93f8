// How far apart two names are, for suggesting the method a caller meant.
#ifndef QORVEL_TOOLS_EDIT_DISTANCE_H_
#define QORVEL_TOOLS_EDIT_DISTANCE_H_

#include <cstddef>
#include <string_view>

namespace qorvel::tool {

// The Levenshtein distance between `a` and `b`: the fewest insertions,
// deletions and substitutions of one byte that turn one into the other,
// ASCII letters compared without regard to case ("creditamt" is 3 from
// "CreditAmount").
std::size_t EditDistance(std::string_view a, std::string_view b);

}  // namespace qorvel::tool

#endif  // QORVEL_TOOLS_EDIT_DISTANCE_H_
