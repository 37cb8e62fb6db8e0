#pragma once

#include <string>

// The address-change rule over CurrentIP, PreviousIP and OlderIP.

// Detection form: a change only for an address that is none of the three;
// then logs the change, shifts the history and brings the update forward.
// Returns whether a change was declared.
bool ApplyDetectedAddress(const std::string& address);

// Update-reply form: the service's view always becomes CurrentIP; the change
// line only for an address that is none of the last three; no timer changes.
void ApplyReplyAddress(const std::string& address);
