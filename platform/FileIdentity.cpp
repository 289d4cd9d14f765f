#include "FileCalls.h"

std::string IdentityText(const FileIdentity& identity) {
  return std::to_string(identity.device) + ":" + std::to_string(identity.file) + ":" +
         std::to_string(identity.size) + "@" + std::to_string(identity.written);
}
