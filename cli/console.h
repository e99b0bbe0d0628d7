// console.h -- what the tool needs from the system it runs on: UTF-8
// arguments and output, whether a stream is a terminal, Ctrl-C, local time.
// The one file of the tool that differs between Windows and POSIX.
#ifndef VOLNEDA_CLI_CONSOLE_H
#define VOLNEDA_CLI_CONSOLE_H

#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

namespace cli {

// The program's arguments in UTF-8 (on Windows taken from the UTF-16
// command line, so that no character is lost to the ANSI code page), and
// the console set up for UTF-8 output and terminal control sequences.
std::vector<std::string> Arguments(int argc, char **argv);

bool IsTerminal(std::FILE *stream);
// The width of the terminal the stream writes to, in columns: COLUMNS when
// it is set, else what the terminal says, else 80.
size_t TerminalWidth(std::FILE *stream);

// Ctrl-C (SIGINT) and SIGTERM set a flag instead of ending the process,
// so that a watch or a server can close the reader in order.
void CatchInterrupt();
bool Interrupted();
// Sleeps up to ms milliseconds; returns early (false) when interrupted.
bool SleepUnlessInterrupted(long ms);

std::tm LocalTime(std::time_t t);

// Writes the whole text (UTF-8) to the stream under one lock shared by
// every writer of the process, so that lines of two threads do not mix.
void Emit(std::FILE *stream, const std::string &text);

}  // namespace cli

#endif
