#pragma once

#include <string>

#include "CommandLine.h"
#include "ProgressLine.h"

// How tessary-cli tells a person what happened: failures in one line that
// names the file, names printed safely, JSON strings, the progress line.

// The failure being handled, as the dialog's error box gives it: the file
// it concerns and why. Call it inside a catch block; path is the file the
// work was on, for failures that name none.
struct Failure {
  std::string file;
  std::string reason;
};
Failure CurrentFailure(const std::string& path);

// One line for the failure being handled: "path: reason".
std::string DescribeFailure(const std::string& path);

// A file's name as a message shows it: control characters escaped, so that
// a name read from a list with a carriage return at its end shows it
// ("a.tif\r").
std::string Printable(const std::string& name);

// A string as JSON writes it, quotes included. File names are bytes: each
// byte that is not part of valid UTF-8 is written as \u00XX, XX its value,
// so that every line is JSON and the byte can be told back.
std::string JsonString(const std::string& text);

// Whether path names a folder, and why a folder is no file to work on, with
// how to work on a tree.
bool IsFolder(const std::string& path);
std::string FolderGiven(const std::string& folder, const char* command);

// The progress line on standard error when it is a terminal and not asked
// away.
ProgressLine ProgressFor(const CliRequest& request);

// The closing summary goes where the progress line went, and with --verbose.
bool ShowsSummary(const CliRequest& request);
