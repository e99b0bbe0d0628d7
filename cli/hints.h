// hints.h -- warnings about read select lists that the library accepts but
// that rarely mean what was typed.
//
// The command language skips any text of a select list outside field(...)
// and mem(...) lists, and keeps the blanks inside mem(...) items (a type
// item " s" has the type letter blank).  Such a command succeeds and reads
// less than meant, so the tool says so before running it.
#ifndef VOLNEDA_CLI_HINTS_H
#define VOLNEDA_CLI_HINTS_H

#include <cstdint>
#include <string>
#include <vector>

namespace cli {

// command: the whole command string as the library gets it.  Gives one
// sentence a doubtful spot; none for commands other than read.  A read
// with a where clause and no list reads no field: it says so.
std::vector<std::string> SelectListHints(const std::string &command);

// The likely cause of a parse code (-3201 to -3208) for this command, as
// one sentence that names the part at fault; empty for other codes, and
// when the command does not show the cause.
std::string CommandCause(const std::string &command, int32_t code);

}  // namespace cli

#endif
