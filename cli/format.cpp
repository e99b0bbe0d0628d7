#include "format.h"

#include <cerrno>
#include <algorithm>
#include <cstdlib>

#include "meanings.h"
#include "text.h"

namespace cli {
namespace {

size_t Width(const std::string &s) {
  size_t n = 0;
  for (unsigned char c : s) n += (c & 0xC0) != 0x80;
  return n;
}

// A field's value as JSON: Int fields whose text is a whole number are
// numbers, everything else the text as the document gives it.
std::string Text(const DocField &f, bool trim) {
  if (!trim || f.dataType != "String") return f.value;
  size_t end = f.value.find_last_not_of(' ');
  return end == std::string::npos ? std::string() : f.value.substr(0, end + 1);
}

nlohmann::ordered_json Value(const DocField &f, bool trim) {
  if (f.dataType == "Int" && !f.value.empty()) {
    errno = 0;
    char *end = nullptr;
    long long v = std::strtoll(f.value.c_str(), &end, 10);
    if (errno == 0 && end && *end == 0) return v;
  }
  return Text(f, trim);
}

std::string FieldsText(const DocTag &t) {
  std::string out;
  for (const DocField &f : t.fields) {
    if (!out.empty()) out += "  ";
    out += f.warning.empty() ? f.name + "=" + f.value : "#" + std::to_string(f.entryNr.value_or(-1)) + "?";
  }
  return out;
}

std::string Number(const std::optional<int32_t> &n) { return n ? std::to_string(*n) : std::string(); }

}  // namespace

std::string CodeText(int32_t code) { return std::to_string(code) + " (" + CodeMeaning(code) + ")"; }

std::string StatusLine(const StatusMessage &m) {
  std::string line = "[" + LevelName(m.level) + "] " + SourceName(m.source) + " " + CodeText(m.code);
  if (!m.text.empty()) line += ": " + m.text;
  return line + "\n";
}

std::string Dump(const nlohmann::ordered_json &j, int indent) {
  return j.dump(indent, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

std::string Columns(const std::vector<std::vector<std::string>> &rows, const std::string &indent) {
  std::vector<size_t> width;
  for (const auto &row : rows)
    for (size_t i = 0; i < row.size(); ++i) {
      if (width.size() <= i) width.push_back(0);
      width[i] = std::max(width[i], Width(row[i]));
    }
  std::string out;
  for (const auto &row : rows) {
    std::string line = indent;
    for (size_t i = 0; i < row.size(); ++i) {
      line += row[i];
      if (i + 1 < row.size()) line += std::string(width[i] - Width(row[i]) + 2, ' ');
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    out += line + "\n";
  }
  return out;
}

std::string DocTable(const ResultDoc &doc, bool trim) {
  std::string out = doc.reader + ": " + (doc.tagCount == 1 ? std::string("1 tag") : std::to_string(doc.tagCount) + " tags") +
                    " (" + IsoDate(doc.date) + " " + doc.time + ", interface " + doc.apiVersion + ")\n";
  if (doc.tags.empty()) return out;
  bool hw = false;
  for (const DocTag &t : doc.tags) hw = hw || !t.hwTagType.empty() || !t.antenna.empty();
  if (doc.kind == ResultDoc::kIdentify) {
    std::vector<std::vector<std::string>> rows;
    rows.push_back(hw ? std::vector<std::string>{"ID", "SWTT", "TYPE", "ANTENNA"} : std::vector<std::string>{"ID", "SWTT"});
    for (const DocTag &t : doc.tags)
      rows.push_back(hw ? std::vector<std::string>{t.id, t.swtt, t.hwTagType, t.antenna}
                        : std::vector<std::string>{t.id, t.swtt});
    return out + Columns(rows);
  }
  for (const DocTag &t : doc.tags) {
    out += t.id + "  SWTT " + t.swtt;
    if (hw) out += "  type " + t.hwTagType + "  antenna " + t.antenna;
    out += "\n";
    if (t.fields.empty()) continue;
    std::vector<std::vector<std::string>> rows{{"FIELD", "NAME", "TYPE", "START", "LEN", "STATUS", "VALUE"}};
    for (const DocField &f : t.fields) {
      if (!f.warning.empty()) {
        rows.push_back({Number(f.entryNr), "", "", "", "", "", f.warning});
        continue;
      }
      rows.push_back({f.type == "MEM" ? "mem" : Number(f.entryNr), f.name, f.dataType, Number(f.dataStart),
                      Number(f.dataLen), Number(f.fieldStatus), Text(f, trim)});
    }
    out += Columns(rows, "  ");
  }
  return out;
}

nlohmann::ordered_json TagJson(const DocTag &t, bool withFields, bool trim) {
  nlohmann::ordered_json tag = {{"id", t.id}, {"swtt", t.swtt}};
  if (!t.hwTagType.empty()) tag["hwTagType"] = t.hwTagType;
  if (!t.antenna.empty()) tag["antenna"] = std::strtol(t.antenna.c_str(), nullptr, 16);
  if (withFields) {
    nlohmann::ordered_json fields = nlohmann::ordered_json::array();
    for (const DocField &f : t.fields) {
      nlohmann::ordered_json field = nlohmann::ordered_json::object();
      if (!f.type.empty()) field["type"] = f.type;
      if (f.entryNr) field["entryNr"] = *f.entryNr;
      if (!f.warning.empty()) {
        field["warning"] = f.warning;
      } else {
        if (!f.swttMask.empty()) field["swttMask"] = f.swttMask;
        field["name"] = f.name;
        field["dataType"] = f.dataType;
        if (f.dataStart) field["dataStart"] = *f.dataStart;
        if (f.dataLen) field["dataLen"] = *f.dataLen;
        if (f.fieldStatus) field["fieldStatus"] = *f.fieldStatus;
        field["value"] = Value(f, trim);
      }
      fields.push_back(std::move(field));
    }
    tag["fields"] = std::move(fields);
  }
  return tag;
}

nlohmann::ordered_json DocJson(const ResultDoc &doc, bool trim) {
  nlohmann::ordered_json j = {{"document", doc.kind == ResultDoc::kRead ? "ReadTags" : "IdentifyTags"},
                      {"reader", doc.reader},
                      {"tagCount", doc.tagCount},
                      {"date", doc.date},
                      {"time", doc.time},
                      {"apiVersion", doc.apiVersion}};
  nlohmann::ordered_json tags = nlohmann::ordered_json::array();
  for (const DocTag &t : doc.tags) tags.push_back(TagJson(t, doc.kind == ResultDoc::kRead, trim));
  j["tags"] = std::move(tags);
  return j;
}

std::string EventLine(const volneda::PresenceEvent &e, const ResultDoc &round, size_t roundWidth) {
  static const char *const kWords[] = {"arrived", "seen   ", "left   "};
  std::string line = "round " + RightAligned(std::to_string(e.round), roundWidth) + "  " + ClockTime(e.time) + "  " +
                     kWords[static_cast<int>(e.kind)] + "  " + e.id;
  if (e.sighting >= round.tags.size()) {
    line += "  (seen " + std::to_string(e.count) + (e.count == 1 ? " time" : " times") + ", last at " +
            ClockTime(e.lastSeen) + ")";
  } else {
    const DocTag &t = round.tags[e.sighting];
    line += "  SWTT " + t.swtt;
    if (!t.antenna.empty()) line += "  antenna " + t.antenna;
    if (!t.fields.empty()) line += "  " + FieldsText(t);
  }
  return line + "\n";
}

std::string WatchTable(const TagTable &table, bool withFields, size_t width, size_t roundWidth) {
  enum { kMark, kId, kSwtt, kAnt, kFirst, kLast, kSeen, kState, kFields };
  std::vector<std::vector<std::string>> rows;
  std::vector<std::string> head{"", "ID", "SWTT", "ANT", "FIRST SEEN", "LAST SEEN", "SEEN", "STATE"};
  if (withFields) head.push_back("FIELDS");
  rows.push_back(head);
  for (const SeenTag &s : table.Tags()) {
    static const char *const kMarks[][2] = {{"+", "arrived"}, {" ", "in field"}, {"-", "left"}, {" ", "gone"}};
    const char *const *m = kMarks[static_cast<int>(MarkOf(table, s))];
    std::string mark = m[0], state = m[1];
    std::vector<std::string> row{mark,
                                 s.tag.id,
                                 s.tag.swtt,
                                 s.tag.antenna,
                                 ClockTime(s.firstSeen),
                                 ClockTime(s.lastSeen),
                                 RightAligned(std::to_string(s.count), roundWidth),
                                 state};
    if (withFields) row.push_back(s.present ? FieldsText(s.tag) : "");
    rows.push_back(row);
  }
  if (width == 0) return Columns(rows);
  // Every column is as wide as its widest cell; the fields (last) take
  // what is left.
  std::vector<size_t> widths(head.size(), 0);
  for (const auto &row : rows)
    for (size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], Width(row[i]));
  std::vector<bool> keep(head.size(), true);
  auto total = [&] {
    size_t n = 0, columns = 0;
    for (size_t i = 0; i < head.size(); ++i)
      if (keep[i] && i != kFields) n += widths[i], ++columns;
    return n + 2 * (columns - 1);
  };
  for (int drop : {kFirst, kSwtt, kAnt, kLast, kSeen})
    if (total() > width) keep[drop] = false;
  if (withFields) {
    size_t used = total() + 2;
    keep[kFields] = used + 6 <= width;  // room for a few characters at least
    if (keep[kFields]) widths[kFields] = std::min(widths[kFields], width - used);
  }
  for (auto &row : rows) {
    std::vector<std::string> kept;
    for (size_t i = 0; i < row.size(); ++i)
      if (keep[i]) kept.push_back(i == kFields ? FitLines(row[i], widths[kFields], false) : row[i]);
    row = std::move(kept);
  }
  return FitLines(Columns(rows), width, false);
}

std::string FitLines(const std::string &text, size_t width, bool wrap) {
  if (width == 0) return text;
  std::string out;
  size_t column = 0;
  bool cut = false;
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '\n') {
      out += '\n';
      column = 0;
      cut = false;
      continue;
    }
    bool starts = (c & 0xC0) != 0x80;  // a character starts here (not a UTF-8 continuation)
    if (starts && column == width) {
      if (!wrap) cut = true;
      else out += '\n', column = 0;
    }
    if (cut) continue;
    out += text[i];
    if (starts) ++column;
  }
  return out;
}

nlohmann::ordered_json TagTableJson(const TagTable &table) {
  static const char *const kStates[] = {"arrived", "present", "left", "gone"};
  nlohmann::ordered_json tags = nlohmann::ordered_json::array();
  for (const SeenTag &s : table.Tags()) {
    std::string mask;
    for (const DocField &f : s.tag.fields)
      if (mask.empty()) mask = f.swttMask;
    nlohmann::ordered_json t = {{"id", s.tag.id}, {"swtt", s.tag.swtt}, {"template", mask}};
    t["hwTagType"] = s.tag.hwTagType;
    if (!s.tag.antenna.empty()) t["antenna"] = std::strtol(s.tag.antenna.c_str(), nullptr, 16);
    t["firstSeen"] = IsoTime(s.firstSeen);
    t["lastSeen"] = IsoTime(s.lastSeen);
    t["count"] = s.count;
    t["state"] = kStates[static_cast<int>(MarkOf(table, s))];
    tags.push_back(std::move(t));
  }
  return {{"round", table.Round()}, {"present", table.PresentCount()}, {"tags", std::move(tags)}};
}

}  // namespace cli
