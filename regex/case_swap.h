#pragma once

// The engine's default case swap: the upper-case form of a character in the
// ANSI code page, or its lower-case form when the upper-case form is the
// character itself. On Windows this asks the platform (CharUpperA and
// CharLowerA); elsewhere it uses the Windows-1252 table below.
char DefaultCaseSwap(char c);

// The same mapping from a fixed Windows-1252 table, available in every build,
// so the native build behaves as the Windows one does on a Western system.
char PortableCaseSwap(char c);
