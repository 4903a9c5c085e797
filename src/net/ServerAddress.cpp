#include "net/ServerAddress.h"

#ifndef RUNWARDEN_SERVER_ADDRESS
#define RUNWARDEN_SERVER_ADDRESS "127.0.0.1:8080"
#endif

namespace {

std::string& OverriddenAddress() {
  static std::string address;
  return address;
}

}  // namespace

std::string ServerAddress() {
  return OverriddenAddress().empty() ? RUNWARDEN_SERVER_ADDRESS : OverriddenAddress();
}

void SetServerAddressForTesting(const std::string& address) { OverriddenAddress() = address; }
