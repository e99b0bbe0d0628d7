// format.h -- how the tool shows what it gets: status lines, result
// documents as tables and as JSON, the watch's table and its events.
#ifndef VOLNEDA_CLI_FORMAT_H
#define VOLNEDA_CLI_FORMAT_H

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "result_doc.h"
#include "session.h"
#include "tag_table.h"

namespace cli {

// "[warning] read -3302 (a requested template field ...): Field 5".
std::string StatusLine(const StatusMessage &m);
// "-3201 (the command begins with neither ...)".
std::string CodeText(int32_t code);

// Rows of cells, aligned in columns two blanks apart; widths count
// characters, not bytes.
std::string Columns(const std::vector<std::vector<std::string>> &rows, const std::string &indent = "");

// With `trim`, String values lose the blanks that pad them to their
// field's length (the library pads what is shorter than the field).
std::string DocTable(const ResultDoc &doc, bool trim = false);
// The document's root attributes and one object per tag with its fields;
// values of fields whose DataType is Int are numbers.
nlohmann::ordered_json DocJson(const ResultDoc &doc, bool trim = false);
// One tag of it; its fields (those of a read) when asked.
nlohmann::ordered_json TagJson(const DocTag &t, bool withFields, bool trim = false);

// JSON text on one line (indent -1) or indented; text that is not UTF-8
// becomes U+FFFD instead of failing.
std::string Dump(const nlohmann::ordered_json &j, int indent = -1);

// A presence event of the round whose document is `round`, as a line.
// Numbers of rounds (and of sightings, never more) take `roundWidth`
// digits, right-aligned, so that the columns stay put as they grow.  (As
// JSON: PresenceEventJson, presence_json.h.)
std::string EventLine(const volneda::PresenceEvent &e, const ResultDoc &round, size_t roundWidth = 1);
// The watch's table: every tag that arrived, with its mark for the latest
// round.
// With a `width` (of a terminal) the columns least needed are left out
// until the rows fit (the first seen, the SWTT identifier, the antenna,
// the last seen, the sightings), the fields are cut short, and what still
// does not fit is cut at the width.
std::string WatchTable(const TagTable &table, bool withFields, size_t width = 0, size_t roundWidth = 1);
// Each line of the text cut (or, with `wrap`, broken) at `width` characters.
std::string FitLines(const std::string &text, size_t width, bool wrap);
// The same as JSON: the round, the number in the field, and per tag its
// identifiers, template mask (from a read's fields), antenna, sightings and
// state (arrived, present, left, gone).
nlohmann::ordered_json TagTableJson(const TagTable &table);

}  // namespace cli

#endif
