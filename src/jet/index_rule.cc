// The rule that decides which columns of a table get an index.
#include "jet/index_rule.h"

#include <algorithm>

namespace qorvel::jet {

IndexDecision DecideIndex(const IndexRequest& request, const std::function<std::optional<int>()>& count_distinct) {
  if (request.joined) {
    if (!request.table_narrowed.has_value()) return IndexDecision::kOpen;
    if (*request.table_narrowed) {
      if (!request.other_narrowed.has_value()) return IndexDecision::kOpen;
      if (!*request.other_narrowed) return IndexDecision::kNone;
    }
  }
  if (count_distinct == nullptr) return IndexDecision::kOpen;
  const std::optional<int> distinct = count_distinct();
  return distinct.has_value() && *distinct <= kFlagValues ? IndexDecision::kFlag : IndexDecision::kIndex;
}

bool NarrowedDown(const std::vector<IndexRequest>& requests,
                  const std::function<bool(std::u16string_view)>& has_index) {
  return std::any_of(requests.begin(), requests.end(),
                     [&](const IndexRequest& request) { return !request.joined && has_index(request.column); });
}

std::vector<IndexRequest> TestedColumns(const std::vector<std::u16string>& columns) {
  std::vector<IndexRequest> requests;
  requests.reserve(columns.size());
  for (const std::u16string& column : columns) requests.push_back({column});
  return requests;
}

std::vector<IndexRequest> DeclaredLookups(const std::vector<IndexInfo>& indexes) {
  std::vector<IndexRequest> requests;
  for (const IndexInfo& index : indexes) {
    if (index.columns.size() == 1 && !index.unique && !index.primary) requests.push_back({index.columns[0]});
  }
  return requests;
}

}  // namespace qorvel::jet
