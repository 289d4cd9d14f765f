#include "Reporting.h"

#include <cstdio>
#include <filesystem>
#include <new>
#include <stdexcept>
#include <system_error>

#include "AfxException.h"
#include "Terminal.h"
#include "VisError.h"

namespace {

// The length of the valid UTF-8 sequence at text[at], or 0 where the byte
// there starts none (a stray continuation byte, an overlong form, a
// surrogate, a value beyond U+10FFFF, a sequence cut short).
std::size_t Utf8SequenceAt(const std::string& text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  std::size_t length = 0;
  unsigned low = 0x80;
  unsigned high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    low = lead == 0xE0 ? 0xA0 : 0x80;
    high = lead == 0xED ? 0x9F : 0xBF;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    low = lead == 0xF0 ? 0x90 : 0x80;
    high = lead == 0xF4 ? 0x8F : 0xBF;
  } else {
    return 0;
  }
  if (at + length > text.size() || byte(at + 1) < low || byte(at + 1) > high) {
    return 0;
  }
  for (std::size_t i = at + 2; i < at + length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) {
      return 0;
    }
  }
  return length;
}

}  // namespace

Failure CurrentFailure(const std::string& path) {
  try {
    throw;
  } catch (CFileException* error) {
    const std::string reason =
        error->m_strReason.IsEmpty() ? "the file cannot be read" : error->m_strReason.Str();
    const std::string file = error->m_strFileName.IsEmpty() ? path : error->m_strFileName.Str();
    error->Delete();
    return {file, reason};
  } catch (CException* error) {
    const std::string message = error->GetErrorMessage().Str();
    error->Delete();
    return {path, message};
  } catch (const CVisError& error) {
    return {error.FileName().empty() ? path : error.FileName(), error.Reason()};
  } catch (const std::bad_alloc&) {
    return {path, "there is not enough memory for this picture"};
  } catch (const std::exception& error) {
    return {path, error.what()};
  }
}

std::string Printable(const std::string& name) {
  std::string shown;
  for (const unsigned char c : name) {
    if (c == '\r') {
      shown += "\\r";
    } else if (c == '\n') {
      shown += "\\n";
    } else if (c == '\t') {
      shown += "\\t";
    } else if (c < 0x20 || c == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
      shown += escaped;
    } else {
      shown += static_cast<char>(c);
    }
  }
  return shown;
}

std::string DescribeFailure(const std::string& path) {
  const Failure failure = CurrentFailure(path);
  return Printable(failure.file) + ": " + failure.reason;
}

std::string FolderGiven(const std::string& folder, const char* command) {
  return Printable(folder) + " is a folder; to " + command + " a tree: find " + Printable(folder) +
         " -name '*.tif' -print0 | tessary-cli " + command + " --files-from - --null";
}

bool IsFolder(const std::string& path) {
  std::error_code error;
  return std::filesystem::is_directory(path, error);
}

std::string JsonString(const std::string& text) {
  std::string json = "\"";
  for (std::size_t at = 0; at < text.size();) {
    const auto c = static_cast<unsigned char>(text[at]);
    if (c >= 0x80) {
      const std::size_t length = Utf8SequenceAt(text, at);
      if (length > 0) {
        json.append(text, at, length);
        at += length;
        continue;
      }
    }
    if (c == '"' || c == '\\') {
      json += '\\';
      json += static_cast<char>(c);
    } else if (c < 0x20 || c >= 0x80) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      json += escaped;
    } else {
      json += static_cast<char>(c);
    }
    ++at;
  }
  return json + "\"";
}

ProgressLine ProgressFor(const CliRequest& request) {
  return ProgressLine(static_cast<int>(request.files.size()),
                      !request.quiet && StandardErrorIsTerminal(), stderr,
                      &ProgressLine::Clock::now, TerminalIsDumb());
}

bool ShowsSummary(const CliRequest& request) {
  return !request.quiet && (request.verbose || StandardErrorIsTerminal());
}
