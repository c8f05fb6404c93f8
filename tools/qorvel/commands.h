// The commands of the qorvel tool that live in their own files.
#ifndef QORVEL_TOOLS_COMMANDS_H_
#define QORVEL_TOOLS_COMMANDS_H_

#include <string>
#include <vector>

namespace qorvel::tool {

// qorvel call [--json] METHOD [ARG...]
int CallCommand(const std::vector<std::string>& words);

// qorvel sql DB STATEMENT [--format table|csv|json]
int SqlCommand(const std::vector<std::string>& words);

// qorvel convert DB OUT.sqlite
int ConvertCommand(const std::vector<std::string>& words);

// qorvel demo-db PATH
int DemoDbCommand(const std::vector<std::string>& words);

// qorvel statement [DB] [--client ID | --all] [--format text|html] [--output FILE] [--quiet]
int StatementCommand(const std::vector<std::string>& words);

}  // namespace qorvel::tool

#endif  // QORVEL_TOOLS_COMMANDS_H_
