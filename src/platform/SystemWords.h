#pragma once

namespace zp {

// What a program's help says of the things that differ by system, in that system's own
// words, so that a Windows user reads of Ctrl+C and %LOCALAPPDATA% and a Linux user of
// SIGTERM and ~/.local/state.
struct SystemWords {
  const char* stop_requests;       // what asks a running program to stop in order
  const char* state_folder;        // the user's folder for the history and the like
  const char* dns_store;           // what --dns-store names, and its default
  const char* textfile_collector;  // who reads a Prometheus textfile, and who runs the check
  const char* not_a_file;          // what may stand where a regular file is to be replaced
};

const SystemWords& TheSystemWords();

}  // namespace zp
