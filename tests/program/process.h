// Runs a program as a user would: in a folder of its own, with standard input
// from /dev/null or from a pseudo-terminal, and collects what it printed and
// its exit status. A program that runs too long is killed and reported.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

struct RunRequest {
  std::vector<std::string> args;                                 // without the program itself
  std::string workingDirectory;                                  // "" keeps the current one
  std::vector<std::pair<std::string, std::string>> environment;  // added or replaced
  // On a terminal: standard input, output and error all go to a
  // pseudo-terminal, and `output` receives what was shown on it. The
  // dialogue is played in order: when the output shows the next prompt
  // (after the previous answer), its answer is typed.
  bool terminal = false;
  std::vector<std::pair<std::string, std::string>> dialogue;  // prompt, answer
  std::function<void(std::size_t)> beforeAnswer;  // called as a prompt shows, before its answer
  // Not on a terminal: standard output goes to this file instead ("" keeps
  // the pipe that fills `output`).
  std::string outputFile;
  bool readerGone = false;  // standard output is a pipe whose reader has ended
  // Signals sent to the program, in order: each once `after` appears in
  // what it printed (either stream), and `delayMs` later.
  struct Signal {
    std::string after;
    int number;
    int delayMs = 0;
  };
  std::vector<Signal> signals;
  int timeoutSeconds = 60;
  // Started by root: run as the user nobody, to whom file permissions apply.
  bool unprivileged = false;
};

struct RunResult {
  int status = -1;        // exit status; -1 when it did not exit normally
  bool started = false;   // false when no process (or no pseudo-terminal) could be had
  bool timedOut = false;  // killed after the time-out
  std::string output;     // standard output (or the terminal's text)
  std::string error;      // standard error (empty on a terminal)
};

RunResult RunProcess(const std::string& program, const RunRequest& request);
