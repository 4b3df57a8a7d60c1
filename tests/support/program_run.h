// The shipped program run as a process in a test directory, as a user runs
// it from a shell, and the helpers that read its console output.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/temp_dir.h"

struct ProgramRun {
  int exitCode = -1;   // -1 when the program did not exit on its own
  std::string output;  // standard output: the console protocol
  std::string errors;  // standard error
};

// Runs `./program` in `dir` with `input` on its standard input. `wrapper`,
// when given, is a command line the program is run through (it ends in
// "--"); it runs in `dir` too.
inline ProgramRun RunProgram(const TempDir& dir, const std::string& program,
                             const std::string& input, const std::string& wrapper = "") {
  dir.Write("input.txt", input);
  std::string command = "cd '" + dir.path().string() + "' && ";
  if (!wrapper.empty()) command += wrapper + " ";
  command += "./" + program + " < input.txt > output.txt 2> errors.txt";
  const int status = std::system(command.c_str());
  ProgramRun run;
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.output = ReadFileBytes(dir.path() / "output.txt");
  run.errors = ReadFileBytes(dir.path() / "errors.txt");
  return run;
}

// Puts the program as built, named "flash", and the sample description file
// beside it into `dir`, as a user who unpacked both there.
inline void PlaceProgram(const TempDir& dir, const std::filesystem::path& executable,
                         const std::filesystem::path& samples) {
  namespace fs = std::filesystem;
  fs::copy_file(executable, dir.path() / "flash");
  fs::permissions(dir.path() / "flash", fs::perms::owner_all, fs::perm_options::add);
  fs::copy_file(samples / "flash.INI", dir.path() / "flash.INI");
}

inline bool HasLine(const std::string& text, const std::string& line) {
  return ("\n" + text).find("\n" + line + "\n") != std::string::npos;
}

// The lines of `text` that start with `prefix`, without it.
inline std::vector<std::string> Lines(const std::string& text, const std::string& prefix) {
  std::vector<std::string> found;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with(prefix)) found.push_back(line.substr(prefix.size()));
  }
  return found;
}
