// volneda -- drives an RFID reader through the VOLNEDA library from the
// command line: lists readers, identifies, reads and writes tags, sets
// attributes, watches the field.  `volneda --help` says how.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "console.h"
#include "gateway.h"
#include "text.h"
#include "tool.h"

namespace {

using cli::Format;
using cli::kExitOk;
using cli::kExitUsage;

int Usage(const std::string &problem) {
  cli::Emit(stderr, "volneda: " + problem + "\nTry 'volneda --help'.\n");
  return kExitUsage;
}

}  // namespace

int main(int argc, char **argv) {
  std::vector<std::string> args = cli::Arguments(argc, argv);
  // The gateway takes options of its own (its --config is its configuration).
  if (args.size() >= 2 && args[1] == "gateway") {
#ifdef VOLNEDA_GATEWAY
    return cli::Gateway(std::vector<std::string>(args.begin() + 2, args.end()));
#else
    if (args.size() < 3 || (args[2] != "--help" && args[2] != "-h")) {
      cli::Emit(stderr, "volneda: gateway is not part of this build (it needs libmosquitto)\n");
      return cli::kExitFailed;
    }
#endif
  }
  cli::Options opt;
  std::vector<std::string> words;  // the verb and its arguments
  bool help = false, version = false, onlyWords = false;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string &a = args[i];
    if (onlyWords || a.size() < 2 || a[0] != '-') {
      words.push_back(a);
      continue;
    }
    // Options take their value as the next word or after '='.
    std::string name = a, value;
    bool hasValue = false;
    size_t eq = a.find('=');
    if (a.rfind("--", 0) == 0 && eq != std::string::npos) {
      name = a.substr(0, eq);
      value = a.substr(eq + 1);
      hasValue = true;
    }
    auto take = [&](std::string &into) {
      if (hasValue) {
        into = value;
        return true;
      }
      if (i + 1 >= args.size()) return false;
      into = args[++i];
      return true;
    };
    std::string v;
    if (name == "--") {
      onlyWords = true;
    } else if (name == "--help" || name == "-h") {
      help = true;
    } else if (name == "--version" || name == "-V") {
      version = true;
    } else if (name == "--quiet" || name == "-q") {
      opt.quiet = true;
    } else if (name == "--verbose" || name == "-v") {
      opt.verbose = true;
    } else if (name == "--lossy") {
      opt.lossy = true;
    } else if (name == "--trim") {
      opt.trim = true;
    } else if (name == "--config") {
      if (!take(opt.config)) return Usage("--config needs a file");
    } else if (name == "--reader") {
      if (!take(opt.reader)) return Usage("--reader needs a name");
    } else if (name == "--format") {
      if (!take(v)) return Usage("--format needs table, xml or json");
      if (v == "table") opt.format = Format::kTable;
      else if (v == "xml") opt.format = Format::kXml;
      else if (v == "json") opt.format = Format::kJson;
      else return Usage("unknown format '" + v + "' (table, xml or json)");
      opt.formatGiven = true;
    } else if (name == "--interval") {
      if (!take(v) || !cli::ParseCount(v, opt.interval)) return Usage("--interval needs a number of milliseconds");
    } else if (name == "--count") {
      if (!take(v) || !cli::ParseCount(v, opt.count)) return Usage("--count needs a number of rounds");
    } else if (name == "--arrive") {
      // N/M: seen in N of the latest M rounds; N alone: in N rounds in a row.
      long n = 0, m = 0;
      size_t slash = take(v) ? v.find('/') : std::string::npos;
      bool ok = !v.empty() && (slash == std::string::npos ? cli::ParseCount(v, n) && (m = n, true)
                                                          : cli::ParseCount(v.substr(0, slash), n) &&
                                                                cli::ParseCount(v.substr(slash + 1), m));
      if (!ok || n < 1 || m < n || m > 64) return Usage("--arrive needs N/M: seen in N of the latest M rounds (M up to 64)");
      opt.rules.arriveSeen = static_cast<unsigned>(n);
      opt.rules.arriveWindow = static_cast<unsigned>(m);
      opt.rulesGiven = true;
    } else if (name == "--leave-rounds") {
      long n = 0;
      if (!take(v) || !cli::ParseCount(v, n)) return Usage("--leave-rounds needs a number of rounds");
      opt.rules.leaveRounds = static_cast<unsigned>(n);
      opt.rulesGiven = true;
    } else if (name == "--leave-ms") {
      if (!take(v) || !cli::ParseCount(v, opt.rules.leaveMs)) return Usage("--leave-ms needs a number of milliseconds");
      opt.rulesGiven = true;
    } else if (name == "--seen") {
      opt.rules.reportSeen = true;
      opt.rulesGiven = true;
    } else if (name == "--swtt" || name == "--ids") {
      if (!take(v) || v.empty()) return Usage(name + " needs a comma-separated list");
      std::vector<std::string> &list = name == "--swtt" ? opt.rules.swtt : opt.rules.ids;
      for (size_t from = 0; from <= v.size();) {
        size_t comma = std::min(v.find(',', from), v.size());
        std::string item = cli::Trim(v.substr(from, comma - from));
        if (!item.empty()) list.push_back(item);
        from = comma + 1;
      }
      opt.rulesGiven = true;
    } else if (name == "--listen") {
      if (!take(opt.listen)) return Usage("--listen needs ADDR:PORT");
    } else if (name == "--to-field") {
      opt.toField = true;
    } else if (name == "--inline") {
      if (!take(opt.inlineText)) return Usage("--inline needs the request text");
      opt.inlineGiven = true;
    } else {
      return Usage("unknown option '" + a + "'");
    }
  }
  if (opt.quiet && opt.verbose) return Usage("--quiet and --verbose exclude each other");
  if (!opt.formatGiven && !cli::IsTerminal(stdout)) opt.format = Format::kXml;

  std::string verb = words.empty() ? std::string() : words.front();
  if (verb == "help") {
    help = true;
    words.erase(words.begin());
    verb = words.empty() ? std::string() : words.front();
  }
  if (help) {
    std::string text;
    if (verb.empty()) cli::Emit(stdout, cli::Usage());
    else if (cli::VerbHelp(verb, text)) cli::Emit(stdout, text);
    else return Usage("no verb '" + verb + "'");
    return kExitOk;
  }
  cli::Tool tool(opt);
  if (version) return tool.Version();
  if (verb.empty()) return Usage("a verb is needed");
  std::vector<std::string> rest(words.begin() + 1, words.end());
  bool none = rest.empty();
  if (opt.inlineGiven && verb != "write") return Usage("--inline belongs to write");
  if (!opt.listen.empty() && verb != "serve") return Usage("--listen belongs to serve");
  if (opt.toField && verb != "trace") return Usage("--to-field belongs to trace");
  if (opt.rulesGiven && verb != "watch")
    return Usage("--arrive, --leave-rounds, --leave-ms, --seen, --swtt and --ids belong to watch");
  opt.rules.interval = opt.interval;
  if (std::string problem = volneda::PresenceRulesProblem(opt.rules); !problem.empty())
    return Usage("the watch rules: " + problem);
  if (verb == "trace") return cli::Trace(opt, rest);
  if (verb == "readers" && none) return tool.Readers();
  if (verb == "version" && none) return tool.Version();
  if (verb == "demo" && none) return tool.Demo();
  if (verb == "identify") return tool.Identify(rest);
  if (verb == "read") return tool.Read(rest);
  if (verb == "command" && !none) {
    std::string command = rest[0];
    for (size_t i = 1; i < rest.size(); ++i) command += " " + rest[i];
    return tool.Command(command);
  }
  if (verb == "write") return tool.Write(rest);
  if (verb == "attr") return tool.Attr(rest);
  if (verb == "watch") return tool.Watch(rest);
  if (verb == "session") return tool.Session(rest);
  if (verb == "serve") {
#ifdef VOLNEDA_SERVE
    return cli::Serve(opt, rest);
#else
    cli::Emit(stderr, "volneda: serve is not part of this build (it needs cpp-httplib)\n");
    return cli::kExitFailed;
#endif
  }
  if (cli::IsVerb(verb)) return Usage("wrong arguments for " + verb + " (volneda " + verb + " --help)");
  return Usage("no verb '" + verb + "'");
}
