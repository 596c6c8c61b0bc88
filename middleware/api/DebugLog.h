#pragma once
// The per-thread debug log of the library: "MW_DEBUG_LOG_%04d.txt" in the current directory, one
// file per thread (the first name no one else holds open), each line a local time stamp, a tab and
// the text. A thread whose log cannot be opened or written is silent for the rest of its life.

// Appends one line; the formatted text is cut at 1023 characters. Never reports a failure.
void writeDebugLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
