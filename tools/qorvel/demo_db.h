// The demo billing database: a few hundred clients with a plausible
// history over the three years before a given day, written as a SQLite
// file with the tables and columns the lookups read.
#ifndef QORVEL_TOOLS_DEMO_DB_H_
#define QORVEL_TOOLS_DEMO_DB_H_

#include <cstdint>
#include <string>
#include <vector>

namespace qorvel::tool {

inline constexpr std::uint32_t kDemoSeed = 20111008;
inline constexpr int kDemoClients = 300;
// The client whose statement shows every section filled.
inline constexpr long kDemoClient = 1001;
// A client with no activity, credits, contacts or benefits at all.
inline constexpr long kDemoClientWithoutRows = 1000 + kDemoClients;

// Writes the demo database to `path` (replacing a file there). `today` is
// the day the history ends on, as "yyyy-mm-dd". The same seed and day give
// the same file. Returns an empty text on success, else what went wrong.
std::string WriteDemoDatabase(const std::string& path, const std::string& today,
                              std::uint32_t seed = kDemoSeed);

// Today's local date as "yyyy-mm-dd".
std::string LocalToday();

// qorvel demo-db PATH
int DemoDbCommand(const std::vector<std::string>& words);

}  // namespace qorvel::tool

#endif  // QORVEL_TOOLS_DEMO_DB_H_
