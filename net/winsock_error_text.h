#pragma once

#include <string>

// The English text of a Windows Sockets error code; "Not a WinSock error" for
// any code the table does not know.
std::string WinsockErrorText(int code);
