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

std::string DocTable(const ResultDoc &doc);
// The document's root attributes and one object per tag with its fields;
// values of fields whose DataType is Int are numbers.
nlohmann::ordered_json DocJson(const ResultDoc &doc);
// One tag of it; its fields (those of a read) when asked.
nlohmann::ordered_json TagJson(const DocTag &t, bool withFields);

// JSON text on one line (indent -1) or indented; text that is not UTF-8
// becomes U+FFFD instead of failing.
std::string Dump(const nlohmann::ordered_json &j, int indent = -1);

std::string EventLine(const TagEvent &e);
nlohmann::ordered_json EventJson(const TagEvent &e);
// The watch's table: every tag seen, with its mark for the latest round.
std::string WatchTable(const TagTable &table, bool withFields);
// The same as JSON: the round, the number in the field, and per tag its
// identifiers, template mask (from a read's fields), antenna, sightings and
// state (arrived, present, left, gone).
nlohmann::ordered_json TagTableJson(const TagTable &table);

}  // namespace cli

#endif
