/**
 * @file volneda.hpp
 * @brief A C++17 layer over the C interface of volneda.h: a Reader that
 * owns its context, UTF-8 strings, tags and fields as values, write
 * requests with their outcome per Tag element, errors as exceptions, status
 * messages on a thread of the layer's own, and a Watch that turns rounds of
 * identify (or read) into presence events.
 *
 * Header-only, the standard library alone; link the library (CMake:
 * VOLNEDA::cpp).  Every call goes through the exported functions, in the
 * order the library asks for: VOLNEDA_StartAll, StartDispatcher,
 * VOLNEDA_Open ... VOLNEDA_Close, the drained StopDispatcher, VOLNEDA_StopAll.
 * The guide is docs/cpp.md.
 */
#ifndef VOLNEDA_HPP
#define VOLNEDA_HPP

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <functional>
#include <iterator>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "volneda.h"
#include "volneda_presence.hpp"

namespace volneda {

namespace detail {

struct CodeMeaning {
  int32_t code;
  const char *name, *meaning;
};
struct Named {
  int32_t number;
  const char *name;
};

// Meanings: written by scripts/docs-tables.py from src/meanings/meanings.tsv.
inline constexpr CodeMeaning kCodes[] = {
    {0, "OK", "success"},
    {-3000, "DOC_FILE", "the write request file named after '@' cannot be opened"},
    {-3002, "DOC_UNUSABLE", "the write request does not parse as XML, or has no root element"},
    {-3003, "DOC_ROOT", "the root element of the write request is not WriteTags"},
    {-3004, "DOC_TAG_ID_LENGTH", "a Tag's ID is not empty and not 16 characters long"},
    {-3005, "DOC_SWTT_LENGTH", "a Tag's SWTT attribute is longer than 12 characters, or an SWTT element's text is not exactly 12 characters"},
    {-3006, "DOC_TAG_CHILD", "a child of Tag has a name other than SWTT, SWTTField, MEMField, DTField"},
    {-3007, "DOC_SWTT_EMPTY", "an SWTT element has empty text"},
    {-3008, "DOC_ENTRYNR_MISSING", "an SWTTField has no EntryNr (or an empty one)"},
    {-3009, "DOC_ENTRYNR_RANGE", "an SWTTField's EntryNr is below 0 or above 15"},
    {-3010, "DOC_LOCKED", "a Locked attribute is neither TRUE nor FALSE"},
    {-3011, "DOC_SWTT_HEX", "a Tag's SWTT attribute or an SWTT element's text holds a character outside '0' to 'F'"},
    {-3012, "DOC_TAG_ID_HEX", "a Tag's ID holds a character outside '0' to 'F'"},
    {-3013, "DOC_FIELD_EMPTY", "an SWTTField has empty text"},
    {-3014, "DOC_MEMSTART_MISSING", "a MEMField has no MemStart (or an empty one)"},
    {-3200, "CMD_NO_MEMORY", "no memory for the 8-bit copy of the command"},
    {-3201, "CMD_UNKNOWN", "the command begins with neither \"read\" nor \"identify\""},
    {-3202, "CMD_MALFORMED", "malformed command: its form breaks the grammar or a limit of the command language"},
    {-3204, "CMD_LIST_TOO_LONG", "more than 32 characters inside one field(...) or mem(...) list"},
    {-3205, "CMD_TAGID_LENGTH", "a tagid value that is not 16 characters long"},
    {-3206, "CMD_SWTT_LENGTH", "a swtt value longer than 12 characters"},
    {-3207, "CMD_TAGID_HEX", "a tagid value with a character outside '0' to 'F'"},
    {-3208, "CMD_SWTT_HEX", "a swtt value with a character outside '0' to 'F'"},
    {-3251, "CONFIG_LOAD", "the reader list file cannot be loaded"},
    {-3252, "NO_READER", "the reader list file names no reader"},
    {-3253, "NO_FURTHER_READER", "no further reader in the reader list"},
    {-3300, "NOT_OPEN", "no reader is open on this handle"},
    {-3301, "NO_TEMPLATE", "template fields were selected but no tag template is loaded (a warning; the operation goes on without them)"},
    {-3302, "NO_SUCH_FIELD", "a requested template field is not defined in the tag's template (a warning)"},
    {-3303, "ALREADY_OPEN", "the reader is already open"},
    {-3304, "TEMPLATE_LOAD", "the tag template file failed to load"},
    {-3307, "NULL_HANDLE", "the reader context handle is null"},
    {-3350, "WRITE_NO_TAG", "the identify before a write found no tag (a warning)"},
    {-3351, "WRITE_SOME_NOT_FOUND", "a write found no tag for some of its Tag elements, and no write failed"},
    {-3352, "WRITE_FAILED", "a write failed in the reader driver"},
    {-3400, "SCAN_TRIGGER", "the scan trigger setting is not supported"},
    {-3450, "COMM_TIMEOUT", "the communication time-out setting is not supported"},
};
inline constexpr Named kLevels[] = {
    {0, "information"},
    {1, "warning"},
    {2, "error"},
    {3, "critical"},
};
inline constexpr Named kSources[] = {
    {1, "request-check"},
    {2, "command-parse"},
    {3, "discovery"},
    {4, "template"},
    {5, "open"},
    {6, "close"},
    {7, "identify"},
    {8, "read"},
    {9, "write"},
    {10, "write-tag"},
    {11, "set-attribute"},
    {12, "get-attribute"},
    {13, "scan-trigger"},
    {24, "comm-timeout"},
};
// End of the meanings.

template <size_t N>
const char *Lookup(const Named (&table)[N], int32_t number) {
  for (const Named &n : table)
    if (n.number == number) return n.name;
  return "";
}

using Text = std::basic_string<VOLNEDA_WCHAR>;

// The one place where text changes between UTF-8 (the layer's strings) and
// UTF-16 (the library's VOLNEDA_WCHAR).  A malformed UTF-8 sequence and an
// unpaired surrogate become U+FFFD.
inline Text ToApi(std::string_view s) {
  Text out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      out.push_back(static_cast<VOLNEDA_WCHAR>(c));
      ++i;
      continue;
    }
    size_t n = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
    if (c > 0xF4) n = 0;
    char32_t cp = n == 4 ? (c & 7u) : n == 3 ? (c & 15u) : (c & 31u);
    bool good = n != 0 && i + n <= s.size();
    for (size_t k = 1; good && k < n; ++k) {
      const unsigned char d = static_cast<unsigned char>(s[i + k]);
      good = (d & 0xC0) == 0x80;
      cp = (cp << 6) | (d & 0x3Fu);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    if (good && ((n == 3 && cp < 0x800) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
                 (cp >= 0xD800 && cp <= 0xDFFF)))
      good = false;
    if (!good) {
      out.push_back(static_cast<VOLNEDA_WCHAR>(0xFFFD));
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<VOLNEDA_WCHAR>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<VOLNEDA_WCHAR>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<VOLNEDA_WCHAR>(cp));
    }
    i += n;
  }
  return out;
}

// The text up to its terminator, or `size` characters, into out.
inline void FromApi(const VOLNEDA_WCHAR *p, size_t size, std::string &out) {
  // Most text of the documents is ASCII and short: one pass into a buffer.
  char narrow[128];
  size_t length = 0;
  for (; length < size && length < sizeof narrow; ++length) {
    const char16_t c = static_cast<char16_t>(p[length]);
    if (c == 0 || c >= 0x80) break;
    narrow[length] = static_cast<char>(c);
  }
  if (length == size || p[length] == 0) {
    out.assign(narrow, length);
    return;
  }
  out.clear();
  for (size_t i = 0; i < size && p[i] != 0; ++i) {
    char32_t cp = static_cast<char16_t>(p[i]);
    if (cp < 0x80) {
      out.push_back(static_cast<char>(cp));
      continue;
    }
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < size && static_cast<char16_t>(p[i + 1]) >= 0xDC00 &&
        static_cast<char16_t>(p[i + 1]) <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (static_cast<char16_t>(p[++i]) - 0xDC00u);
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    if (cp < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    } else if (cp < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    }
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}
inline std::string FromApi(const VOLNEDA_WCHAR *p, size_t size) {
  std::string out;
  FromApi(p, size, out);
  return out;
}

// An ASCII name as the library takes it, made at compile time.
template <size_t N>
struct Name {
  VOLNEDA_WCHAR text[N];
  constexpr Name(const char (&s)[N]) : text{} {
    for (size_t i = 0; i < N; ++i) text[i] = static_cast<VOLNEDA_WCHAR>(s[i]);
  }
  operator const VOLNEDA_WCHAR *() const { return text; }
};

// A decimal number as the documents write it (an optional minus, digits);
// none for an empty text.
inline int32_t Decimal(const VOLNEDA_WCHAR *p, int32_t none) {
  if (*p == 0) return none;
  const bool minus = *p == '-';
  int64_t n = 0;
  for (p += minus; *p >= '0' && *p <= '9' && n < (int64_t{1} << 32); ++p) n = n * 10 + (*p - '0');
  n = minus ? -n : n;
  return static_cast<int32_t>(n < INT32_MIN ? INT32_MIN : n > INT32_MAX ? INT32_MAX : n);
}

}  // namespace detail

/** The name of a result code ("OK", "CMD_UNKNOWN"); empty for a driver status. */
inline const char *codeName(int32_t code) {
  for (const detail::CodeMeaning &m : detail::kCodes)
    if (m.code == code) return m.name;
  return "";
}
/** What a result code means; other codes are statuses of the reader driver. */
inline std::string codeMeaning(int32_t code) {
  for (const detail::CodeMeaning &m : detail::kCodes)
    if (m.code == code) return m.meaning;
  return "a status of the reader driver";
}
/** "information", "warning", "error", "critical". */
inline const char *levelName(int32_t level) { return detail::Lookup(detail::kLevels, level); }
/** "open", "identify", "read", "write", ... */
inline const char *sourceName(int32_t source) { return detail::Lookup(detail::kSources, source); }

/** The error category of the library's result codes (name "volneda"). */
class ErrorCategory : public std::error_category {
 public:
  const char *name() const noexcept override { return "volneda"; }
  std::string message(int code) const override { return codeMeaning(code); }
};
inline const std::error_category &category() noexcept {
  static const ErrorCategory instance;
  return instance;
}

/** One status message, as the library posted it. */
struct StatusMessage {
  int32_t level = 0, source = 0, code = 0;
  std::string text;
  const char *levelName() const { return volneda::levelName(level); }
  const char *sourceName() const { return volneda::sourceName(source); }
  /** "[warning] read -3302 (the meaning): Field 5" */
  std::string toString() const {
    std::string s = std::string("[") + levelName() + "] " + sourceName() + " " + std::to_string(code);
    if (code != 0) s += " (" + codeMeaning(code) + ")";
    return text.empty() ? s : s + ": " + text;
  }
};
using MessageHandler = std::function<void(const StatusMessage &)>;

/**
 * A failed call: code() is the result code in volneda::category(),
 * result() the same number; meaning() the table's meaning, or the driver's
 * text for a driver status; messages() what the call posted.
 */
class Error : public std::system_error {
 public:
  Error(int32_t result, std::string operation, std::vector<StatusMessage> messages = {},
        std::string driverText = {})
      : std::system_error(result, category()),
        result_(result),
        operation_(std::move(operation)),
        meaning_(driverText.empty() ? codeMeaning(result) : "reader driver: " + driverText),
        messages_(std::move(messages)),
        what_(operation_ + ": " + std::to_string(result) + " (" + meaning_ + ")") {}
  int32_t result() const noexcept { return result_; }
  const std::string &operation() const noexcept { return operation_; }
  const std::string &meaning() const noexcept { return meaning_; }
  const std::vector<StatusMessage> &messages() const noexcept { return messages_; }
  /** "read field(x): -3202 (malformed command: ...)" */
  const char *what() const noexcept override { return what_.c_str(); }

 private:
  int32_t result_;
  std::string operation_, meaning_;
  std::vector<StatusMessage> messages_;
  std::string what_;
};

/** One field of a read. */
struct Field {
  std::string kind;         ///< "SWTT" (template field), "MEM" (raw memory), empty: not in the tag's template
  int32_t entryNr = -1;     ///< template field number; -1 for MEM
  std::string mask;         ///< the template's SWTT mask
  std::string name;         ///< template field name, or the mem(...) name
  std::string type;         ///< "Hex", "Int", "String", or empty
  int32_t start = -1, length = -1;
  int32_t status = 0;       ///< the driver's field status (template fields): 0 good
  std::string warning;      ///< "FieldDoesNotExist" for a field the template lacks
  std::string value;        ///< as the document gives it
  bool exists() const { return warning.empty(); }
  bool isInt() const { return type == "Int"; }
  long long intValue() const { return std::strtoll(value.c_str(), nullptr, 10); }
};

/** One tag of an identify or read. */
struct Tag {
  std::string id;    ///< 16 hexadecimal digits
  std::string swtt;  ///< the SWTT identifier
  std::string type;  ///< the hardware tag type (interface version 2 on)
  int antenna = -1;  ///< -1 when the driver does not say
  std::vector<Field> fields;
  /** The first existing field of that name, or null. */
  const Field *field(std::string_view fieldName) const {
    for (const Field &f : fields)
      if (f.exists() && f.name == fieldName) return &f;
    return nullptr;
  }
};

/** A WriteTags request: groups of tags (Tag elements), each with its fields. */
class WriteRequest {
 public:
  enum class MemType { hex, integer, string };
  /** A group: the tag with this identifier. */
  WriteRequest &tag(std::string_view id) { return Group(" ID=\"" + Escape(id) + "\""); }
  /** A group: every tag whose SWTT identifier begins with prefix. */
  WriteRequest &tagsWithSwtt(std::string_view prefix) { return Group(" SWTT=\"" + Escape(prefix) + "\""); }
  /** A group: every tag in the field. */
  WriteRequest &allTags() { return Group(""); }
  /** Template field entryNr, laid out by each tag's template. */
  WriteRequest &field(int entryNr, std::string_view value) {
    return Add("<SWTTField EntryNr=\"" + std::to_string(entryNr) + "\">" + Escape(value) + "</SWTTField>");
  }
  /** Text into raw memory from start, as long as the text. */
  WriteRequest &mem(int start, std::string_view text) {
    return Add("<MEMField MemStart=\"" + std::to_string(start) + "\" MemType=\"String\">" + Escape(text) +
               "</MEMField>");
  }
  /** length bytes of raw memory from start. */
  WriteRequest &mem(int start, int length, MemType type, std::string_view value) {
    const char *t = type == MemType::hex ? "Hex" : type == MemType::integer ? "Int" : "String";
    return Add("<MEMField MemStart=\"" + std::to_string(start) + "\" MemLen=\"" + std::to_string(length) +
               "\" MemType=\"" + t + "\">" + Escape(value) + "</MEMField>");
  }
  /** A new SWTT identifier (12 hexadecimal digits). */
  WriteRequest &swtt(std::string_view id) { return Add("<SWTT>" + Escape(id) + "</SWTT>"); }
  size_t groups() const { return groups_.size(); }
  /** The WriteTags document. */
  std::string xml() const {
    std::string out = "<WriteTags>";
    for (const std::string &g : groups_) out += g + "</Tag>";
    return out + "</WriteTags>";
  }

 private:
  static std::string Escape(std::string_view s) {
    std::string out;
    for (char c : s) {
      switch (c) {
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '&': out += "&amp;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default: out.push_back(c);
      }
    }
    return out;
  }
  WriteRequest &Group(const std::string &attributes) {
    groups_.push_back("<Tag" + attributes + ">");
    return *this;
  }
  WriteRequest &Add(const std::string &element) {
    if (groups_.empty()) throw std::logic_error("WriteRequest: a field before any tag(), tagsWithSwtt() or allTags()");
    groups_.back() += element;
    return *this;
  }
  std::vector<std::string> groups_;
};

/** How one Tag element of a write request went. */
struct WriteOutcome {
  enum class Status {
    written,  ///< "Write OK"
    noTag,    ///< it selected no tag (-3350)
    failed,   ///< the driver refused or failed the write
    nothing   ///< nothing to write (only DTField, or fields no selected tag's template defines)
  };
  Status status = Status::nothing;
  int32_t code = 0;  ///< the driver's error for a failed write
  std::vector<std::pair<std::string, int32_t>> failedTags;  ///< identifier and status
  std::vector<int32_t> failedFields;                         ///< the status of each failed field
  bool ok() const { return status == Status::written || status == Status::nothing; }
};
inline const char *outcomeName(WriteOutcome::Status s) {
  switch (s) {
    case WriteOutcome::Status::written: return "written";
    case WriteOutcome::Status::noTag: return "no tag";
    case WriteOutcome::Status::failed: return "failed";
    default: return "nothing to write";
  }
}

/** A write's result code (0, -3351 or -3352) and one outcome per Tag element. */
struct WriteResult {
  int32_t code = 0;
  std::vector<WriteOutcome> tags;
  std::vector<StatusMessage> messages;
  bool ok() const { return code == 0; }
};

namespace detail {

// One reader context, its fetching thread and the messages of the call in
// progress.  Shared by the Reader and its watches; teardown() is idempotent.
class Session {
 public:
  Session(const std::string &config, MessageHandler handler) : handler_(std::move(handler)) {
    const Text path = ToApi(config);
    VOLNEDA_StartAll(&handle_, path.c_str());
    if (!handle_) throw Error(VOLNEDA_ERR_NULL_HANDLE, "start");
    StartDispatcher(handle_);
    fetcher_ = std::thread([this] { Fetch(); });
  }
  ~Session() { teardown(); }
  Session(const Session &) = delete;
  Session &operator=(const Session &) = delete;

  // Close, the drained StopDispatcher, join, StopAll.
  void teardown() noexcept {
    std::lock_guard<std::mutex> op(op_);
    if (!handle_) return;
    if (open_) VOLNEDA_Close(handle_);
    open_ = false;
    Drain();
    StopDispatcher(handle_);
    if (fetcher_.joinable()) fetcher_.join();
    VOLNEDA_StopAll(&handle_);
  }

  // Runs one call of the library under the operation lock; the messages it
  // posted are in messages() when f returns.  f takes the handle.
  template <typename F>
  auto call(const char *operation, F f) {
    std::unique_lock<std::mutex> op(op_);
    if (!handle_) throw Error(VOLNEDA_ERR_NOT_OPEN, operation);
    return f(handle_);
  }
  // Waits until the fetching thread has taken every message posted so far,
  // and hands them over.  Caller holds the operation lock.
  std::vector<StatusMessage> collect() {
    Drain();
    std::lock_guard<std::mutex> lock(m_);
    std::vector<StatusMessage> out;
    out.swap(collected_);
    return out;
  }
  // An Error for a failed call, with its messages and the driver's text.
  Error fail(int32_t rc, std::string operation) {
    std::string driverText;
    if (rc < 0 && codeName(rc)[0] == '\0' && open_) {
      VOLNEDA_WCHAR text[112] = {};
      if (VOLNEDA_GetErrorString(handle_, rc, text)) driverText = FromApi(text, 112);
    }
    return Error(rc, std::move(operation), collect(), driverText);
  }
  void opened(std::string name) {
    open_ = true;
    name_ = std::move(name);
  }
  const std::string &name() const { return name_; }

  // A command and its result document.
  std::vector<Tag> command(const Text &text, const std::string &what);

 private:
  static constexpr int32_t kMarkerSource = 24;  // SetCommTimeOut's own warning

  void Fetch() {
    int32_t level = 0, source = 0, code = 0;
    VOLNEDA_WCHAR text[256];
    while (DispatcherGetData(handle_, &level, &source, &code, text, 256)) {
      if (source == kMarkerSource && code == VOLNEDA_ERR_COMM_TIMEOUT) {
        std::lock_guard<std::mutex> lock(m_);
        ++markersSeen_;
        seen_.notify_all();
        continue;
      }
      StatusMessage message{level, source, code, FromApi(text, 256)};
      if (handler_) {
        try {
          handler_(message);
        } catch (...) {  // the handler's own failure; the messages behind it still come
        }
      }
      std::lock_guard<std::mutex> lock(m_);
      collected_.push_back(std::move(message));
    }
  }
  // The drain of docs/c-reference.md: a marker message, and the wait until
  // the fetching thread has taken it; bounded, since a full queue (99
  // unread) drops the marker.
  void Drain() {
    std::unique_lock<std::mutex> lock(m_);
    const uint64_t target = ++markersSent_;
    lock.unlock();
    SetCommTimeOut(handle_, 0);
    lock.lock();
    if (!seen_.wait_for(lock, std::chrono::seconds(2), [&] { return markersSeen_ >= target; }))
      markersSent_ = markersSeen_;
  }

  VOLNEDA_HANDLE handle_ = nullptr;
  MessageHandler handler_;
  std::thread fetcher_;
  std::mutex op_;  // one call at a time
  std::mutex m_;   // what the fetching thread shares
  std::condition_variable seen_;
  uint64_t markersSent_ = 0, markersSeen_ = 0;
  std::vector<StatusMessage> collected_;
  bool open_ = false;
  std::string name_;
  std::vector<VOLNEDA_WCHAR> document_;  // the latest result document
};

// Tags and fields of an IdentifyTags or ReadTags document.
inline std::vector<Tag> ParseTags(const VOLNEDA_WCHAR *text) {
  // Attribute values and texts of the library's documents are at most 513
  // characters.
  constexpr int32_t kSize = 520;
  VOLNEDA_WCHAR buffer[kSize];
  std::vector<Tag> tags;
  XMLREADER_HANDLE doc = nullptr;
  XMLreader_OpenDoc(&doc, text);
  if (!doc) throw std::bad_alloc();
  struct Closer {
    XMLREADER_HANDLE d;
    ~Closer() { XMLreader_CloseDoc(d); }
  } closer{doc};
  static constexpr Name kTag("Tag");
  static constexpr Name kField("Field");
  static constexpr Name kId("ID");
  static constexpr Name kSwtt("SWTT");
  static constexpr Name kHwType("HWTAGTYPE");
  static constexpr Name kAntenna("Antenna");
  static constexpr Name kType("Type");
  static constexpr Name kEntryNr("EntryNr");
  static constexpr Name kMask("SWTTmask");
  static constexpr Name kName("Name");
  static constexpr Name kDataType("DataType");
  static constexpr Name kStart("DataStart");
  static constexpr Name kLen("DataLen");
  static constexpr Name kStatus("FieldStatus");
  static constexpr Name kWarning("Warning");
  static constexpr Name kNrFields("NrFields");
  auto attribute = [&](const VOLNEDA_WCHAR *name, std::string &out) {
    if (XMLreader_GetChildAttribute(doc, name, buffer, kSize)) FromApi(buffer, kSize, out);
  };
  auto number = [&](const VOLNEDA_WCHAR *name, int32_t none) {
    if (!XMLreader_GetChildAttribute(doc, name, buffer, kSize)) return none;
    return Decimal(buffer, none);
  };
  const int32_t root = XMLreader_GetElement(doc);
  if (root != 1 && root != 2) return tags;
  static constexpr Name kTagCount("TagCount");
  XMLreader_GetAttribute(doc, kTagCount, buffer, kSize);
  tags.reserve(static_cast<size_t>(std::max(0, Decimal(buffer, 0))));
  while (XMLreader_FindChildElement(doc, kTag)) {
    tags.emplace_back();
    Tag &tag = tags.back();
    attribute(kId, tag.id);
    attribute(kSwtt, tag.swtt);
    attribute(kHwType, tag.type);
    if (XMLreader_GetChildAttribute(doc, kAntenna, buffer, kSize)) {  // two hexadecimal digits
      tag.antenna = 0;
      for (const VOLNEDA_WCHAR *d = buffer; *d; ++d)
        tag.antenna = tag.antenna * 16 + (*d <= '9' ? *d - '0' : (*d | 0x20) - 'a' + 10);
    }
    if (root == 2) tag.fields.reserve(static_cast<size_t>(std::max(0, number(kNrFields, 0))));
    if (root == 2 && XMLreader_StepIntoElement(doc)) {
      while (XMLreader_FindChildElement(doc, kField)) {
        tag.fields.emplace_back();
        Field &f = tag.fields.back();
        // The attributes of each kind of field (docs/documents.md): a
        // template field has no Warning, a mem field no EntryNr, SWTTmask,
        // FieldStatus or Warning, a field the template lacks EntryNr and
        // Warning alone.  Asking for what is not there costs a search.
        attribute(kType, f.kind);
        const bool mem = f.kind == "MEM";
        if (!mem) f.entryNr = number(kEntryNr, -1);
        if (f.kind.empty()) {
          attribute(kWarning, f.warning);
          continue;
        }
        if (!mem) attribute(kMask, f.mask);
        attribute(kName, f.name);
        attribute(kDataType, f.type);
        f.start = number(kStart, -1);
        f.length = number(kLen, -1);
        if (!mem) f.status = number(kStatus, 0);
        buffer[0] = 0;
        XMLreader_GetChildData(doc, buffer, kSize);
        FromApi(buffer, kSize, f.value);
      }
      XMLreader_StepOutOfElement(doc);
    }
  }
  return tags;
}

inline std::vector<Tag> Session::command(const Text &text, const std::string &what) {
  return call(what.c_str(), [&](VOLNEDA_HANDLE h) {
    int32_t length = 0, count = 0;
    const int32_t rc = VOLNEDA_Command(h, text.c_str(), &length, &count);
    if (rc != 0) throw fail(rc, what);
    // Kept from call to call: a large document is neither cleared nor
    // allocated again.
    if (document_.size() < static_cast<size_t>(length) + 1) document_.resize(static_cast<size_t>(length) + 1);
    document_[0] = 0;
    VOLNEDA_GetXMLData(h, &document_[0], length + 1);
    document_[static_cast<size_t>(length)] = 0;
    collect();
    return ParseTags(document_.data());
  });
}

// The outcome of each Tag element from the messages of a write: each Tag
// element starts with the identify that selects its tags.
inline std::vector<WriteOutcome> Outcomes(const std::vector<StatusMessage> &messages) {
  constexpr int32_t kIdentify = 7, kWrite = 9, kWriteTag = 10;
  std::vector<WriteOutcome> out;
  for (const StatusMessage &m : messages) {
    if (m.source == kIdentify && m.level == 0) {
      out.emplace_back();
      continue;
    }
    if (out.empty()) continue;
    WriteOutcome &o = out.back();
    if (m.source == kWrite && m.code == VOLNEDA_ERR_WRITE_NO_TAG) {
      o.status = WriteOutcome::Status::noTag;
    } else if (m.source == kWrite && m.level == 0 && m.code == 0) {
      o.status = WriteOutcome::Status::written;
    } else if (m.source == kWriteTag) {
      o.failedTags.emplace_back(m.text, m.code);
    } else if (m.source == kWrite && m.level >= 2) {
      if (o.status != WriteOutcome::Status::failed) o.code = m.code;
      if (m.text == "Field failed to write") o.failedFields.push_back(m.code);
      o.status = WriteOutcome::Status::failed;
    }
  }
  return out;
}

}  // namespace detail

/**
 * One reader: a context, its status thread and the open reader.  The
 * constructor (or open()) starts them, the destructor (or close()) ends
 * them, also when a constructor fails half-way.  Movable, not copyable.
 * Calls of one Reader from several threads take turns.
 */
class Reader {
 public:
  Reader() noexcept = default;
  /**
   * config: the reader list (empty: RF_RFID_CONFIG); name: the reader
   * (empty: the first of the list); onMessage: called on the layer's status
   * thread for every message, in order; a call's messages have reached it
   * when the call returns.  It must not call the Reader.
   */
  explicit Reader(std::string_view config, std::string_view name = {}, MessageHandler onMessage = {}) {
    open(config, name, std::move(onMessage));
  }
  ~Reader() { close(); }
  Reader(Reader &&) noexcept = default;
  Reader &operator=(Reader &&other) noexcept {
    if (this != &other) {
      close();
      session_ = std::move(other.session_);
    }
    return *this;
  }
  Reader(const Reader &) = delete;
  Reader &operator=(const Reader &) = delete;

  void open(std::string_view config, std::string_view name = {}, MessageHandler onMessage = {}) {
    if (session_) throw Error(VOLNEDA_ERR_ALREADY_OPEN, "open");
    auto s = std::make_shared<detail::Session>(std::string(config), std::move(onMessage));
    std::string chosen(name);
    s->call("open", [&](VOLNEDA_HANDLE h) {
      if (chosen.empty()) {
        VOLNEDA_WCHAR first[32] = {};
        const int32_t rc = VOLNEDA_FindFirstReader(h, first, nullptr);
        if (rc != 0) throw s->fail(rc, "open");
        chosen = detail::FromApi(first, 32);
      }
      const int32_t rc = VOLNEDA_Open(h, detail::ToApi(chosen).c_str());
      if (rc != 0) throw s->fail(rc, "open " + chosen);
      s->opened(chosen);
      s->collect();
      return 0;
    });
    session_ = std::move(s);
  }
  /** Closes the reader and releases the context; a second call does nothing. */
  void close() noexcept {
    if (session_) session_->teardown();
    session_.reset();
  }
  bool isOpen() const noexcept { return session_ != nullptr; }
  /** The open reader's name. */
  const std::string &name() const { return session().name(); }

  /** The tags in the field; where: "swtt=MASK" or "tagid=ID" (the word "where" may be left out). */
  std::vector<Tag> identify(std::string_view where = {}) { return command(Join("identify", "", where)); }
  /**
   * Reads fields: select lists template fields "field(0,1)" and raw memory
   * "mem(NAME,START,LENGTH,TYPE)", or "*" (every template field); empty:
   * every template field, or none with a where clause.
   */
  std::vector<Tag> read(std::string_view select = {}, std::string_view where = {}) {
    return command(Join("read", select, where));
  }
  /** Any command string as the library takes it. */
  std::vector<Tag> command(std::string_view text) {
    return session().command(detail::ToApi(text), std::string(text));
  }

  /** Carries out a request; the request's faults and -3300 throw, a write's own results come back. */
  WriteResult write(const WriteRequest &request) { return write(request.xml()); }
  /** A WriteTags text, or '@' and the name of a UTF-8 file holding one. */
  WriteResult write(std::string_view document) {
    const detail::Text text = detail::ToApi(document);
    return session().call("write", [&](VOLNEDA_HANDLE h) {
      const int32_t rc = VOLNEDA_Write(h, text.c_str());
      auto &s = session();
      if (rc != 0 && rc != VOLNEDA_ERR_WRITE_SOME_NOT_FOUND && rc != VOLNEDA_ERR_WRITE_FAILED)
        throw s.fail(rc, "write");
      WriteResult result;
      result.code = rc;
      result.messages = s.collect();
      result.tags = detail::Outcomes(result.messages);
      return result;
    });
  }

  /** A reader attribute (at most 63 characters). */
  std::string attribute(std::string_view name) {
    const detail::Text key = detail::ToApi(name);
    return session().call("get attribute", [&](VOLNEDA_HANDLE h) {
      VOLNEDA_WCHAR value[64] = {};
      const int32_t rc = VOLNEDA_GetAttribute(h, key.c_str(), value);
      if (rc != 0) throw session().fail(rc, "get attribute " + std::string(name));
      session().collect();
      return detail::FromApi(value, 64);
    });
  }
  void setAttribute(std::string_view name, std::string_view value) {
    const detail::Text key = detail::ToApi(name), text = detail::ToApi(value);
    session().call("set attribute", [&](VOLNEDA_HANDLE h) {
      const int32_t rc = VOLNEDA_SetAttribute(h, key.c_str(), text.c_str());
      if (rc != 0) throw session().fail(rc, "set attribute " + std::string(name));
      session().collect();
      return 0;
    });
  }
  /** Replaces the tag templates by those of an SWTT.INI file. */
  void loadTemplate(std::string_view file) {
    const detail::Text path = detail::ToApi(file);
    session().call("load template", [&](VOLNEDA_HANDLE h) {
      const int32_t rc = VOLNEDA_LoadSWTT(h, path.c_str());
      if (rc != 0) throw session().fail(rc, "load template " + std::string(file));
      session().collect();
      return 0;
    });
  }
  void unloadTemplate() {
    session().call("unload template", [&](VOLNEDA_HANDLE h) {
      VOLNEDA_UnloadSWTT(h);
      session().collect();
      return 0;
    });
  }

 private:
  friend class Watch;
  detail::Session &session() const {
    if (!session_) throw Error(VOLNEDA_ERR_NOT_OPEN, "reader");
    return *session_;
  }
  static std::string Join(const char *verb, std::string_view select, std::string_view where) {
    std::string c = verb;
    if (!select.empty()) c.append(" ").append(select);
    if (!where.empty()) {
      if (where.substr(0, 6) != "where " && where.substr(0, 6) != "WHERE ") c += " where";
      c.append(" ").append(where);
    }
    return c;
  }
  std::shared_ptr<detail::Session> session_;
};

/**
 * The reader names of a reader list, as a range:
 *   for (const std::string &name : volneda::readers("rfconfig.ini")) ...
 * file empty: rfconfig.ini in the current directory.  Iterating throws
 * Error -3251 when the list cannot be read; a list without readers is an
 * empty range.  One enumeration runs at a time in the whole process.
 */
class ReaderList {
 public:
  explicit ReaderList(std::string_view file = {}) : file_(detail::ToApi(file)) {}
  class iterator {
   public:
    using iterator_category = std::input_iterator_tag;
    using value_type = std::string;
    using difference_type = std::ptrdiff_t;
    using pointer = const std::string *;
    using reference = const std::string &;
    iterator() = default;
    reference operator*() const { return name_; }
    pointer operator->() const { return &name_; }
    iterator &operator++() {
      VOLNEDA_WCHAR name[32] = {};
      if (VOLNEDA_FindNextReader(nullptr, name) == 0)
        name_ = detail::FromApi(name, 32);
      else
        end_ = true;
      return *this;
    }
    void operator++(int) { ++*this; }
    bool operator==(const iterator &o) const { return end_ == o.end_; }
    bool operator!=(const iterator &o) const { return end_ != o.end_; }

   private:
    friend class ReaderList;
    std::string name_;
    bool end_ = true;
  };
  iterator begin() const {
    iterator it;
    VOLNEDA_WCHAR name[32] = {};
    const int32_t rc = VOLNEDA_FindFirstReader(nullptr, name, file_.empty() ? nullptr : file_.c_str());
    if (rc == VOLNEDA_ERR_NO_READER) return it;
    if (rc != 0) throw Error(rc, "reader list");
    it.name_ = detail::FromApi(name, 32);
    it.end_ = false;
    return it;
  }
  iterator end() const { return iterator(); }

 private:
  detail::Text file_;
};
inline ReaderList readers(std::string_view file = {}) { return ReaderList(file); }

/** A presence event with the tag behind it (with its fields, for a watch whose rounds are reads). */
struct WatchEvent : PresenceEvent {
  Tag tag;
};

/**
 * Rounds of a command ("identify" by default, or a "read ...") on a Reader
 * at the rules' interval, on a thread of the watch's own, turned into
 * presence events by a PresenceTracker (the rules: volneda_presence.hpp).
 * Events go to the handler when one is given (on the watch's thread), else
 * they wait for next() or a range-for over the watch.  A failed round (or
 * an exception from the handler) ends the watch; next() then throws it.  stop() (and the destructor)
 * ends the watch within the round in progress.
 */
class Watch {
 public:
  using Handler = std::function<void(const WatchEvent &)>;
  explicit Watch(Reader &reader, PresenceRules rules = {}, std::string command = "identify", Handler onEvent = {})
      : session_(reader.session_),
        tracker_(Checked(std::move(rules))),
        command_(std::move(command)),
        handler_(std::move(onEvent)) {
    if (!session_) throw Error(VOLNEDA_ERR_NOT_OPEN, "watch");
    thread_ = std::thread([this] { Run(); });
  }
  ~Watch() { stop(); }
  Watch(const Watch &) = delete;
  Watch &operator=(const Watch &) = delete;

  /** The next event; blocks; empty once the watch has stopped and its events are taken. */
  std::optional<WatchEvent> next() {
    std::unique_lock<std::mutex> lock(m_);
    changed_.wait(lock, [&] { return !queue_.empty() || ended_; });
    if (!queue_.empty()) {
      WatchEvent e = std::move(queue_.front());
      queue_.erase(queue_.begin());
      return e;
    }
    if (error_) std::rethrow_exception(std::exchange(error_, nullptr));
    return std::nullopt;
  }
  /** Ends the rounds; returns once the watch's thread has ended. */
  void stop() {
    {
      std::lock_guard<std::mutex> lock(m_);
      stopping_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id()) thread_.join();
  }
  /** The rounds run so far. */
  uint64_t rounds() const {
    std::lock_guard<std::mutex> lock(m_);
    return rounds_;
  }

  class iterator {
   public:
    using iterator_category = std::input_iterator_tag;
    using value_type = WatchEvent;
    using difference_type = std::ptrdiff_t;
    using pointer = const WatchEvent *;
    using reference = const WatchEvent &;
    reference operator*() const { return *event_; }
    pointer operator->() const { return &*event_; }
    iterator &operator++() {
      event_ = watch_->next();
      return *this;
    }
    bool operator==(const iterator &o) const { return event_.has_value() == o.event_.has_value(); }
    bool operator!=(const iterator &o) const { return !(*this == o); }

   private:
    friend class Watch;
    Watch *watch_ = nullptr;
    std::optional<WatchEvent> event_;
  };
  iterator begin() {
    iterator it;
    it.watch_ = this;
    return ++it;
  }
  iterator end() { return iterator(); }

 private:
  static PresenceRules Checked(PresenceRules rules) {
    const std::string problem = PresenceRulesProblem(rules);
    if (!problem.empty()) throw std::invalid_argument("presence rules: " + problem);
    return rules;
  }
  void Run() {
    const detail::Text command = detail::ToApi(command_);
    const auto interval = std::chrono::milliseconds(tracker_.rules().interval);
    auto due = std::chrono::steady_clock::now();
    for (;;) {
      {
        std::lock_guard<std::mutex> lock(m_);
        if (stopping_) break;
      }
      std::vector<Tag> tags;
      try {
        tags = session_->command(command, command_);
      } catch (...) {
        std::lock_guard<std::mutex> lock(m_);
        error_ = std::current_exception();
        break;
      }
      std::vector<Sighting> sightings;
      sightings.reserve(tags.size());
      for (const Tag &t : tags) sightings.push_back(Sighting{t.id, t.swtt, t.type, t.antenna});
      std::vector<WatchEvent> events;
      for (PresenceEvent &e : tracker_.update(sightings, std::chrono::system_clock::now())) {
        WatchEvent w;
        static_cast<PresenceEvent &>(w) = std::move(e);
        if (w.sighting != PresenceEvent::npos) {
          w.tag = tags[w.sighting];
        } else {
          w.tag.id = w.id;
          w.tag.swtt = w.swtt;
          w.tag.type = w.type;
          w.tag.antenna = w.antenna;
        }
        events.push_back(std::move(w));
      }
      if (handler_) {
        try {
          for (const WatchEvent &e : events) handler_(e);
        } catch (...) {  // the handler's exception ends the watch, as a failed round does
          std::lock_guard<std::mutex> lock(m_);
          error_ = std::current_exception();
          break;
        }
      }
      // A round that overran its interval is followed by the next at once.
      due = std::max(due + interval, std::chrono::steady_clock::now());
      std::unique_lock<std::mutex> lock(m_);
      ++rounds_;
      if (!handler_)
        for (WatchEvent &e : events) queue_.push_back(std::move(e));
      changed_.notify_all();
      if (changed_.wait_until(lock, due, [&] { return stopping_; })) break;
    }
    std::lock_guard<std::mutex> lock(m_);
    ended_ = true;
    changed_.notify_all();
  }

  std::shared_ptr<detail::Session> session_;
  PresenceTracker tracker_;
  std::string command_;
  Handler handler_;
  mutable std::mutex m_;
  std::condition_variable changed_;
  std::vector<WatchEvent> queue_;
  std::exception_ptr error_;
  bool stopping_ = false, ended_ = false;
  uint64_t rounds_ = 0;
  std::thread thread_;
};

}  // namespace volneda

#endif
