// Which columns of a table get an index in the mirror: the one function
// that decides (DecideIndex), and the facts it decides on.
//
// The SQLite export writes no indexes, so it decides nothing.
#ifndef QORVEL_JET_INDEX_RULE_H_
#define QORVEL_JET_INDEX_RULE_H_

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "jet/catalog.h"

namespace qorvel::jet {

// How many of a column's first values are sampled to tell a flag, and the
// most distinct values a flag holds (see DecideIndex).
inline constexpr int kFlagSample = 4096;
inline constexpr int kFlagValues = 4;

// A column that a statement asks to have indexed (sql::IndexHint), with
// what is known so far of the tables around it.
struct IndexRequest {
  std::u16string column;  // as the catalog spells it
  // Joined on (else tested against a value).
  bool joined = false;
  // For a join column: whether its own table is narrowed down, and whether
  // the table on the other side of the join is; nothing while not known.
  std::optional<bool> table_narrowed = std::nullopt;
  std::optional<bool> other_narrowed = std::nullopt;
};

enum class IndexDecision {
  kIndex,  // the column gets an index
  kFlag,   // the column is a flag: it gets none, now or later
  kNone,   // the column gets none for this statement
  kOpen,   // not decided yet: it depends on what is not known yet
};

// Decides whether the column of `request` gets an index in the mirror.
// The rule, written here only:
//
//  1. A statement asks for an index on each column it tests for equality
//     against a value and on each column it joins on (sql::IndexHint).
//  2. A column tested against a value gets one.
//  3. A join column gets one, unless its own table is narrowed down and the
//     table on the other side is not: the join then probes only the other
//     side. A table is narrowed down when one of the columns the statement
//     tests against values has an index (NarrowedDown); the other side of
//     a join, when the statement does not name it, is not.
//  4. A column that 2 or 3 give an index gets none when it is a flag
//     (Active, Status, ...): a column whose first kFlagSample values hold
//     at most kFlagValues distinct ones, Null not counted. An index on it
//     would narrow nothing down, and costs as much to build as any. A
//     column whose values cannot be counted is not a flag.
//  5. A column decided once, with an index or as a flag, stays so in every
//     later image of its table (TableImage::Decided); one that gets none for
//     a statement may get one for the next.
//  6. A table's first load also asks for an index on each column that the
//     file itself indexes alone without a unique key (DeclaredLookups): the
//     columns by which its rows are looked up (PeopleID, InvoiceNumber),
//     asked for as columns tested against values. Built with the rows, such
//     an index costs the load a sort; asked for by a later statement, it
//     would cost a copy of the whole table.
//
// `count_distinct` gives the number of distinct values among the column's
// first kFlagSample, or nothing when they cannot be counted; it is called
// only when 2 or 3 give the column an index. Without it (where the values
// are out of reach) the decision is kNone or kOpen.
IndexDecision DecideIndex(const IndexRequest& request,
                          const std::function<std::optional<int>()>& count_distinct = nullptr);

// Whether a table is narrowed down (DecideIndex, 3): whether `has_index`
// says yes for one of the columns of `requests` tested against values.
bool NarrowedDown(const std::vector<IndexRequest>& requests,
                  const std::function<bool(std::u16string_view)>& has_index);

// Requests for the columns of `columns`, each tested against a value.
std::vector<IndexRequest> TestedColumns(const std::vector<std::u16string>& columns);

// Requests for the columns that `indexes` (a table's declared indexes)
// index alone without a unique key (DecideIndex, 6).
std::vector<IndexRequest> DeclaredLookups(const std::vector<IndexInfo>& indexes);

}  // namespace qorvel::jet

#endif  // QORVEL_JET_INDEX_RULE_H_
