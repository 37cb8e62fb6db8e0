#pragma once

// The patterns of the address rules, each compiled afresh per test: a dotted
// quad without range check, and the private ranges, tried all in order.
inline constexpr const char* DottedQuadPattern = "^\\d\\d?\\d?\\.\\d\\d?\\d?\\.\\d\\d?\\d?\\.\\d\\d?\\d?$";

inline constexpr const char* PrivatePatterns[] = {
    "^10\\.\\d\\d?\\d?\\.\\d\\d?\\d?\\.\\d\\d?\\d?$", "^172\\.16\\.\\d\\d?\\d?\\.\\d\\d?\\d?$",
    "^172\\.17\\.\\d\\d?\\d?\\.\\d\\d?\\d?$",         "^172\\.18\\.\\d\\d?\\d?\\.\\d\\d?\\d?$",
    "^172\\.19\\.\\d\\d?\\d?\\.\\d\\d?\\d?$",         "^172\\.20\\.\\d\\d?\\d?\\.\\d\\d?\\d?$",
    "^172\\.21\\.\\d\\d?\\d?\\.\\d\\d?\\d?$",         "^172\\.22\\.\\d\\d?\\d?\\.\\d\\d?\\d?$",
    "^172\\.23\\.\\d\\d?\\d?\\.\\d\\d?\\d?$",         "^172\\.24\\.\\d\\d?\\d?\\.\\d\\d?\\d?$",
    "^172\\.25\\.\\d\\d?\\d?\\.\\d\\d?\\d?$",         "^172\\.26\\.\\d\\d?\\d?\\.\\d\\d?\\d?$",
    "^172\\.27\\.\\d\\d?\\d?\\.\\d\\d?\\d?$",         "^172\\.28\\.\\d\\d?\\d?\\.\\d\\d?\\d?$",
    "^172\\.29\\.\\d\\d?\\d?\\.\\d\\d?\\d?$",         "^172\\.30\\.\\d\\d?\\d?\\.\\d\\d?\\d?$",
    "^172\\.31\\.\\d\\d?\\d?\\.\\d\\d?\\d?$",         "^192\\.168\\.\\d\\d?\\d?\\.\\d\\d?\\d?$",
};
