#pragma once

#include <string>

// The record of which TIFF each BMP that a conversion wrote came from, kept
// for every conversion of this user on this machine (tessary-cli and the
// dialog alike) in the user's lock folder, for as long as that folder lasts
// (on Linux the runtime folder: until the user's last session ends or the
// machine restarts). Where the user has no lock folder, for this process.
//
// Each entry is read and written under the lock slot of its BMP's key, so
// call these while the BMP is claimed.
namespace WrittenBmps {

// The key of the TIFF from which the BMP (bmpKey, found at bmpPath) was
// written, while the file there is still the one that was written (same size
// and time of writing); empty otherwise.
std::string SourceOf(const std::string& bmpKey, const char* bmpPath);

// Notes that the file at bmpPath (key bmpKey) was just written from the TIFF
// tiffKey. Returns what failed, or an empty string.
std::string Record(const std::string& bmpKey, const char* bmpPath, const std::string& tiffKey);

}  // namespace WrittenBmps
